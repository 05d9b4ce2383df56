// The demo command as a newcomer runs it: without a display it says so in one
// line; under a virtual display it builds the program for the local
// emulators, the window gets ready with the model list, and the program and
// its emulators end when it is over.

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString DemoScript = QStringLiteral(TAVRON_SOURCE_DIR "/tools/demo.sh");

// The environment of the demo, without anything that would show it a
// display, or the offscreen platform of the tests.
QProcessEnvironment demoEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DEMO_BUILD_DIR"), QStringLiteral(TAVRON_DEMO_BUILD_DIR));
    return env;
}

} // namespace

class tst_Demo : public QObject
{
    Q_OBJECT

private slots:
    void withoutDisplay();
    void readyAndStoppedCleanly();
};

void tst_Demo::withoutDisplay()
{
    QProcess demo;
    demo.setProcessEnvironment(demoEnvironment());
    demo.start(QStringLiteral("bash"), { DemoScript });
    QVERIFY(demo.waitForFinished(60000));
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(demo.exitCode(), 1);
    QVERIFY(demo.readAllStandardOutput().isEmpty());
    const QString said = QString::fromUtf8(demo.readAllStandardError());
    QCOMPARE(said.count(QLatin1Char('\n')), 1);
    QVERIFY(said.contains(QStringLiteral("no display")));
    QVERIFY(said.contains(QStringLiteral("xvfb-run -a bash tools/demo.sh")));
}

void tst_Demo::readyAndStoppedCleanly()
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (xvfbRun.isEmpty())
        QSKIP(
            "xvfb-run is not installed (Debian packages xvfb and xauth): the demo needs a display");

    QProcess demo;
    demo.setProcessEnvironment(demoEnvironment());
    demo.setProcessChannelMode(QProcess::MergedChannels);
    demo.start(xvfbRun,
        { QStringLiteral("-a"), QStringLiteral("bash"), DemoScript, QStringLiteral("--check"),
            QStringLiteral("30") });
    // The first run builds the program: allow for a slow machine.
    QVERIFY(demo.waitForFinished(25 * 60 * 1000));
    const QString output = QString::fromUtf8(demo.readAll());
    QVERIFY2(demo.exitStatus() == QProcess::NormalExit && demo.exitCode() == 0, qPrintable(output));
    QVERIFY2(
        output.contains(QStringLiteral("demo check: ready with the model list, stopped cleanly")),
        qPrintable(output));

    // The window logged in and got the emulator's list...
    const QRegularExpression summary(QStringLiteral(
        "login requests (\\d+), model requests (\\d+), model records (\\d+), program running yes, "
        "processes (\\d+) (\\d+) (\\d+), left running: none"));
    const QRegularExpressionMatch match = summary.match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));
    QCOMPARE(match.captured(1).toInt(), 1);
    QCOMPARE(match.captured(2).toInt(), 1);
    QVERIFY(match.captured(3).toInt() > 0);
    // ...and neither the program nor an emulator outlived the demo.
    for (int i = 4; i <= 6; ++i) {
        const QString pid = match.captured(i);
        QVERIFY2(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)),
            qPrintable(QStringLiteral("process %1 still there").arg(pid)));
    }
}

QTEST_GUILESS_MAIN(tst_Demo)
#include "tst_demo.moc"
