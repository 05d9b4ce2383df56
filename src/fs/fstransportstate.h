#ifndef FSTRANSPORTSTATE_H
#define FSTRANSPORTSTATE_H

#include <QDateTime>

// The fiscal storage's view of its exchange with the OFD (answer to 0x20).
class FsTransportState
{
public:
    static constexpr int InvalidState = 128;

    FsTransportState() = default;

    int state() const { return m_state; }
    bool docIsReading() const { return m_docIsReading; }
    // Documents not yet confirmed by the OFD.
    quint16 offlineDocsCount() const { return m_offlineDocsCount; }
    quint32 firstDocNumber() const { return m_firstDocNumber; }
    QDateTime firstDocDt() const { return m_firstDocDt; }

    void setState(int state) { m_state = state; }
    void setDocIsReading(bool reading) { m_docIsReading = reading; }
    void setOfflineDocsCount(quint16 count) { m_offlineDocsCount = count; }
    void setFirstDocNumber(quint32 number) { m_firstDocNumber = number; }
    void setFirstDocDt(const QDateTime &dt) { m_firstDocDt = dt; }

    bool isValid() const { return m_state < InvalidState; }

    bool operator==(const FsTransportState &other) const;
    bool operator!=(const FsTransportState &other) const { return !(*this == other); }

private:
    int m_state = InvalidState;
    bool m_docIsReading = false;
    quint16 m_offlineDocsCount = 0;
    quint32 m_firstDocNumber = 0;
    QDateTime m_firstDocDt;
};

#endif // FSTRANSPORTSTATE_H
