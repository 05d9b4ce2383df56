#ifndef LOGINACCESSMANAGER_H
#define LOGINACCESSMANAGER_H

#include "mgr/appsession.h"
#include "network/httpsaccessmanager.h"

class LoginHttpsHandler;

// Opens a session on the processing server: sends the login and password
// stored for a session type in one GET "/vendrel/api/LoginSession", stores
// the granted session back under that type and announces it.
//
// The constructors without an SSL configuration trust the system's CA
// certificates and the one compiled into the program.
class LoginAccessManager : public HttpsAccessManager
{
    Q_OBJECT
public:
    static const QString LoginPath;

    explicit LoginAccessManager(QObject *parent = nullptr);
    LoginAccessManager(const QSslConfiguration &ssl, QObject *parent = nullptr);
    LoginAccessManager(const QString &host, quint16 port, QObject *parent = nullptr);
    LoginAccessManager(
        const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent = nullptr);

    // Starts the login with the credentials stored under type; null when no
    // request could be sent.
    LoginHttpsHandler *login(AppSession::SessionType type, quint32 idHardSoft);

    // As the base version, with "login" and "password" of the current
    // session appended to the query.
    QNetworkRequest createRequest(const QString &path, QNetworkAccessManager *manager,
        bool withCookies, const QUrlQuery &query) override;

signals:
    void loginSuccess(AppSession sessionInfo);

protected slots:
    void onLoginSuccess(QVariantMap sessionInfo);

private:
    AppSession m_session;
};

#endif // LOGINACCESSMANAGER_H
