// The preloadable emulator under a binary linked against the real libusb-0.1:
// it finds the emulated adapter, reads the storage, and a storage registered
// in one run is still registered in the next (the state file).

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_UsbEmuPreload : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void findsTheEmulatedStorage_data();
    void findsTheEmulatedStorage();
    void registeredStorageStaysRegistered();

private:
    // Runs the probe under the preloaded emulator; returns its exit code.
    int runProbe(const QString &mode, const QStringList &environment, QString *output);

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_statePath;
};

void tst_UsbEmuPreload::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_statePath = m_dir->filePath(QStringLiteral("storage.json"));
}

int tst_UsbEmuPreload::runProbe(
    const QString &mode, const QStringList &environment, QString *output)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(USBEMU_PRELOAD_PATH));
    env.insert(QStringLiteral("TAVRON_USBEMU_STATE"), m_statePath);
    // In a sanitizer build the preloaded library precedes the sanitizer runtime.
    env.insert(
        QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0:verify_asan_link_order=0"));
    for (const QString &item : environment)
        env.insert(item.section('=', 0, 0), item.section('=', 1));

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(QProcess::SeparateChannels);
    probe.start(QStringLiteral(FSPROBE_PATH), { mode });
    if (!probe.waitForFinished(60000)) {
        probe.kill();
        probe.waitForFinished();
        return -1;
    }
    *output = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : -1;
}

void tst_UsbEmuPreload::findsTheEmulatedStorage_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    QTest::newRow("fresh MGM")
        << QStringList() << 0
        << "storage 9999078900004321, MGM, phase 01, last document 0, unconfirmed 0";
    QTest::newRow("fresh fiscal storage with its own number")
        << QStringList({ "TAVRON_USBEMU_KIND=fs", "TAVRON_USBEMU_SERIAL=9999078900007777" }) << 0
        << "storage 9999078900007777, fiscal storage, phase 01, last document 0, unconfirmed 0";
    QTest::newRow("no adapter") << QStringList({ "TAVRON_USBEMU_PLUGGED=0" }) << 2 << "no storage";
    QTest::newRow("no storage") << QStringList({ "TAVRON_USBEMU_ATTACHED=0" }) << 2 << "no storage";
}

void tst_UsbEmuPreload::findsTheEmulatedStorage()
{
    QFETCH(QStringList, environment);
    QFETCH(int, exitCode);
    QFETCH(QString, output);

    QString printed;
    QCOMPARE(runProbe(QStringLiteral("status"), environment, &printed), exitCode);
    QCOMPARE(printed, output);
}

void tst_UsbEmuPreload::registeredStorageStaysRegistered()
{
    QString printed;
    QCOMPARE(runProbe(QStringLiteral("register"), { "TAVRON_USBEMU_KIND=fs" }, &printed), 0);
    QCOMPARE(printed,
        QStringLiteral(
            "storage 9999078900004321, fiscal storage, phase 03, last document 1, unconfirmed 1"));

    // A later run, even one asking for another kind of new storage, finds the
    // registered storage in the state file.
    QCOMPARE(runProbe(QStringLiteral("status"), { "TAVRON_USBEMU_KIND=mgm" }, &printed), 0);
    QCOMPARE(printed,
        QStringLiteral(
            "storage 9999078900004321, fiscal storage, phase 03, last document 1, unconfirmed 1"));

    QFile file(m_statePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(state.value("phase").toInt(), 3);
    QCOMPARE(state.value("kind").toString(), QStringLiteral("fs"));

    // Registering again is refused by the registered storage.
    QCOMPARE(runProbe(QStringLiteral("register"), {}, &printed), 3);
    QCOMPARE(printed, QStringLiteral("registration refused, code 0x02"));
}

QTEST_GUILESS_MAIN(tst_UsbEmuPreload)
#include "tst_usbemupreload.moc"
