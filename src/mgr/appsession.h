#ifndef APPSESSION_H
#define APPSESSION_H

#include <QList>
#include <QMetaType>
#include <QNetworkCookie>
#include <QString>
#include <QVariantMap>

// One login to the processing server: who logs in, what the server granted,
// and which hardware and module the session belongs to. A plain value.
class AppSession
{
public:
    // A slot of the session store.
    enum SessionType : quint8
    {
        // The operator's login to the processing server.
        OperatorLogin = 2,
    };

    // Bits of flags().
    enum Flag
    {
        DealerBlocked = 0x1,
        UserBlocked = 0x2,
    };

    AppSession() = default;
    // The defaults, then the keys of the map that the record knows.
    explicit AppSession(const QVariantMap &map);

    // The identifiers as a data request carries them, all as text:
    // "idSession", "idDealer" and "idUser" (decimal).
    QVariantMap toSessionMap() const;

    bool isDealerBlocked() const { return m_flags & DealerBlocked; }
    bool isUserBlocked() const { return m_flags & UserBlocked; }

    QString login() const { return m_login; }
    void setLogin(const QString &v) { m_login = v; }
    QString nameUser() const { return m_nameUser; }
    void setNameUser(const QString &v) { m_nameUser = v; }
    QString password() const { return m_password; }
    void setPassword(const QString &v) { m_password = v; }
    QString idSession() const { return m_idSession; }
    void setIdSession(const QString &v) { m_idSession = v; }
    QString idAccessKind() const { return m_idAccessKind; }
    void setIdAccessKind(const QString &v) { m_idAccessKind = v; }
    qint64 idDealer() const { return m_idDealer; }
    void setIdDealer(qint64 v) { m_idDealer = v; }
    QString nameDealer() const { return m_nameDealer; }
    void setNameDealer(const QString &v) { m_nameDealer = v; }
    int flags() const { return m_flags; }
    void setFlags(int v) { m_flags = v; }
    qint64 idUser() const { return m_idUser; }
    void setIdUser(qint64 v) { m_idUser = v; }
    QString serialNo() const { return m_serialNo; }
    void setSerialNo(const QString &v) { m_serialNo = v; }
    QString guidHardware() const { return m_guidHardware; }
    void setGuidHardware(const QString &v) { m_guidHardware = v; }
    QList<QNetworkCookie> cookies() const { return m_cookies; }
    void setCookies(const QList<QNetworkCookie> &v) { m_cookies = v; }
    qint64 idHardSoft() const { return m_idHardSoft; }
    void setIdHardSoft(qint64 v) { m_idHardSoft = v; }
    QString moduleName() const { return m_moduleName; }
    void setModuleName(const QString &v) { m_moduleName = v; }

    bool operator==(const AppSession &other) const;
    bool operator!=(const AppSession &other) const { return !(*this == other); }

private:
    QString m_login;
    QString m_nameUser;
    QString m_password;
    QString m_idSession;
    QString m_idAccessKind;
    qint64 m_idDealer = -1;
    QString m_nameDealer;
    int m_flags = 0;
    qint64 m_idUser = -1;
    QString m_serialNo;
    QString m_guidHardware;
    QList<QNetworkCookie> m_cookies;
    qint64 m_idHardSoft = 0;
    QString m_moduleName;
};

Q_DECLARE_METATYPE(AppSession)

// The process-wide session store, one record per session type, guarded by
// its own mutex. storedSession() gives a default record for a type that
// holds nothing (and stores nothing).
AppSession storedSession(AppSession::SessionType type);
void storeSession(AppSession::SessionType type, const AppSession &session);
// Whether anything was ever stored under the type.
bool hasStoredSession(AppSession::SessionType type);

#endif // APPSESSION_H
