// The emulated storage's own rules that the worker tests do not reach, and
// its state file.

#include "fs/fsworker.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::StorageSetup;

class tst_UsbEmuState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stateFileKeepsTheStorage();
    void badStateFileIsRefused_data();
    void badStateFileIsRefused();
    void documentLimitedTo16BitLength();
    void blockOutsideTheDocumentIsRefused_data();
    void blockOutsideTheDocumentIsRefused();
    void directRegistrationNeedsReadiness();
    void latencyForOneCommandOnly();

private:
    std::unique_ptr<FsWorker> m_worker;
    QTemporaryDir m_dir;
};

void tst_UsbEmuState::init()
{
    testsupport::resetStorage(StorageSetup::FreshMgm);
    m_worker = std::make_unique<FsWorker>();
    m_worker->start();
}

void tst_UsbEmuState::cleanup() { m_worker.reset(); }

void tst_UsbEmuState::stateFileKeepsTheStorage()
{
    testsupport::resetStorage(StorageSetup::FsAwaitingReceipt);
    usbemu::setSerialNumber("9999078900005555");
    quint8 error = 0;
    QVERIFY(m_worker->beginRegistration(1, error)); // an open report is kept too
    QVERIFY(m_worker->sendDocumentData(testsupport::tlv(1021, "IVANOV"), error));
    const QList<usbemu::Document> before = usbemu::documents();
    const QString path = m_dir.filePath("state.json");
    QVERIFY(usbemu::saveState(path));

    usbemu::reset();
    QCOMPARE(usbemu::serialNumber(), QByteArray(usbemu::DefaultSerialNumber));
    QVERIFY(usbemu::loadState(path));

    QCOMPARE(usbemu::storageKind(), usbemu::StorageKind::FiscalStorage);
    QCOMPARE(usbemu::serialNumber(), QByteArray("9999078900005555"));
    QCOMPARE(int(usbemu::phase()), 0x03);
    QCOMPARE(int(usbemu::openDocumentType()), 0x12);
    QCOMPARE(usbemu::receivedTlvs(), QList<QByteArray>({ testsupport::tlv(1021, "IVANOV") }));
    const QList<usbemu::Document> after = usbemu::documents();
    QCOMPARE(after.size(), 1);
    QCOMPARE(after.first().number, before.first().number);
    QCOMPARE(after.first().fiscalSign, before.first().fiscalSign);
    QCOMPARE(after.first().dateTime, before.first().dateTime);
    QCOMPARE(after.first().body, before.first().body);
    QCOMPARE(after.first().confirmed, false);

    // The worker reads the restored storage.
    QVERIFY(m_worker->refreshStatus());
    QCOMPARE(currentFsState().fsNumber(), QStringLiteral("9999078900005555"));
    QCOMPARE(int(currentFsState().transport().offlineDocsCount()), 1);
    QByteArray message;
    QVERIFY(m_worker->readOfdMessage(message));
    QCOMPARE(message, before.first().body);
}

void tst_UsbEmuState::badStateFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("phase=3");
    QTest::newRow("a JSON array") << QByteArray("[1,2]");
    QTest::newRow("unknown kind") << QByteArray(R"({"kind":"usb","serial":"9999078900001111"})");
    QTest::newRow("no serial number") << QByteArray(R"({"kind":"fs"})");
}

void tst_UsbEmuState::badStateFileIsRefused()
{
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath("bad.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    QVERIFY(!usbemu::loadState(path));
    QVERIFY(!usbemu::loadState(m_dir.filePath("missing.json")));
    QCOMPARE(usbemu::serialNumber(), QByteArray(usbemu::DefaultSerialNumber));
    QCOMPARE(usbemu::storageKind(), usbemu::StorageKind::Mgm);
}

void tst_UsbEmuState::documentLimitedTo16BitLength()
{
    quint8 error = 0;
    QVERIFY(m_worker->beginRegistration(0, error));
    // 123 fixed bytes + 4 + 65000 still fit the 16-bit message length ...
    QVERIFY(m_worker->sendDocumentData(testsupport::tlv(1227, QByteArray(65000, 'x')), error));
    // ... 412 more bytes would not.
    QVERIFY(!m_worker->sendDocumentData(testsupport::tlv(1228, QByteArray(408, 'y')), error));
    QCOMPARE(int(error), int(usbemu::AnswerTooMuchData));
    QVERIFY(m_worker->sendDocumentData(testsupport::tlv(1228, QByteArray(404, 'y')), error));
    FiscalStorageAnswer answer;
    QVERIFY(m_worker->finishRegistration(
        testsupport::setupRegistrationTime(), "7700001235", "1", 0x01, 0x00, answer));
    QCOMPARE(usbemu::documents().first().body.size(), 0xFFFF);

    QByteArray message;
    QVERIFY(m_worker->readOfdMessage(message));
    QCOMPARE(message.size(), 0xFFFF);
}

void tst_UsbEmuState::blockOutsideTheDocumentIsRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("size");

    // The setup's document is 123 + 17 = 140 bytes long.
    QTest::newRow("the whole document") << QByteArray::fromHex("00008c00") << 0x00 << 140;
    QTest::newRow("the last byte") << QByteArray::fromHex("8b000100") << 0x00 << 1;
    QTest::newRow("one byte too many") << QByteArray::fromHex("8b000200") << 0x09 << 0;
    QTest::newRow("no bytes asked") << QByteArray::fromHex("00000000") << 0x09 << 0;
}

void tst_UsbEmuState::blockOutsideTheDocumentIsRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(int, code);
    QFETCH(int, size);

    testsupport::resetStorage(StorageSetup::MgmAwaitingReceipt);
    QCOMPARE(usbemu::documents().first().body.size(), 140);
    FiscalStorageAnswer answer;
    QVERIFY(m_worker->exec(FiscalStorageCmd(0x22, 0), answer, FsWorker::ShortTimeout));
    QCOMPARE(answer.data(), QByteArray::fromHex("8c00"));
    QVERIFY(m_worker->exec(FiscalStorageCmd(0x23, request, 0), answer, FsWorker::MessageTimeout));
    QCOMPARE(int(answer.fsError()), code);
    QCOMPARE(answer.data().size(), size);
}

void tst_UsbEmuState::directRegistrationNeedsReadiness()
{
    testsupport::resetStorage(StorageSetup::RegisteredFs);
    usbemu::Registration registration;
    registration.dateTime = testsupport::setupRegistrationTime();
    QVERIFY(!usbemu::registerStorage(registration, true));
    QCOMPARE(usbemu::documents().size(), 1);

    usbemu::reset();
    usbemu::Document created;
    QVERIFY(usbemu::registerStorage(registration, false, &created));
    QCOMPARE(created.number, quint32(1));
    QCOMPARE(usbemu::documents().first().fiscalSign, created.fiscalSign);
    QCOMPARE(int(usbemu::lifeTime().completed), 1);
}

void tst_UsbEmuState::latencyForOneCommandOnly()
{
    usbemu::setLatency(0x33, usbemu::NeverReady);
    usbemu::resetCounters();
    FiscalStorageAnswer answer;
    QVERIFY(m_worker->exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    QVERIFY(!m_worker->exec(FiscalStorageCmd(0x33, 23), answer, { 100, 100 }));
    // The storage stays silent after that command, as a hung storage does.
    QVERIFY(!m_worker->exec(FiscalStorageCmd(0x30, 36), answer, FsWorker::ShortTimeout));
    QCOMPARE(usbemu::i2cWrites(), 2);
}

QTEST_GUILESS_MAIN(tst_UsbEmuState)
#include "tst_usbemustate.moc"
