// The storage worker's command methods, against the emulated storage.

#include "fs/fsworker.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using testsupport::StorageSetup;

namespace {

QList<usbemu::Command> commandsWithCode(quint8 code)
{
    QList<usbemu::Command> out;
    const QList<usbemu::Command> all = usbemu::receivedCommands();
    for (const usbemu::Command &command : all) {
        if (command.code == code)
            out.append(command);
    }
    return out;
}

QList<int> commandCodes()
{
    QList<int> out;
    const QList<usbemu::Command> all = usbemu::receivedCommands();
    for (const usbemu::Command &command : all)
        out.append(command.code);
    return out;
}

const QDateTime RegistrationTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC);

} // namespace

class tst_FsCommands : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void refreshStatus_data();
    void refreshStatus();
    void refreshStatusFailure_data();
    void refreshStatusFailure();
    void readStatusHandsOverTheRecord();
    void singleStatusReads();
    void readTransportState();

    void beginRegistration_data();
    void beginRegistration();
    void sendDocumentData_data();
    void sendDocumentData();
    void finishRegistration();
    void finishRegistrationWithExtraByte();
    void finishRegistrationLocalRefusals_data();
    void finishRegistrationLocalRefusals();
    void finishRegistrationWithoutOpenReport();
    void cancelDocument();
    void setTransportConnected();

    void readOfdMessageInBlocks();
    void readOfdMessageFailures_data();
    void readOfdMessageFailures();
    void eraseMgm_data();
    void eraseMgm();

    void furtherCommandsDecodeCannedAnswers();
    void furtherCommandsSendTheirRequests();
    void furtherCommandsRefused();
    void commandRefused_data();
    void commandRefused();

private:
    FsWorker *startWorker(StorageSetup setup);
    std::unique_ptr<FsWorker> m_worker;
};

FsWorker *tst_FsCommands::startWorker(StorageSetup setup)
{
    testsupport::resetStorage(setup);
    m_worker = std::make_unique<FsWorker>();
    m_worker->start();
    usbemu::resetCounters();
    return m_worker.get();
}

void tst_FsCommands::cleanup() { m_worker.reset(); }

// ---- Status -------------------------------------------------------------------

void tst_FsCommands::refreshStatus_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("fiscalStorage");
    QTest::addColumn<int>("completed");
    QTest::addColumn<int>("offline");
    QTest::addColumn<int>("lastDoc");

    QTest::newRow("fresh MGM") << StorageSetup::FreshMgm << 0x01 << false << 0 << 0 << 0;
    QTest::newRow("fresh fiscal storage") << StorageSetup::FreshFs << 0x01 << true << 0 << 0 << 0;
    QTest::newRow("registered fiscal storage")
        << StorageSetup::RegisteredFs << 0x03 << true << 1 << 0 << 1;
    QTest::newRow("MGM awaiting receipt")
        << StorageSetup::MgmAwaitingReceipt << 0x03 << false << 1 << 1 << 1;
}

void tst_FsCommands::refreshStatus()
{
    QFETCH(StorageSetup, setup);
    QFETCH(int, phase);
    QFETCH(bool, fiscalStorage);
    QFETCH(int, completed);
    QFETCH(int, offline);
    QFETCH(int, lastDoc);

    FsWorker *worker = startWorker(setup);
    setCurrentFsState(FsState());
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);
    QVERIFY(changed.isValid());

    QVERIFY(worker->refreshStatus());
    QCOMPARE(changed.count(), 1);
    const FsState state = currentFsState();
    QVERIFY(state.isValid());
    QCOMPARE(int(state.phase()), phase);
    QCOMPARE(state.isFiscalStorage(), fiscalStorage);
    QCOMPARE(state.fsNumber(), QString::fromLatin1(usbemu::DefaultSerialNumber));
    QCOMPARE(int(state.lastDocNumber()), lastDoc);
    QCOMPARE(int(state.lifeTime().completedRegistrations()), completed);
    QCOMPARE(state.lifeTime().expirationDt(), usbemu::lifeTime().expiration);
    QCOMPARE(int(state.transport().offlineDocsCount()), offline);
    QCOMPARE(int(state.transport().firstDocNumber()), offline ? 1 : 0);
    QCOMPARE(commandCodes(), QList<int>({ 0x30, 0x33, 0x32, 0x20 }));
    const QList<usbemu::Command> all = usbemu::receivedCommands();
    for (const usbemu::Command &command : all)
        QVERIFY(command.data.isEmpty());
}

void tst_FsCommands::refreshStatusFailure_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("commandsSent");

    QTest::newRow("status refused") << 0x30 << 0x02 << QByteArray() << 1;
    QTest::newRow("version of 16 bytes") << 0x33 << 0x00 << QByteArray(16, 'v') << 2;
    // Month 0 with one registration made: no acceptable validity.
    QTest::newRow("lifetime undecodable") << 0x32 << 0x00 << QByteArray::fromHex("1f00010b01") << 3;
    QTest::newRow("transport refused") << 0x20 << 0x02 << QByteArray() << 4;
    // State byte 0x80 is out of range.
    QTest::newRow("transport state 0x80")
        << 0x20 << 0x00 << QByteArray::fromHex("80000000000000000000000000") << 4;
}

void tst_FsCommands::refreshStatusFailure()
{
    QFETCH(int, command);
    QFETCH(int, code);
    QFETCH(QByteArray, data);
    QFETCH(int, commandsSent);

    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    QVERIFY(currentFsState().isValid());
    usbemu::setCannedAnswer(command, quint8(code), data);
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);

    QVERIFY(!worker->refreshStatus());
    QCOMPARE(changed.count(), 0);
    QVERIFY(currentFsState() == FsState());
    QCOMPARE(usbemu::receivedCommands().size(), commandsSent);
}

void tst_FsCommands::readStatusHandsOverTheRecord()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    const FsState before = currentFsState();
    usbemu::setPhase(usbemu::PhaseFiscalMode);
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);

    FsState state;
    QVERIFY(worker->readStatus(state));
    QCOMPARE(int(state.phase()), 0x03);
    // The rest of the record is the latest state's.
    QCOMPARE(state.fsVersion(), before.fsVersion());
    QCOMPARE(state.lifeTime(), before.lifeTime());
    QCOMPARE(currentFsState(), state);
    QCOMPARE(changed.count(), 1);

    // Unchanged storage: stored again, no signal.
    FiscalStorageAnswer answer;
    QVERIFY(worker->readStatus(answer));
    QCOMPARE(answer.data().size(), 30);
    QCOMPARE(changed.count(), 1);

    // A refusal is 6 bytes, read as 36: the frame does not match its length.
    usbemu::setCannedAnswer(0x30, 0x03);
    QVERIFY(!worker->readStatus(state));
    QVERIFY(!worker->readStatus(answer));
    QCOMPARE(int(answer.frameResult()), 3);
    QCOMPARE(int(answer.fsError()), 0x7F);
    QCOMPARE(currentFsState().phase(), quint8(0x03));
}

void tst_FsCommands::singleStatusReads()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    usbemu::setVersion("EMU 2.0");
    usbemu::setStorageKind(usbemu::StorageKind::FiscalStorage);
    usbemu::setSerialNumber("9999078900001111");
    usbemu::setLifeTime({ QDate(2030, 1, 31), 5, 7 });
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);

    FiscalStorageAnswer answer;
    QVERIFY(worker->readFsVersion(answer));
    QCOMPARE(currentFsState().fsVersion(), QStringLiteral("EMU 2.0"));
    QVERIFY(currentFsState().isFiscalStorage());
    QVERIFY(worker->readFsNumber(answer));
    QCOMPARE(currentFsState().fsNumber(), QStringLiteral("9999078900001111"));
    QCOMPARE(changed.count(), 0);

    QVERIFY(worker->readLifeTime(answer));
    QCOMPARE(currentFsState().lifeTime(), FsLifeTime(QDate(2030, 1, 31), 5, 7));
    QCOMPARE(changed.count(), 1);

    QCOMPARE(commandCodes(), QList<int>({ 0x33, 0x31, 0x32 }));
}

void tst_FsCommands::readTransportState()
{
    FsWorker *worker = startWorker(StorageSetup::FsAwaitingReceipt);
    QVERIFY(worker->setTransportConnected(1));
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);

    FiscalStorageAnswer answer;
    QVERIFY(worker->readTransportState(answer));
    QCOMPARE(answer.data().size(), 13);
    const FsTransportState transport = currentFsState().transport();
    QCOMPARE(transport.state(), 0x03); // connected, a document waiting
    QCOMPARE(int(transport.offlineDocsCount()), 1);
    QCOMPARE(int(transport.firstDocNumber()), 1);
    // 2024-03-05 14:07 as the storage sends it: five bytes, no time zone.
    QCOMPARE(transport.firstDocDt(), QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    QCOMPARE(changed.count(), 1);

    usbemu::setCannedAnswer(0x20, 0x00, QByteArray(12, '\0'));
    QVERIFY(worker->readTransportState(answer)); // the code was 0; the data is not decodable
    QCOMPARE(currentFsState().transport(), transport);
    QCOMPARE(changed.count(), 1);
}

// ---- Registration -----------------------------------------------------------------

void tst_FsCommands::beginRegistration_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<bool>("documentOpen");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("openType");

    QTest::newRow("registration of a fresh MGM")
        << StorageSetup::FreshMgm << false << 0 << true << 0x00 << 0x01;
    QTest::newRow("registration of a fresh FS")
        << StorageSetup::FreshFs << false << 0 << true << 0x00 << 0x01;
    QTest::newRow("registration of a registered FS")
        << StorageSetup::RegisteredFs << false << 0 << false << 0x02 << 0x00;
    QTest::newRow("re-registration of a fresh MGM")
        << StorageSetup::FreshMgm << false << 2 << false << 0x02 << 0x00;
    QTest::newRow("re-registration of a registered FS")
        << StorageSetup::RegisteredFs << false << 2 << true << 0x00 << 0x13;
    QTest::newRow("a document already open")
        << StorageSetup::FreshMgm << true << 0 << false << 0x02 << 0x01;
    QTest::newRow("kind 3 is not sent")
        << StorageSetup::FreshMgm << false << 3 << false << 0x7F << 0x00;
}

void tst_FsCommands::beginRegistration()
{
    QFETCH(StorageSetup, setup);
    QFETCH(bool, documentOpen);
    QFETCH(int, kind);
    QFETCH(bool, result);
    QFETCH(int, error);
    QFETCH(int, openType);

    FsWorker *worker = startWorker(setup);
    quint8 code = 0x55;
    if (documentOpen)
        QVERIFY(worker->beginRegistration(0, code));
    usbemu::resetCounters();

    QCOMPARE(worker->beginRegistration(quint8(kind), code), result);
    QCOMPARE(int(code), error);
    QCOMPARE(int(usbemu::openDocumentType()), openType);
    const QList<usbemu::Command> sent = usbemu::receivedCommands();
    QCOMPARE(sent.size(), kind > 2 ? 0 : 1);
    if (!sent.isEmpty())
        QCOMPARE(sent.first().data, QByteArray(1, char(kind)));
}

void tst_FsCommands::sendDocumentData_data()
{
    QTest::addColumn<bool>("openReport");
    QTest::addColumn<QByteArray>("tlv");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("sent");

    const QByteArray cashier = testsupport::tlv(1021, "IVANOV");
    QTest::newRow("TLV into the open report") << true << cashier << true << 0x00 << 1;
    QTest::newRow("no open report") << false << cashier << false << 0x02 << 1;
    QTest::newRow("TLV cut short") << true << cashier.left(6) << false << 0x09 << 1;
    QTest::newRow("empty data is not sent") << true << QByteArray() << false << 0x7F << 0;
}

void tst_FsCommands::sendDocumentData()
{
    QFETCH(bool, openReport);
    QFETCH(QByteArray, tlv);
    QFETCH(bool, result);
    QFETCH(int, error);
    QFETCH(int, sent);

    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    quint8 code = 0x55;
    if (openReport)
        QVERIFY(worker->beginRegistration(0, code));
    usbemu::resetCounters();

    QCOMPARE(worker->sendDocumentData(tlv, code), result);
    QCOMPARE(int(code), error);
    QCOMPARE(usbemu::receivedCommands().size(), sent);
    QCOMPARE(usbemu::receivedTlvs(), result ? QList<QByteArray>({ tlv }) : QList<QByteArray>());
}

void tst_FsCommands::finishRegistration()
{
    FsWorker *worker = startWorker(StorageSetup::FreshFs);
    quint8 code = 0;
    QVERIFY(worker->beginRegistration(0, code));
    QVERIFY(worker->sendDocumentData(testsupport::tlv(1021, "IVANOV"), code));
    usbemu::resetCounters();
    QSignalSpy changed(worker, &FsWorker::fsStatusChanged);

    FiscalStorageAnswer answer;
    QVERIFY(worker->finishRegistration(
        RegistrationTime, "7700001235", "0000000001012345", 0x05, 0x21, answer));
    QCOMPARE(int(answer.fsError()), 0x00);
    const QList<usbemu::Document> documents = usbemu::documents();
    QCOMPARE(documents.size(), 1);
    QByteArray expected;
    QDataStream out(&expected, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(1) << documents.first().fiscalSign;
    QCOMPARE(answer.data(), expected);

    // 18 03 05 0e 07 | INN + 2 spaces | number + 4 spaces | taxes | work mode
    const QList<usbemu::Command> close = commandsWithCode(0x03);
    QCOMPARE(close.size(), 1);
    QCOMPARE(close.first().data,
        QByteArray::fromHex("1803050e07") + "7700001235  " + "0000000001012345    "
            + QByteArray::fromHex("0521"));

    // The status is refreshed afterwards.
    QCOMPARE(commandCodes(), QList<int>({ 0x03, 0x30, 0x33, 0x32, 0x20 }));
    QCOMPARE(int(currentFsState().phase()), 0x03);
    QCOMPARE(int(currentFsState().lastDocNumber()), 1);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(int(usbemu::phase()), 0x03);
}

void tst_FsCommands::finishRegistrationWithExtraByte()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    quint8 code = 0;
    QVERIFY(worker->beginRegistration(0, code));
    FiscalStorageAnswer answer;
    QVERIFY(worker->finishRegistration(
        RegistrationTime, "770000123456", "1", 0x01, 0x00, 0x08, answer));
    const QList<usbemu::Command> close = commandsWithCode(0x03);
    QCOMPARE(close.size(), 1);
    QCOMPARE(close.first().data.size(), 40);
    QCOMPARE(close.first().data.right(3), QByteArray::fromHex("010008"));
}

void tst_FsCommands::finishRegistrationLocalRefusals_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("inn");
    QTest::addColumn<QString>("regNumber");
    QTest::addColumn<int>("error");

    const QString inn = "7700001235";
    const QString reg = "0000000001012345";
    QTest::newRow("invalid date-time") << QDateTime() << inn << reg << 0x07;
    QTest::newRow("date-time in the year 2000")
        << QDateTime(QDate(2000, 6, 1), QTime(10, 0)) << inn << reg << 0x07;
    QTest::newRow("INN of 13 characters") << RegistrationTime << "7700001235123" << reg << 0x01;
    QTest::newRow("registration number of 21 characters")
        << RegistrationTime << inn << "000000000101234567890" << 0x01;
}

void tst_FsCommands::finishRegistrationLocalRefusals()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, inn);
    QFETCH(QString, regNumber);
    QFETCH(int, error);

    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    quint8 code = 0;
    QVERIFY(worker->beginRegistration(0, code));
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    QVERIFY(!worker->finishRegistration(dateTime, inn, regNumber, 0x01, 0x00, answer));
    QCOMPARE(int(answer.fsError()), error);
    QVERIFY(usbemu::receivedCommands().isEmpty());
    QCOMPARE(usbemu::i2cWrites(), 0);
}

void tst_FsCommands::finishRegistrationWithoutOpenReport()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    FiscalStorageAnswer answer;
    QVERIFY(!worker->finishRegistration(RegistrationTime, "7700001235", "1", 0x01, 0x00, answer));
    QCOMPARE(int(answer.fsError()), 0x02);
    QCOMPARE(commandCodes(), QList<int>({ 0x03 })); // no status refresh after a refusal
    QCOMPARE(int(usbemu::phase()), 0x01);
}

void tst_FsCommands::cancelDocument()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    quint8 code = 0x55;
    QVERIFY(worker->beginRegistration(0, code));
    QVERIFY(worker->sendDocumentData(testsupport::tlv(1021, "IVANOV"), code));

    QVERIFY(worker->cancelDocument(code));
    QCOMPARE(int(code), 0x00);
    QCOMPARE(int(usbemu::openDocumentType()), 0x00);
    QVERIFY(usbemu::receivedTlvs().isEmpty());

    usbemu::setCannedAnswer(0x06, 0x03);
    QVERIFY(!worker->cancelDocument(code));
    QCOMPARE(int(code), 0x03);
}

void tst_FsCommands::setTransportConnected()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    QVERIFY(worker->setTransportConnected(1));
    QVERIFY(usbemu::transportConnected());
    QCOMPARE(commandsWithCode(0x21).first().data, QByteArray::fromHex("01"));
    QVERIFY(worker->setTransportConnected(0));
    QVERIFY(!usbemu::transportConnected());

    usbemu::setCannedAnswer(0x21, 0x11);
    QVERIFY(!worker->setTransportConnected(1));
}

// ---- OFD message --------------------------------------------------------------------

void tst_FsCommands::readOfdMessageInBlocks()
{
    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    // The document's fixed part is 123 bytes: the outer TLV header (4), 1040 (8),
    // 1041 (20), 1077 (8), 1012 (8), 1018 (16), 1037 (24), 1062 (5) and six
    // flags (5 each). One TLV of 4 + 2373 bytes makes it 2500.
    quint8 code = 0;
    QVERIFY(worker->beginRegistration(0, code));
    QVERIFY(worker->sendDocumentData(testsupport::tlv(1227, QByteArray(2373, 'A')), code));
    FiscalStorageAnswer answer;
    QVERIFY(worker->finishRegistration(RegistrationTime, "7700001235", "1", 0x01, 0x00, answer));
    usbemu::resetCounters();

    QByteArray message;
    QVERIFY(worker->readOfdMessage(message));
    QCOMPARE(message.size(), 2500);
    QCOMPARE(message, usbemu::documents().first().body);

    QCOMPARE(commandCodes(), QList<int>({ 0x22, 0x23, 0x23, 0x23, 0x25 }));
    const QList<usbemu::Command> blocks = commandsWithCode(0x23);
    QCOMPARE(blocks.at(0).data, QByteArray::fromHex("00000004")); // offset 0, 1024
    QCOMPARE(blocks.at(1).data, QByteArray::fromHex("00040004")); // offset 1024, 1024
    QCOMPARE(blocks.at(2).data, QByteArray::fromHex("0008c401")); // offset 2048, 452
    QVERIFY(!usbemu::messageReading());
}

void tst_FsCommands::readOfdMessageFailures_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<int>("cannedCommand");
    QTest::addColumn<int>("cannedCode");
    QTest::addColumn<QByteArray>("cannedData");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<int>("messageSize");

    const QList<int> afterFirstBlock { 0x22, 0x23, 0x24 };
    QTest::newRow("nothing waiting for the OFD")
        << StorageSetup::RegisteredMgm << 0 << 0 << QByteArray() << QList<int>({ 0x22, 0x24 }) << 0;
    QTest::newRow("message of length 0")
        << StorageSetup::MgmAwaitingReceipt << 0x22 << 0x00 << QByteArray::fromHex("0000")
        << QList<int>({ 0x22, 0x24 }) << 0;
    QTest::newRow("length of 3 bytes")
        << StorageSetup::MgmAwaitingReceipt << 0x22 << 0x00 << QByteArray::fromHex("7b0000")
        << QList<int>({ 0x22, 0x24 }) << 0;
    QTest::newRow("empty block") << StorageSetup::MgmAwaitingReceipt << 0x23 << 0x00 << QByteArray()
                                 << afterFirstBlock << 0;
    QTest::newRow("block refused")
        << StorageSetup::MgmAwaitingReceipt << 0x23 << 0x09 << QByteArray() << afterFirstBlock << 0;
    // The setup's document is 140 bytes: asked for at once, answered with 141.
    QTest::newRow("block longer than asked") << StorageSetup::MgmAwaitingReceipt << 0x23 << 0x00
                                             << QByteArray(141, 'x') << afterFirstBlock << 141;
    QTest::newRow("end of reading refused")
        << StorageSetup::MgmAwaitingReceipt << 0x25 << 0x02 << QByteArray()
        << QList<int>({ 0x22, 0x23, 0x25, 0x24 }) << 140;
}

void tst_FsCommands::readOfdMessageFailures()
{
    QFETCH(StorageSetup, setup);
    QFETCH(int, cannedCommand);
    QFETCH(int, cannedCode);
    QFETCH(QByteArray, cannedData);
    QFETCH(QList<int>, codes);
    QFETCH(int, messageSize);

    FsWorker *worker = startWorker(setup);
    if (cannedCommand)
        usbemu::setCannedAnswer(cannedCommand, quint8(cannedCode), cannedData);

    QByteArray message("stale");
    QVERIFY(!worker->readOfdMessage(message));
    // What the blocks brought stays in the message, also after a failure.
    QCOMPARE(message.size(), messageSize);
    if (messageSize == 140)
        QCOMPARE(message, usbemu::documents().first().body);
    QCOMPARE(commandCodes(), codes);
    QVERIFY(!usbemu::messageReading());
}

// ---- MGM erase ----------------------------------------------------------------------

void tst_FsCommands::eraseMgm_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("documents");

    QTest::newRow("registered MGM") << StorageSetup::RegisteredMgm << true << 0x01 << 0;
    QTest::newRow("MGM awaiting its receipt")
        << StorageSetup::MgmAwaitingReceipt << true << 0x01 << 0;
    QTest::newRow("fresh MGM") << StorageSetup::FreshMgm << true << 0x01 << 0;
    QTest::newRow("registered fiscal storage") << StorageSetup::RegisteredFs << false << 0x03 << 1;
}

void tst_FsCommands::eraseMgm()
{
    QFETCH(StorageSetup, setup);
    QFETCH(bool, result);
    QFETCH(int, phase);
    QFETCH(int, documents);

    FsWorker *worker = startWorker(setup);
    setCurrentFsState(FsState());

    QCOMPARE(worker->eraseMgm(), result);
    QCOMPARE(commandCodes(), QList<int>({ 0x24, 0x06, 0x60, 0x30, 0x33, 0x32, 0x20 }));
    QCOMPARE(commandsWithCode(0x60).first().data, QByteArray::fromHex("16"));
    QCOMPARE(int(usbemu::phase()), phase);
    QCOMPARE(usbemu::documents().size(), documents);
    // Refreshed in every case.
    QVERIFY(currentFsState().isValid());
    QCOMPARE(int(currentFsState().phase()), phase);
    QCOMPARE(int(currentFsState().lastDocNumber()), documents);
}

// ---- Further commands -----------------------------------------------------------------

void tst_FsCommands::furtherCommandsDecodeCannedAnswers()
{
    FsWorker *worker = startWorker(StorageSetup::RegisteredFs);
    quint8 error = 0x55;

    usbemu::setCannedAnswer(0x04, 0x00);
    QVERIFY(worker->beginCloseFiscalMode(error));
    QCOMPARE(int(error), 0);

    quint32 docNumber = 0;
    quint32 fiscalSign = 0;
    usbemu::setCannedAnswer(0x05, 0x00, QByteArray::fromHex("0700000078563412"));
    QVERIFY(worker->closeFiscalMode(
        RegistrationTime, "0000000001012345", error, docNumber, fiscalSign));
    QCOMPARE(docNumber, quint32(7));
    QCOMPARE(fiscalSign, quint32(0x12345678));

    bool shiftOpen = false;
    quint16 shift = 0;
    quint16 receipt = 0;
    usbemu::setCannedAnswer(0x10, 0x00, QByteArray::fromHex("0102000a01"));
    QVERIFY(worker->readShiftParams(error, shiftOpen, shift, receipt));
    QVERIFY(shiftOpen);
    QCOMPARE(shift, quint16(2));
    QCOMPARE(receipt, quint16(0x010A));

    usbemu::setCannedAnswer(0x18, 0x00);
    QVERIFY(worker->beginCalcReport(RegistrationTime, error));

    quint32 unconfirmed = 0;
    QDate firstDate;
    usbemu::setCannedAnswer(0x19, 0x00, QByteArray::fromHex("09000000efbeadde03000000180305"));
    QVERIFY(worker->makeCalcReport(error, docNumber, fiscalSign, unconfirmed, firstDate));
    QCOMPARE(docNumber, quint32(9));
    QCOMPARE(fiscalSign, quint32(0xDEADBEEF));
    QCOMPARE(unconfirmed, quint32(3));
    QCOMPARE(firstDate, QDate(2024, 3, 5));

    qint8 docType = 0;
    bool confirmed = false;
    usbemu::setCannedAnswer(0x40, 0x00, QByteArray::fromHex("0101"));
    QVERIFY(worker->findDocument(1, docType, confirmed));
    QCOMPARE(docType, qint8(1));
    QVERIFY(confirmed);

    FiscalStorageAnswer answer;
    QDateTime ticketTime;
    QByteArray ofdSign;
    const QByteArray sign = QByteArray::fromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1");
    usbemu::setCannedAnswer(0x41, 0x00, QByteArray::fromHex("1803050e08") + sign);
    QVERIFY(worker->readOfdTicket(1, answer, ticketTime, ofdSign));
    QCOMPARE(ticketTime, QDateTime(QDate(2024, 3, 5), QTime(14, 8)));
    QCOMPARE(ofdSign, sign);

    quint16 count = 0;
    usbemu::setCannedAnswer(0x42, 0x00, QByteArray::fromHex("0400"));
    QVERIFY(worker->readUnconfirmedCount(answer, count));
    QCOMPARE(count, quint16(4));

    usbemu::setCannedAnswer(0x43, 0x00, QByteArray::fromHex("aabb"));
    QVERIFY(worker->readRegistrationTotals(answer));
    QCOMPARE(answer.data(), QByteArray::fromHex("aabb"));
    usbemu::setCannedAnswer(0x44, 0x00, QByteArray::fromHex("cc"));
    QVERIFY(worker->readRegistrationParam(1018, answer));
    QCOMPARE(answer.data(), QByteArray::fromHex("cc"));
}

void tst_FsCommands::furtherCommandsSendTheirRequests()
{
    FsWorker *worker = startWorker(StorageSetup::RegisteredFs);
    for (int code : { 0x05, 0x18, 0x40, 0x41, 0x43, 0x44 })
        usbemu::setCannedAnswer(code, 0x00, QByteArray(23, '\0'));
    quint8 error = 0;
    quint32 a = 0;
    quint32 b = 0;
    qint8 type = 0;
    bool flag = false;
    QDateTime dt;
    QByteArray bytes;
    FiscalStorageAnswer answer;

    QVERIFY(worker->closeFiscalMode(RegistrationTime, "123", error, a, b));
    QVERIFY(worker->beginCalcReport(RegistrationTime, error));
    QVERIFY(worker->findDocument(0x01020304, type, flag));
    QVERIFY(worker->readOfdTicket(5, answer, dt, bytes));
    QVERIFY(worker->readRegistrationTotals(answer, 2));
    QVERIFY(worker->readRegistrationParam(0x0411, answer, 1));
    QVERIFY(worker->readRegistrationParam(0x0411, answer));

    const QList<usbemu::Command> sent = usbemu::receivedCommands();
    QCOMPARE(sent.size(), 7);
    QCOMPARE(sent.at(0).data,
        QByteArray::fromHex("1803050e07") + QByteArray("123").leftJustified(20, ' '));
    QCOMPARE(sent.at(1).data, QByteArray::fromHex("1803050e07"));
    QCOMPARE(sent.at(2).data, QByteArray::fromHex("04030201"));
    QCOMPARE(sent.at(3).data, QByteArray::fromHex("05000000"));
    QCOMPARE(sent.at(4).data, QByteArray::fromHex("02"));
    QCOMPARE(sent.at(5).data, QByteArray::fromHex("011104"));
    QCOMPARE(sent.at(6).data, QByteArray::fromHex("1104"));
}

void tst_FsCommands::furtherCommandsRefused()
{
    FsWorker *worker = startWorker(StorageSetup::RegisteredFs);
    quint8 error = 0;
    quint32 a = 0;
    quint32 b = 0;
    // Without a canned answer the storage does not know these commands.
    QVERIFY(!worker->beginCloseFiscalMode(error));
    QCOMPARE(int(error), 0x01);
    QVERIFY(!worker->closeFiscalMode(RegistrationTime, "1", error, a, b));
    QCOMPARE(int(error), 0x01);

    // A date-time the storage cannot carry never leaves the worker.
    usbemu::resetCounters();
    QVERIFY(!worker->beginCalcReport(QDateTime(), error));
    QCOMPARE(int(error), 0x7F);
    QVERIFY(!worker->closeFiscalMode(RegistrationTime, QString(21, '1'), error, a, b));
    QVERIFY(usbemu::receivedCommands().isEmpty());

    // An answer too short for its values is not a success.
    usbemu::setCannedAnswer(0x42, 0x00, QByteArray::fromHex("04"));
    FiscalStorageAnswer answer;
    quint16 count = 0x55;
    QVERIFY(!worker->readUnconfirmedCount(answer, count));
    QCOMPARE(count, quint16(0x55));
}

void tst_FsCommands::commandRefused_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("reported"); // the code the method hands back, -1 for none

    // The status reads take their whole answer at once: a 6-byte refusal does
    // not match that size and is reported as 0x7F.
    QTest::newRow("0x31 storage number") << 0x31 << 0x7F;
    QTest::newRow("0x32 lifetime") << 0x32 << 0x7F;
    QTest::newRow("0x33 version") << 0x33 << 0x7F;
    QTest::newRow("0x20 transport state") << 0x20 << 0x03;
    QTest::newRow("0x02 open report") << 0x02 << 0x03;
    QTest::newRow("0x07 document data") << 0x07 << 0x03;
    QTest::newRow("0x03 close report") << 0x03 << 0x03;
    QTest::newRow("0x06 cancel document") << 0x06 << 0x03;
    QTest::newRow("0x21 transport connected") << 0x21 << -1;
    QTest::newRow("0x24 cancel message reading") << 0x24 << -1;
    QTest::newRow("0x26 receipt") << 0x26 << 0x03;
    QTest::newRow("0x04 begin closing fiscal mode") << 0x04 << 0x03;
    QTest::newRow("0x05 close fiscal mode") << 0x05 << 0x03;
    QTest::newRow("0x10 shift parameters") << 0x10 << 0x03;
    QTest::newRow("0x18 begin calculation report") << 0x18 << 0x03;
    QTest::newRow("0x19 calculation report") << 0x19 << 0x03;
    QTest::newRow("0x40 find document") << 0x40 << -1;
    QTest::newRow("0x41 OFD receipt of a document") << 0x41 << 0x03;
    QTest::newRow("0x42 unconfirmed count") << 0x42 << 0x03;
    QTest::newRow("0x43 registration totals") << 0x43 << 0x03;
    QTest::newRow("0x44 registration parameter") << 0x44 << 0x03;
}

void tst_FsCommands::commandRefused()
{
    QFETCH(int, command);
    QFETCH(int, reported);

    FsWorker *worker = startWorker(StorageSetup::FreshMgm);
    quint8 error = 0;
    if (command == 0x07 || command == 0x03)
        QVERIFY(worker->beginRegistration(0, error));
    usbemu::setCannedAnswer(command, 0x03); // the storage's own failure
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    quint32 a = 0;
    quint32 b = 0;
    quint32 c = 0;
    quint16 s1 = 0;
    quint16 s2 = 0;
    bool flag = false;
    qint8 type = 0;
    QDate date;
    QDateTime dt;
    QByteArray bytes;
    bool result = true;
    bool errorOut = true;
    switch (command) {
    case 0x31:
        result = worker->readFsNumber(answer);
        errorOut = false;
        break;
    case 0x32:
        result = worker->readLifeTime(answer);
        errorOut = false;
        break;
    case 0x33:
        result = worker->readFsVersion(answer);
        errorOut = false;
        break;
    case 0x20:
        result = worker->readTransportState(answer);
        errorOut = false;
        break;
    case 0x02:
        result = worker->beginRegistration(0, error);
        break;
    case 0x07:
        result = worker->sendDocumentData(testsupport::tlv(1021, "X"), error);
        break;
    case 0x03:
        result = worker->finishRegistration(RegistrationTime, "1", "1", 1, 0, answer);
        errorOut = false;
        break;
    case 0x06:
        result = worker->cancelDocument(error);
        break;
    case 0x21:
        result = worker->setTransportConnected(1);
        break;
    case 0x24:
        result = worker->cancelOfdMessage();
        break;
    case 0x26:
        result = worker->sendOfdTicket(
            testsupport::ofdReceipt(usbemu::DefaultSerialNumber, 1), answer);
        errorOut = false;
        break;
    case 0x04:
        result = worker->beginCloseFiscalMode(error);
        break;
    case 0x05:
        result = worker->closeFiscalMode(RegistrationTime, "1", error, a, b);
        break;
    case 0x10:
        result = worker->readShiftParams(error, flag, s1, s2);
        break;
    case 0x18:
        result = worker->beginCalcReport(RegistrationTime, error);
        break;
    case 0x19:
        result = worker->makeCalcReport(error, a, b, c, date);
        break;
    case 0x40:
        result = worker->findDocument(1, type, flag);
        break;
    case 0x41:
        result = worker->readOfdTicket(1, answer, dt, bytes);
        errorOut = false;
        break;
    case 0x42:
        result = worker->readUnconfirmedCount(answer, s1);
        errorOut = false;
        break;
    case 0x43:
        result = worker->readRegistrationTotals(answer);
        errorOut = false;
        break;
    case 0x44:
        result = worker->readRegistrationParam(1018, answer);
        errorOut = false;
        break;
    default:
        QFAIL("no method for this command");
    }

    QVERIFY(!result);
    QCOMPARE(usbemu::receivedCommands().size(), 1);
    QCOMPARE(int(usbemu::receivedCommands().first().code), command);
    if (reported >= 0)
        QCOMPARE(int(errorOut ? error : answer.fsError()), reported);
}

QTEST_GUILESS_MAIN(tst_FsCommands)
#include "tst_fscommands.moc"
