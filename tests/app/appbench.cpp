#include "appbench.h"

#include "mainwidget.h"
#include "mgr/processingserver.h"
#include "processingserveremulator.h"
#include "regnumber.h"

#include <QLineEdit>
#include <QSslCertificate>
#include <QTest>

namespace appbench {

const QString LoopbackOfdInn = QStringLiteral("7703282175");
const QString LoopbackOfdName = QStringLiteral("Акционерное общество \"Энвижн Груп\"");
const quint16 LoopbackOfdPort = 7777;

QString Entry::regNumber() const
{
    return QString::fromLatin1(
        makeRegNumber(QByteArrayLiteral("17"), regNumberSerial(serial), userInn.toLatin1()));
}

QList<QPair<const char *, QString>> Entry::texts() const
{
    return {
        { "leCashier", cashier },
        { "leCashierInn", cashierInn },
        { "leFnsWebSite", fnsSite },
        { "leSenderEmail", email },
        { "leRegNumber", regNumber() },
        { "leUserInn", userInn },
        { "leUserName", userName },
        { "leAddress", address },
        { "lePlace", place },
    };
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->clear();
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() < 0x80;
    if (latin1)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text);
}

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
