// The storage worker's transport step and life cycle, against the emulated
// adapter and storage.

#include "fs/fsworker.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using testsupport::StorageSetup;

Q_DECLARE_METATYPE(usbemu::FrameFault)

class tst_FsWorker : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void exec_data();
    void exec();
    void execPollsWhileTheStorageIsBusy();
    void execGivesUpAfterReadTimeout();
    void execWithoutAcknowledgementWritesNothing();
    void execOnReleasedDriver();
    void execAfterUnplug();

    void startRefreshesStatus();
    void unreachableStorageStartsRestartTimer_data();
    void unreachableStorageStartsRestartTimer();
    void stopDeletesRestartTimer();
    void restartFindsLaterPlugIn();
    void restartTimerDrivesRestart();
    void failedRestartKeepsOneTimer();
    void destroyingLastWorkerClosesAdapter();
};

void tst_FsWorker::init() { testsupport::resetStorage(StorageSetup::FreshMgm); }

void tst_FsWorker::exec_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("answerSize");
    QTest::addColumn<usbemu::FrameFault>("fault");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("frameResult");
    QTest::addColumn<int>("answerCode");
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("writes");

    using F = usbemu::FrameFault;
    // 0x30 answers 36 bytes (30 data bytes); 0x24 answers 6 bytes.
    QTest::newRow("status, whole answer in one read")
        << 0x30 << QByteArray() << 36 << F::None << true << 0 << 0x00 << 1 << 1;
    QTest::newRow("status, 6 bytes first, then the whole frame")
        << 0x30 << QByteArray() << 0 << F::None << true << 0 << 0x00 << 2 << 1;
    QTest::newRow("answer without data, complete in 6 bytes")
        << 0x24 << QByteArray() << 0 << F::None << true << 0 << 0x00 << 1 << 1;
    QTest::newRow("answer shorter than answerSize: size mismatch")
        << 0x24 << QByteArray() << 36 << F::None << true << 3 << 0x7F << 1 << 1;
    QTest::newRow("refusal in a sound frame")
        << 0x23 << QByteArray::fromHex("00000004") << 0 << F::None << true << 0 << 0x02 << 1 << 1;
    QTest::newRow("bad checksum still carries the code")
        << 0x30 << QByteArray() << 36 << F::BadChecksum << true << 4 << 0x00 << 1 << 1;
    QTest::newRow("wrong start byte")
        << 0x30 << QByteArray() << 36 << F::BadStartByte << false << 255 << 0x7F << 1 << 1;
    QTest::newRow("short frame, tail read as 0xff")
        << 0x30 << QByteArray() << 0 << F::ShortFrame << true << 4 << 0x00 << 2 << 1;
    QTest::newRow("first read too short for the length field")
        << 0x30 << QByteArray() << 2 << F::None << false << 255 << 0x7F << 1 << 1;
    QTest::newRow("invalid command is not sent")
        << 0x01 << QByteArray() << 0 << F::None << false << 255 << 0x7F << 0 << 0;
    QTest::newRow("0x02 with kind 3 is not sent")
        << 0x02 << QByteArray::fromHex("03") << 0 << F::None << false << 255 << 0x7F << 0 << 0;
}

void tst_FsWorker::exec()
{
    QFETCH(int, code);
    QFETCH(QByteArray, data);
    QFETCH(int, answerSize);
    QFETCH(usbemu::FrameFault, fault);
    QFETCH(bool, result);
    QFETCH(int, frameResult);
    QFETCH(int, answerCode);
    QFETCH(int, reads);
    QFETCH(int, writes);

    FsWorker worker;
    worker.start();
    usbemu::setFrameFault(usbemu::AnyCommand, fault);
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    answer.setCode(0x55); // exec starts from a default answer
    QCOMPARE(worker.exec(FiscalStorageCmd(quint8(code), data, quint16(answerSize)), answer,
                 FsWorker::ShortTimeout),
        result);
    QCOMPARE(int(answer.frameResult()), frameResult);
    QCOMPARE(int(answer.code()), answerCode);
    QCOMPARE(usbemu::i2cReads(), reads);
    QCOMPARE(usbemu::i2cWrites(), writes);
    if (result && frameResult == 0 && code == 0x30)
        QCOMPARE(answer.data().size(), 30);
}

void tst_FsWorker::execPollsWhileTheStorageIsBusy()
{
    FsWorker worker;
    worker.start();
    usbemu::setLatency(0x30, 40);
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    QVERIFY(worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    QCOMPARE(int(answer.frameResult()), 0);
    QCOMPARE(usbemu::i2cReads(), 1); // no read while the storage does not acknowledge
    QVERIFY(usbemu::i2cProbes() > 3);
}

void tst_FsWorker::execGivesUpAfterReadTimeout()
{
    FsWorker worker;
    worker.start();
    usbemu::setLatency(0x30, usbemu::NeverReady);
    usbemu::resetCounters();

    const FsRwTimeout timeout { 300, 100 };
    FiscalStorageAnswer answer;
    QElapsedTimer watch;
    watch.start();
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, timeout));
    QVERIFY(watch.elapsed() >= timeout.readTimeout); // it waited out its budget
    QCOMPARE(int(answer.code()), 0x7F);
    QCOMPARE(int(answer.frameResult()), 255);
    QCOMPARE(usbemu::i2cWrites(), 1);
    QCOMPARE(usbemu::i2cReads(), 0);
}

void tst_FsWorker::execWithoutAcknowledgementWritesNothing()
{
    FsWorker worker;
    worker.start();
    usbemu::setStorageAttached(false);
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    QCOMPARE(usbemu::i2cProbes(), 1);
    QCOMPARE(usbemu::i2cWrites(), 0);
    QCOMPARE(usbemu::i2cReads(), 0);
    QCOMPARE(int(answer.frameResult()), 255);
}

void tst_FsWorker::execOnReleasedDriver()
{
    FsWorker worker;
    worker.start();
    worker.stop();
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    // Nothing is reconnected: not even a bus scan.
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestI2cTransaction), 0);
    QCOMPARE(usbemu::busScans(), 0);
    QVERIFY(usbemu::receivedCommands().isEmpty());
}

void tst_FsWorker::execAfterUnplug()
{
    FsWorker worker;
    worker.start();
    usbemu::setAdapterPlugged(false);

    FiscalStorageAnswer answer;
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));

    // Plugged back, the worker finds the adapter again only by starting afresh.
    usbemu::setAdapterPlugged(true);
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    worker.start();
    QVERIFY(worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
}

void tst_FsWorker::startRefreshesStatus()
{
    FsWorker worker;
    QSignalSpy changed(&worker, &FsWorker::fsStatusChanged);
    QVERIFY(changed.isValid());

    worker.start();
    QCOMPARE(changed.count(), 1);
    QVERIFY(!worker.findChild<QTimer *>());
    const FsState state = currentFsState();
    QVERIFY(state.isValid());
    QCOMPARE(int(state.phase()), 0x01);
    QCOMPARE(state.fsNumber(), QString::fromLatin1(usbemu::DefaultSerialNumber));
    QVERIFY(!state.isFiscalStorage());
    QVERIFY(state.transport().isValid());

    const QList<usbemu::Command> commands = usbemu::receivedCommands();
    QCOMPARE(commands.size(), 4);
    QCOMPARE(commands.at(0).code, quint8(0x30));
    QCOMPARE(commands.at(1).code, quint8(0x33));
    QCOMPARE(commands.at(2).code, quint8(0x32));
    QCOMPARE(commands.at(3).code, quint8(0x20));
}

void tst_FsWorker::unreachableStorageStartsRestartTimer_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::newRow("no adapter") << StorageSetup::NoAdapter;
    QTest::newRow("adapter without storage") << StorageSetup::NoStorage;
}

void tst_FsWorker::unreachableStorageStartsRestartTimer()
{
    QFETCH(StorageSetup, setup);
    testsupport::resetStorage(setup);

    FsWorker worker;
    QSignalSpy changed(&worker, &FsWorker::fsStatusChanged);
    worker.start();

    QTimer *timer = worker.findChild<QTimer *>();
    QVERIFY(timer);
    QVERIFY(timer->isActive());
    QVERIFY(!timer->isSingleShot());
    QCOMPARE(timer->interval(), FsWorker::RestartInterval);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!currentFsState().isValid());

    FiscalStorageAnswer answer;
    QVERIFY(!worker.exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
}

void tst_FsWorker::stopDeletesRestartTimer()
{
    testsupport::resetStorage(StorageSetup::NoAdapter);
    FsWorker worker;
    worker.start();
    QPointer<QTimer> timer = worker.findChild<QTimer *>();
    QVERIFY(timer);

    worker.stop();
    QVERIFY(timer.isNull());
    QVERIFY(!worker.findChild<QTimer *>());
}

void tst_FsWorker::restartFindsLaterPlugIn()
{
    testsupport::resetStorage(StorageSetup::NoAdapter);
    FsWorker worker;
    worker.start();
    QVERIFY(worker.findChild<QTimer *>());

    usbemu::setAdapterPlugged(true);
    QSignalSpy changed(&worker, &FsWorker::fsStatusChanged);
    worker.restart();
    QVERIFY(!worker.findChild<QTimer *>());
    QCOMPARE(changed.count(), 1);
    QVERIFY(currentFsState().isValid());
}

void tst_FsWorker::restartTimerDrivesRestart()
{
    testsupport::resetStorage(StorageSetup::NoStorage);
    FsWorker worker;
    worker.start();
    QTimer *timer = worker.findChild<QTimer *>();
    QVERIFY(timer);

    // What the timer does when its interval has passed, without waiting for it.
    usbemu::setStorageAttached(true);
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    QVERIFY(!worker.findChild<QTimer *>());
    QVERIFY(currentFsState().isValid());
}

void tst_FsWorker::failedRestartKeepsOneTimer()
{
    testsupport::resetStorage(StorageSetup::NoAdapter);
    FsWorker worker;
    worker.start();
    QPointer<QTimer> first = worker.findChild<QTimer *>();
    QVERIFY(first);

    worker.restart();
    QVERIFY(first.isNull());
    QCOMPARE(worker.findChildren<QTimer *>().size(), 1);
}

void tst_FsWorker::destroyingLastWorkerClosesAdapter()
{
    auto first = std::make_unique<FsWorker>();
    auto second = std::make_unique<FsWorker>();
    QCOMPARE(usbemu::openHandles(), 1);

    first.reset();
    QCOMPARE(usbemu::openHandles(), 1);

    QTest::ignoreMessage(QtDebugMsg, "DESTROY");
    second.reset();
    QCOMPARE(usbemu::openHandles(), 0);
}

QTEST_GUILESS_MAIN(tst_FsWorker)
#include "tst_fsworker.moc"
