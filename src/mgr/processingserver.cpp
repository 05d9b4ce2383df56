#include "mgr/processingserver.h"

#include "mgr/processingserverconfig.h"

#include <QDebug>
#include <QFile>

#if TAVRON_PROCESSING_HAS_CA
// The resource lives in a static library: pull it in by name.
static void initCaResource() { Q_INIT_RESOURCE(processingca); }
#endif

QString ProcessingServer::host() { return QString::fromUtf8(ProcessingServerConfig::Host); }

quint16 ProcessingServer::port() { return ProcessingServerConfig::Port; }

QString ProcessingServer::login() { return QString::fromUtf8(ProcessingServerConfig::Login); }

QString ProcessingServer::password() { return QString::fromUtf8(ProcessingServerConfig::Password); }

AppSession ProcessingServer::credentials()
{
    AppSession session;
    session.setLogin(login());
    session.setPassword(password());
    return session;
}

QList<QSslCertificate> ProcessingServer::builtInCaCertificates()
{
#if TAVRON_PROCESSING_HAS_CA
    initCaResource();
    QFile file(QString::fromLatin1(ProcessingServerConfig::CaResource));
    QList<QSslCertificate> certificates;
    if (file.open(QIODevice::ReadOnly))
        certificates = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (certificates.isEmpty())
        qCritical() << "The built-in CA certificate cannot be read";
    return certificates;
#else
    return {};
#endif
}

QSslConfiguration ProcessingServer::sslConfiguration()
{
    return sslConfigurationTrusting(builtInCaCertificates());
}

QSslConfiguration ProcessingServer::sslConfigurationTrusting(const QList<QSslCertificate> &extra)
{
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (extra.isEmpty())
        return ssl;
    // Setting a CA list turns the system's on-demand loading off, so the
    // system's certificates are put into the list explicitly.
    ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    return ssl;
}
