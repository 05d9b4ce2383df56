#include "appbench.h"

#include "mainwidget.h"
#include "mgr/processingserver.h"
#include "processingserveremulator.h"

#include <QSslCertificate>

namespace appbench {

QSslConfiguration testSsl()
{
    return ProcessingServer::sslConfigurationTrusting(
        QSslCertificate::fromPath(QStringLiteral(TAVRON_TEST_DATA "/tls/ca.pem")));
}

bool startProcessing(ProcessingServerEmulator &emulator)
{
    if (!emulator.setCertificateFiles(QStringLiteral(TAVRON_TEST_DATA "/tls/server.pem"),
            QStringLiteral(TAVRON_TEST_DATA "/tls/server.key.pem")))
        return false;
    emulator.setAccount(ProcessingServer::login(), ProcessingServer::password());
    return emulator.start(QHostAddress::LocalHost, 0);
}

std::unique_ptr<MainWidget> openWindow(const ProcessingServerEmulator &emulator)
{
    auto window = std::make_unique<MainWidget>(
        QStringLiteral("127.0.0.1"), emulator.serverPort(), testSsl());
    window->show();
    return window;
}

QVariantMap model(int idHardwareType, const QVariant &officialModel, const QString &name,
    const QString &officialName, const QString &officialVersion)
{
    QVariantMap record;
    record.insert(QStringLiteral("idHardware"), 500);
    record.insert(QStringLiteral("idHardwareType"), idHardwareType);
    if (officialModel.isValid())
        record.insert(QStringLiteral("officialModel"), officialModel);
    record.insert(QStringLiteral("name"), name);
    record.insert(QStringLiteral("officialName"), officialName);
    record.insert(QStringLiteral("officialVersion"), officialVersion);
    return record;
}

} // namespace appbench
