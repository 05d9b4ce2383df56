// The adapter driver against the emulated adapter (linked instead of libusb).

#include "i2c/i2ctinyusb.h"
#include "usb/usbemu.h"

#include <QtTest>

#include <memory>

namespace {

// A status command frame, 04 01 00 30 + CRC, as the storage takes it.
const QByteArray StatusCommand = QByteArray::fromHex("04010030ffcd");

} // namespace

class tst_I2CTinyUsb : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void noAdapterEveryProbeRescans();
    void plugInOpensOnProbeAndReportsOnTheNext();
    void openSetsTheAdapterUp();
    void failedOpenLeavesTheDriverClosed();
    void instancesShareOneHandle();
    void readAlwaysHoldsSize_data();
    void readAlwaysHoldsSize();
    void statusOtherThanOneIsFailure_data();
    void statusOtherThanOneIsFailure();
    void writeDeliversTheFrame();
    void emptyWriteFails();
    void unpluggedAdapterFailsUntilReopened();
};

void tst_I2CTinyUsb::init() { usbemu::reset(); }

void tst_I2CTinyUsb::noAdapterEveryProbeRescans()
{
    usbemu::setAdapterPlugged(false);
    I2CTinyUsb driver;
    QCOMPARE(usbemu::busScans(), 1);
    QCOMPARE(usbemu::deviceOpens(), 0);

    for (int i = 1; i <= 3; ++i) {
        QVERIFY(!driver.i2cProbe(2));
        QCOMPARE(usbemu::busScans(), 1 + i);
    }
    QByteArray data;
    QCOMPARE(driver.i2cWrite(2, StatusCommand, 1000), 0);
    QCOMPARE(driver.i2cRead(2, 6, data, 1000), 0);
    QCOMPARE(data, QByteArray(6, '\0'));
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestI2cTransaction), 0);
}

void tst_I2CTinyUsb::plugInOpensOnProbeAndReportsOnTheNext()
{
    usbemu::setAdapterPlugged(false);
    I2CTinyUsb driver;
    QVERIFY(!driver.i2cProbe(2));

    usbemu::setAdapterPlugged(true);
    QVERIFY(!driver.i2cProbe(2)); // this probe opens the adapter
    QCOMPARE(usbemu::deviceOpens(), 1);
    QCOMPARE(usbemu::i2cProbes(), 0);

    QVERIFY(driver.i2cProbe(2));
    QCOMPARE(usbemu::i2cProbes(), 1);
    const int scans = usbemu::busScans();
    QVERIFY(!driver.i2cProbe(3)); // nobody at address 3; no rescan while open
    QCOMPARE(usbemu::busScans(), scans);
}

void tst_I2CTinyUsb::openSetsTheAdapterUp()
{
    I2CTinyUsb driver;
    QCOMPARE(usbemu::deviceOpens(), 1);
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestFunctions), 1);
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestSetDelay), 1);
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestStatus), 1);
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestI2cTransaction), 0);
}

void tst_I2CTinyUsb::failedOpenLeavesTheDriverClosed()
{
    usbemu::setOpenFails(true);
    I2CTinyUsb driver;
    QVERIFY(!driver.i2cProbe(2));
    QCOMPARE(usbemu::openHandles(), 0);
    QCOMPARE(usbemu::busScans(), 2);

    usbemu::setOpenFails(false);
    QVERIFY(!driver.i2cProbe(2));
    QVERIFY(driver.i2cProbe(2));
}

void tst_I2CTinyUsb::instancesShareOneHandle()
{
    auto first = std::make_unique<I2CTinyUsb>();
    auto second = std::make_unique<I2CTinyUsb>();
    QCOMPARE(usbemu::deviceOpens(), 1);
    QCOMPARE(usbemu::openHandles(), 1);
    QCOMPARE(usbemu::busScans(), 1);
    QVERIFY(first->i2cProbe(2));
    QVERIFY(second->i2cProbe(2));

    first.reset();
    QCOMPARE(usbemu::openHandles(), 1);
    QCOMPARE(usbemu::deviceCloses(), 0);
    QVERIFY(second->i2cProbe(2));

    QTest::ignoreMessage(QtDebugMsg, "DESTROY");
    second.reset();
    QCOMPARE(usbemu::openHandles(), 0);
    QCOMPARE(usbemu::deviceCloses(), 1);

    // A new driver discovers the adapter afresh.
    I2CTinyUsb third;
    QCOMPARE(usbemu::deviceOpens(), 2);
    QVERIFY(third.i2cProbe(2));
}

void tst_I2CTinyUsb::readAlwaysHoldsSize_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("expected");

    // The storage's answer to 0x30 begins 04 1f 00 00 (30 data bytes).
    QTest::newRow("acknowledged, first 4 bytes")
        << "ack" << 4 << 4 << QByteArray::fromHex("041f0000");
    QTest::newRow("storage detached") << "detached" << 6 << 0 << QByteArray(6, '\0');
    QTest::newRow("transfer fails") << "transfer error" << 36 << 0 << QByteArray(36, '\0');
    QTest::newRow("status byte 0")
        << "status 0" << 8 << 0 << QByteArray::fromHex("041f000001000000");
    QTest::newRow("no adapter") << "unplugged" << 10 << 0 << QByteArray(10, '\0');
}

void tst_I2CTinyUsb::readAlwaysHoldsSize()
{
    QFETCH(QString, situation);
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QByteArray, expected);

    I2CTinyUsb driver;
    QCOMPARE(driver.i2cWrite(2, StatusCommand, 1000), StatusCommand.size());

    if (situation == "detached")
        usbemu::setStorageAttached(false);
    else if (situation == "transfer error")
        usbemu::setTransferError(usbemu::RequestI2cTransaction, -5);
    else if (situation == "status 0")
        usbemu::setStatusOverride(0);
    else if (situation == "unplugged")
        usbemu::setAdapterPlugged(false);

    QByteArray data("left over");
    QCOMPARE(driver.i2cRead(2, quint16(size), data, 1000), result);
    QCOMPARE(data.size(), size);
    QCOMPARE(data, expected);
}

void tst_I2CTinyUsb::statusOtherThanOneIsFailure_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("success");

    QTest::newRow("1, acknowledged") << 1 << true;
    QTest::newRow("0, idle") << 0 << false;
    QTest::newRow("2, not acknowledged") << 2 << false;
    QTest::newRow("0xff") << 0xFF << false;
}

void tst_I2CTinyUsb::statusOtherThanOneIsFailure()
{
    QFETCH(int, status);
    QFETCH(bool, success);

    I2CTinyUsb driver;
    usbemu::setStatusOverride(status);
    QByteArray data;
    QCOMPARE(driver.i2cProbe(2), success);
    QCOMPARE(driver.i2cWrite(2, StatusCommand, 1000), success ? StatusCommand.size() : 0);
    QCOMPARE(driver.i2cRead(2, 6, data, 1000), success ? 6 : 0);
    QCOMPARE(data.size(), 6);
}

void tst_I2CTinyUsb::writeDeliversTheFrame()
{
    I2CTinyUsb driver;
    QTest::ignoreMessage(QtWarningMsg, "\"04010030ffcd\"");
    QCOMPARE(driver.i2cWrite(2, StatusCommand, 1000), 6);
    const QList<usbemu::Command> commands = usbemu::receivedCommands();
    QCOMPARE(commands.size(), 1);
    QCOMPARE(commands.first().code, quint8(0x30));
    QVERIFY(commands.first().data.isEmpty());

    // Nobody at address 5: the transfer goes out but is not acknowledged.
    QCOMPARE(driver.i2cWrite(5, StatusCommand, 1000), 0);
    QCOMPARE(usbemu::receivedCommands().size(), 1);
}

void tst_I2CTinyUsb::emptyWriteFails()
{
    I2CTinyUsb driver;
    // The transfer carries no byte, so it reports 0 whatever the status says.
    QCOMPARE(driver.i2cWrite(2, QByteArray(), 1000), 0);
    QCOMPARE(usbemu::controlTransfers(usbemu::RequestI2cTransaction), 1);
    QCOMPARE(usbemu::i2cWrites(), 0);
    QVERIFY(usbemu::receivedCommands().isEmpty());
}

void tst_I2CTinyUsb::unpluggedAdapterFailsUntilReopened()
{
    auto driver = std::make_unique<I2CTinyUsb>();
    QVERIFY(driver->i2cProbe(2));

    usbemu::setAdapterPlugged(false);
    usbemu::setAdapterPlugged(true);
    // The old handle belongs to the earlier plug-in.
    QVERIFY(!driver->i2cProbe(2));
    QCOMPARE(usbemu::deviceOpens(), 1);

    driver.reset();
    I2CTinyUsb fresh;
    QCOMPARE(usbemu::deviceOpens(), 2);
    QVERIFY(fresh.i2cProbe(2));
}

QTEST_GUILESS_MAIN(tst_I2CTinyUsb)
#include "tst_i2ctinyusb.moc"
