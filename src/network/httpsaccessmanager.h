#ifndef HTTPSACCESSMANAGER_H
#define HTTPSACCESSMANAGER_H

#include "network/httperrorcode.h"

#include <QList>
#include <QMap>
#include <QNetworkCookie>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslError>
#include <QUrlQuery>
#include <QVariant>

class AbstractHttpsReplyHandler;
class HttpsReplyHandler;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkProxy;
class QNetworkReply;

// Sends the requests of one client of the processing server: builds the URL
// from scheme, host and port, adds "Accept-Encoding: gzip", the SSL
// configuration with the stored session ticket and the captured cookies,
// pairs each reply with a reply handler and lets the handler decode it when
// the reply finishes. Every failure ends as an error map in error().
//
// A request over HTTPS succeeds only when the server's certificate verifies
// against the CA certificates of the SSL configuration (by default the
// system's); certificate errors are logged and end the request as a network
// error.
class HttpsAccessManager : public QObject
{
    Q_OBJECT
public:
    explicit HttpsAccessManager(QObject *parent = nullptr);
    HttpsAccessManager(const QSslConfiguration &ssl, QObject *parent = nullptr);
    HttpsAccessManager(const QString &host, quint16 port, QObject *parent = nullptr);
    HttpsAccessManager(
        const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent = nullptr);
    ~HttpsAccessManager() override;

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString scheme() const { return m_scheme; }
    void setScheme(const QString &scheme) { m_scheme = scheme; }
    // The configuration given to every HTTPS request (the CA certificates to
    // trust among others).
    QSslConfiguration sslConfiguration() const { return m_ssl; }
    void setSslConfiguration(const QSslConfiguration &ssl) { m_ssl = ssl; }
    // The SSL session tickets kept per host, under "ssl-session-" + host.
    QMap<QString, QByteArray> sessionTickets() const { return m_sessionTickets; }

    // A map as a query: one item per entry in the map's key order, the value
    // as QVariant::toString().
    static QUrlQuery queryFromMap(const QVariantMap &map);

    virtual HttpsReplyHandler *getData(const QString &path, const QVariantMap &query);
    virtual HttpsReplyHandler *postData(
        const QString &path, const QVariant &data, const QVariantMap &query);
    virtual QNetworkRequest createRequest(const QString &path, QNetworkAccessManager *manager,
        bool withCookies, const QUrlQuery &query);
    virtual HttpsReplyHandler *getData(const QString &path, const QUrlQuery &query = QUrlQuery());
    virtual HttpsReplyHandler *postData(
        const QString &path, const QVariant &data, const QUrlQuery &query = QUrlQuery());

signals:
    void error(QVariantMap err);
    void progress(int percent);

protected slots:
    virtual void authenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator);
    void finished(QNetworkReply *reply);
    void sslErrors(QNetworkReply *reply, const QList<QSslError> &errors);
    void proxyAuthenticationRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);
    void calcProgress(qlonglong value, qlonglong total);
    void prepareError(QVariantMap err);
    void prepareError(HttpErrorCode code, QString msg);

protected:
    // The network manager of the requests, created on first use and again
    // after a failed request discarded the previous one.
    QNetworkAccessManager *networkManager();
    // Records the handler that decodes the reply when it finishes.
    void addOutstandingReply(QNetworkReply *reply, AbstractHttpsReplyHandler *handler);

private:
    static QString ticketKey(const QUrl &url);

    QSslConfiguration m_ssl;
    QString m_host = QStringLiteral("localhost");
    quint16 m_port = 0;
    QPointer<QNetworkAccessManager> m_manager;
    QMap<QString, QByteArray> m_sessionTickets;
    QString m_scheme = QStringLiteral("HTTP");
    QMap<QNetworkReply *, AbstractHttpsReplyHandler *> m_replies;
    QList<QNetworkCookie> m_cookies;
};

#endif // HTTPSACCESSMANAGER_H
