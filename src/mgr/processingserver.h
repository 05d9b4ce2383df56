#ifndef PROCESSINGSERVER_H
#define PROCESSINGSERVER_H

#include "mgr/appsession.h"

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

// The processing server this build talks to and the operator's account on
// it, as compiled in (see processingserverconfig.h).
class ProcessingServer
{
public:
    static QString host();
    static quint16 port();
    static QString login();
    static QString password();
    // A session record holding only the compiled-in login and password.
    static AppSession credentials();

    // The CA certificate compiled into the program (none, unless the build
    // named one).
    static QList<QSslCertificate> builtInCaCertificates();
    // The SSL configuration of the processing-server clients: the platform
    // default, trusting the built-in CA certificate besides the system's.
    static QSslConfiguration sslConfiguration();
    // The platform default configuration trusting the given certificates
    // besides the system's; the default itself when the list is empty.
    static QSslConfiguration sslConfigurationTrusting(const QList<QSslCertificate> &extra);
};

#endif // PROCESSINGSERVER_H
