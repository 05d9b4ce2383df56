#ifndef OFDINFO_H
#define OFDINFO_H

#include <QMap>
#include <QString>
#include <QtGlobal>

// One fiscal data operator (OFD): its INN, its names and the server that
// receives the documents of the storage. A plain value record.
class OfdInfo
{
public:
    // The default record: no INN, an address of 64 blanks, port 0. Not valid.
    OfdInfo();
    // Stores addr and dns trimmed, everything else as given; ai is 0.
    OfdInfo(const QString &inn, const QString &addr, quint16 port, const QString &dns, int interval,
        const QString &url, const QString &name, const QString &sname);

    QString inn() const { return m_inn; }
    QString addr() const { return m_addr.trimmed(); }
    quint16 port() const { return m_port; }
    QString dns() const { return m_dns.trimmed(); }
    int interval() const { return m_interval; }
    QString url() const { return m_url.trimmed(); }
    QString name() const { return m_name; }
    quint32 ai() const { return m_ai; }
    QString sname() const { return m_sname; }

    // A server to connect to: an address that is not blank and a port that is not 0.
    bool isValid() const;

    void swap(OfdInfo &other) noexcept;

    bool operator==(const OfdInfo &other) const;
    bool operator!=(const OfdInfo &other) const { return !(*this == other); }

private:
    QString m_inn;
    QString m_addr;
    quint16 m_port = 0;
    QString m_dns;
    int m_interval = 10000;
    QString m_url;
    QString m_name;
    quint32 m_ai = 0;
    QString m_sname;
};

inline void swap(OfdInfo &a, OfdInfo &b) noexcept { a.swap(b); }

// The directory of the operators known to the program, keyed by INN (ten
// digits, no blanks). Built once while the program starts and never changed,
// so references and pointers into it stay good for the life of the process.
//
// Order: a QMap iterates in ascending order of the key text; for these
// ten-digit INNs that is their numeric order. The first entry is the operator
// with INN 2310031475, the last the one with INN 9715260691. The registration
// form lists the operators in exactly this order.
using OfdDirectory = QMap<QString, OfdInfo>;
const OfdDirectory &ofdDirectory();

// The record kept under inn, or nullptr when the directory has none. The key
// is matched exactly: callers trim the INN first.
const OfdInfo *findOfdInfo(const QString &inn);

#endif // OFDINFO_H
