#include "mgr/loginaccessmanager.h"
#include "mgr/processingsrvaccessmgr.h"
#include "networktestsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

// The emulator as the demo runs it: a program of its own on a port it
// reports, with the certificate and key given on its command line.
class tst_ProcessingEmulator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void standaloneServesLoginAndModels();
    void badSwitchesRefused_data();
    void badSwitchesRefused();
};

namespace {
constexpr int Patience = 15000; // ms: a bound against hanging, not a speed check

QStringList certificateSwitches()
{
    return { QStringLiteral("--cert"), NetworkTest::tlsFile("server.pem"), QStringLiteral("--key"),
        NetworkTest::tlsFile("server.key.pem") };
}
} // namespace

void tst_ProcessingEmulator::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(TAVRON_PROCESSING_EMU)));
}

void tst_ProcessingEmulator::standaloneServesLoginAndModels()
{
    QProcess emulator;
    emulator.setProcessChannelMode(QProcess::SeparateChannels);
    emulator.start(QStringLiteral(TAVRON_PROCESSING_EMU),
        QStringList { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--login"),
            QStringLiteral("1111"), QStringLiteral("--password"), QStringLiteral("2222") }
            + certificateSwitches());
    QVERIFY(emulator.waitForStarted(Patience));
    QTRY_VERIFY_WITH_TIMEOUT(emulator.canReadLine(), Patience);
    const QString line = QString::fromUtf8(emulator.readLine()).trimmed();
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$")).match(line);
    QVERIFY2(match.hasMatch(), qPrintable(line));
    const quint16 port = quint16(match.captured(1).toUInt());
    QVERIFY(port > 0);

    AppSession credentials;
    credentials.setLogin(QStringLiteral("1111"));
    credentials.setPassword(QStringLiteral("2222"));
    storeSession(AppSession::OperatorLogin, credentials);
    LoginAccessManager login(QStringLiteral("127.0.0.1"), port, NetworkTest::trustingTestCa());
    login.setScheme(QStringLiteral("HTTPS"));
    ProcessingSrvAccessMgr data(QStringLiteral("127.0.0.1"), port, NetworkTest::trustingTestCa());
    data.setScheme(QStringLiteral("HTTPS"));
    QSignalSpy loaded(&data, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    connect(&login, &LoginAccessManager::loginSuccess, this, [&data](AppSession session) {
        storeSession(AppSession::OperatorLogin, session);
        data.requestSupportedModels();
    });
    QVERIFY(login.login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, Patience);
    QCOMPARE(
        loaded.first().first().toList().size(), ProcessingServerEmulator::defaultHardware().size());

    emulator.terminate();
    QVERIFY(emulator.waitForFinished(Patience));
    // The request log on standard error masks the password.
    const QString log = QString::fromUtf8(emulator.readAllStandardError());
    QVERIFY2(log.contains(QStringLiteral(
                 "GET /vendrel/api/LoginSession?idHardSoft=1&login=1111&password=********")),
        qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("POST /vendrel/api/WebDataPackPost")));
    QVERIFY(!log.contains(QStringLiteral("2222")));
}

void tst_ProcessingEmulator::badSwitchesRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no certificate") << QStringList { QStringLiteral("--port"), QStringLiteral("0") }
                                    << "--cert and --key are required";
    QTest::newRow("unknown scenario") << (certificateSwitches()
        + QStringList { QStringLiteral("--scenario"), QStringLiteral("nap") })
                                      << "unknown scenario: nap";
    QTest::newRow("port out of range") << (certificateSwitches()
        + QStringList { QStringLiteral("--port"), QStringLiteral("70000") })
                                       << "--port needs a number from 0 to 65535";
    QTest::newRow("key file missing")
        << QStringList { QStringLiteral("--cert"), NetworkTest::tlsFile("server.pem"),
               QStringLiteral("--key"), NetworkTest::tlsFile("no-such.pem") }
        << "cannot read the certificate or the key";
}

void tst_ProcessingEmulator::badSwitchesRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess emulator;
    emulator.start(QStringLiteral(TAVRON_PROCESSING_EMU), arguments);
    QVERIFY(emulator.waitForFinished(Patience));
    QCOMPARE(emulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator.exitCode(), 2);
    QVERIFY(QString::fromUtf8(emulator.readAllStandardError()).contains(message));
}

QTEST_GUILESS_MAIN(tst_ProcessingEmulator)
#include "tst_processingemulator.moc"
