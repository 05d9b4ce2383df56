#include "network/httpsaccessmanager.h"

#include "network/httpsreplyhandler.h"
#include "network/urlmask.h"
#include "tessarocore/logging.h"

#include <QAuthenticator>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>

namespace {
const QString HttpsScheme = QStringLiteral("HTTPS");
const QString TicketPrefix = QStringLiteral("ssl-session-");
} // namespace

HttpsAccessManager::HttpsAccessManager(QObject *parent)
    : HttpsAccessManager(
        QStringLiteral("localhost"), 0, QSslConfiguration::defaultConfiguration(), parent)
{ }

HttpsAccessManager::HttpsAccessManager(const QSslConfiguration &ssl, QObject *parent)
    : HttpsAccessManager(QStringLiteral("localhost"), 0, ssl, parent)
{ }

HttpsAccessManager::HttpsAccessManager(const QString &host, quint16 port, QObject *parent)
    : HttpsAccessManager(host, port, QSslConfiguration::defaultConfiguration(), parent)
{ }

HttpsAccessManager::HttpsAccessManager(
    const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent)
    : QObject(parent)
    , m_ssl(ssl)
    , m_host(host)
    , m_port(port)
{ }

HttpsAccessManager::~HttpsAccessManager()
{
    if (m_manager)
        m_manager->blockSignals(true);
}

QUrlQuery HttpsAccessManager::queryFromMap(const QVariantMap &map)
{
    QUrlQuery query;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        query.addQueryItem(it.key(), UrlMask::encodeQueryValue(it.value().toString()));
    return query;
}

HttpsReplyHandler *HttpsAccessManager::getData(const QString &path, const QVariantMap &query)
{
    return getData(path, queryFromMap(query));
}

HttpsReplyHandler *HttpsAccessManager::postData(
    const QString &path, const QVariant &data, const QVariantMap &query)
{
    return postData(path, data, queryFromMap(query));
}

QNetworkRequest HttpsAccessManager::createRequest(
    const QString &path, QNetworkAccessManager *manager, bool withCookies, const QUrlQuery &query)
{
    QUrl url;
    url.setHost(m_host, QUrl::DecodedMode);
    url.setPath(path, QUrl::DecodedMode);
    url.setPort(m_port);
    url.setScheme(m_scheme.toLower());
    if (!query.isEmpty())
        url.setQuery(query);

    // A fresh jar per request: it holds the captured cookies (if wanted) and
    // collects what this answer sets.
    auto *jar = new QNetworkCookieJar;
    if (withCookies && !m_cookies.isEmpty())
        jar->setCookiesFromUrl(m_cookies, url);
    manager->setCookieJar(jar);

    QNetworkRequest request(url);
    request.setRawHeader("Accept-Encoding", "gzip");

    if (m_scheme.toUpper() == HttpsScheme) {
        QSslConfiguration ssl = m_ssl;
        const QByteArray ticket = m_sessionTickets.value(ticketKey(url));
        if (!ticket.isEmpty())
            ssl.setSessionTicket(ticket);
        request.setSslConfiguration(ssl);
    }
    return request;
}

HttpsReplyHandler *HttpsAccessManager::getData(const QString &path, const QUrlQuery &query)
{
    QNetworkAccessManager *manager = networkManager();
    const QNetworkRequest request = createRequest(path, manager, true, query);
    qWarning().noquote() << UrlMask::maskedUrl(request.url());
    QNetworkReply *reply = manager->get(request);
    if (!reply)
        return nullptr;
    auto *handler = new HttpsReplyHandler(this);
    connect(handler, &AbstractHttpsReplyHandler::error, this,
        qOverload<QVariantMap>(&HttpsAccessManager::prepareError));
    addOutstandingReply(reply, handler);
    return handler;
}

HttpsReplyHandler *HttpsAccessManager::postData(
    const QString &path, const QVariant &data, const QUrlQuery &query)
{
    QNetworkAccessManager *manager = networkManager();
    QNetworkRequest request = createRequest(path, manager, true, query);
    const QByteArray body = QJsonDocument::fromVariant(data).toJson(QJsonDocument::Compact);
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply *reply = manager->post(request, body);
    qWarning().noquote() << UrlMask::maskedUrl(request.url());
    if (!reply)
        return nullptr;
    auto *handler = new HttpsReplyHandler(this);
    connect(handler, &AbstractHttpsReplyHandler::error, this,
        qOverload<QVariantMap>(&HttpsAccessManager::prepareError));
    addOutstandingReply(reply, handler);
    return handler;
}

QNetworkAccessManager *HttpsAccessManager::networkManager()
{
    if (m_manager)
        return m_manager;
    auto *manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::authenticationRequired, this,
        &HttpsAccessManager::authenticationRequired);
    connect(manager, &QNetworkAccessManager::finished, this, &HttpsAccessManager::finished);
    connect(manager, &QNetworkAccessManager::sslErrors, this, &HttpsAccessManager::sslErrors);
    connect(manager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
        &HttpsAccessManager::proxyAuthenticationRequired);
    m_manager = manager;
    return manager;
}

void HttpsAccessManager::addOutstandingReply(
    QNetworkReply *reply, AbstractHttpsReplyHandler *handler)
{
    m_replies.insert(reply, handler);
}

QString HttpsAccessManager::ticketKey(const QUrl &url)
{
    return TicketPrefix + url.host(QUrl::FullyDecoded);
}

void HttpsAccessManager::authenticationRequired(QNetworkReply *, QAuthenticator *) { }

void HttpsAccessManager::finished(QNetworkReply *reply)
{
    if (!reply) {
        qCritical() << "Reply is null object";
        QObject *source = sender();
        if (source) {
            if (source == m_manager)
                m_manager = nullptr;
            source->blockSignals(true);
            source->deleteLater();
        }
        return;
    }

    AbstractHttpsReplyHandler *handler = m_replies.value(reply, nullptr);
    m_replies.remove(reply);

    if (!reply->isFinished())
        qWarning() << "The reply is not finished";

    if (!handler) {
        QVariantMap err;
        err.insert(QStringLiteral("errorMessage"), QStringLiteral("Unknown error"));
        err.insert(QStringLiteral("errorCode"), -1);
        emit error(err);
        reply->close();
        reply->deleteLater();
        return;
    }

    const QByteArray ticket = reply->sslConfiguration().sessionTicket();
    if (!ticket.isEmpty())
        m_sessionTickets.insert(ticketKey(reply->url()), ticket);

    if (QNetworkAccessManager *manager = reply->manager()) {
        if (!handler->prepareReply(reply)) {
            // A failed request takes its network manager, with the cookie
            // jar, along: the next request starts afresh and without cookies.
            m_cookies.clear();
            manager->blockSignals(true);
            if (manager == m_manager)
                m_manager = nullptr;
            reply->close();
            reply->deleteLater();
            manager->deleteLater();
            return;
        }
        if (m_cookies.isEmpty() && manager->cookieJar())
            m_cookies = manager->cookieJar()->cookiesForUrl(reply->url());
    }

    handler->deleteLater();
    reply->close();
    reply->deleteLater();
}

void HttpsAccessManager::sslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    // Nothing is ignored: a certificate that does not verify ends the request
    // before any byte of it is sent.
    const QString url = reply ? UrlMask::maskedUrl(reply->url()) : QString();
    for (const QSslError &e : errors)
        qWarning().noquote() << "SSL error" << int(e.error()) << e.errorString() << url;
}

void HttpsAccessManager::proxyAuthenticationRequired(
    const QNetworkProxy &proxy, QAuthenticator *authenticator)
{
    if (!authenticator)
        return;
    authenticator->setUser(proxy.user());
    authenticator->setPassword(proxy.password());
}

void HttpsAccessManager::calcProgress(qlonglong value, qlonglong total)
{
    if (total > 0 && value >= 0)
        emit progress(int(qint64(value) * 100 / qint64(total)));
}

void HttpsAccessManager::prepareError(QVariantMap err)
{
    if (QObject *source = sender())
        qWarning().noquote() << source->metaObject()->className() << tessaro::logvariant(err);
    else
        qWarning().noquote() << tessaro::logvariant(err);
    emit error(err);
}

void HttpsAccessManager::prepareError(HttpErrorCode code, QString msg)
{
    QVariantMap err;
    err.insert(QStringLiteral("result"), int(code));
    err.insert(QStringLiteral("resultDescription"), msg);
    prepareError(err);
}
