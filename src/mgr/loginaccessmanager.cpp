#include "mgr/loginaccessmanager.h"

#include "mgr/loginhttpshandler.h"
#include "mgr/processingserver.h"
#include "network/urlmask.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>

const QString LoginAccessManager::LoginPath = QStringLiteral("/vendrel/api/LoginSession");

namespace {
int registerSessionType() { return qRegisterMetaType<AppSession>("AppSession"); }
} // namespace

LoginAccessManager::LoginAccessManager(QObject *parent)
    : LoginAccessManager(ProcessingServer::sslConfiguration(), parent)
{ }

LoginAccessManager::LoginAccessManager(const QSslConfiguration &ssl, QObject *parent)
    : HttpsAccessManager(ssl, parent)
{
    registerSessionType();
}

LoginAccessManager::LoginAccessManager(const QString &host, quint16 port, QObject *parent)
    : LoginAccessManager(host, port, ProcessingServer::sslConfiguration(), parent)
{ }

LoginAccessManager::LoginAccessManager(
    const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent)
    : HttpsAccessManager(host, port, ssl, parent)
{
    registerSessionType();
}

LoginHttpsHandler *LoginAccessManager::login(AppSession::SessionType type, quint32 idHardSoft)
{
    m_session = storedSession(type);
    QNetworkAccessManager *manager = networkManager();
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("idHardSoft"), QString::number(idHardSoft));
    const QNetworkRequest request = createRequest(LoginPath, manager, false, query);
    // The password never reaches the log.
    qWarning().noquote() << UrlMask::maskedUrl(request.url());
    QNetworkReply *reply = manager->get(request);
    if (!reply)
        return nullptr;
    auto *handler = new LoginHttpsHandler(type, this);
    connect(handler, &AbstractHttpsReplyHandler::error, this,
        qOverload<QVariantMap>(&LoginAccessManager::prepareError));
    connect(handler, &LoginHttpsHandler::loginSuccess, this, &LoginAccessManager::onLoginSuccess);
    addOutstandingReply(reply, handler);
    return handler;
}

QNetworkRequest LoginAccessManager::createRequest(
    const QString &path, QNetworkAccessManager *manager, bool withCookies, const QUrlQuery &query)
{
    QUrlQuery withCredentials(query);
    withCredentials.addQueryItem(
        QStringLiteral("login"), UrlMask::encodeQueryValue(m_session.login()));
    withCredentials.addQueryItem(
        QStringLiteral("password"), UrlMask::encodeQueryValue(m_session.password()));
    return HttpsAccessManager::createRequest(path, manager, withCookies, withCredentials);
}

void LoginAccessManager::onLoginSuccess(QVariantMap sessionInfo)
{
    auto *handler = qobject_cast<LoginHttpsHandler *>(sender());
    if (!handler) {
        prepareError(UnknownError, tr("Null handler"));
        return;
    }
    const AppSession session(sessionInfo);
    storeSession(handler->sessionType(), session);
    emit loginSuccess(session);
}
