#ifndef NETWORKTESTSUPPORT_H
#define NETWORKTESTSUPPORT_H

#include "processingserveremulator.h"

#include <QFile>
#include <QMutex>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

// Helpers shared by the processing-server tests: the TLS fixtures, an
// emulator on an ephemeral port, and a capture of the log.
namespace NetworkTest {

inline QString tlsFile(const char *name)
{
    return QStringLiteral(TAVRON_TEST_DATA "/tls/") + QLatin1String(name);
}

inline QList<QSslCertificate> testCa()
{
    return QSslCertificate::fromPath(
        tlsFile("ca.pem"), QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
}

// Trusts the test CA and nothing else.
inline QSslConfiguration trustingTestCa()
{
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(testCa());
    return ssl;
}

// Starts the emulator on 127.0.0.1 with the CA-signed certificate, or with
// the self-signed one that nobody trusts.
inline bool startEmulator(ProcessingServerEmulator &emulator, bool untrusted = false)
{
    const bool loaded = untrusted
        ? emulator.setCertificateFiles(tlsFile("untrusted.pem"), tlsFile("untrusted.key.pem"))
        : emulator.setCertificateFiles(tlsFile("server.pem"), tlsFile("server.key.pem"));
    return loaded && emulator.start(QHostAddress::LocalHost, 0);
}

// Collects every log line while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    bool anyContains(const QString &text) const
    {
        const QStringList all = lines();
        for (const QString &line : all) {
            if (line.contains(text))
                return true;
        }
        return false;
    }

private:
    static LogCapture *&instance()
    {
        static LogCapture *current = nullptr;
        return current;
    }
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        if (LogCapture *self = instance()) {
            QMutexLocker lock(&self->m_mutex);
            self->m_lines.append(msg);
            if (self->m_previous)
                self->m_previous(type, context, msg);
        }
    }

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace NetworkTest

#endif // NETWORKTESTSUPPORT_H
