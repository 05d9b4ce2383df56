// A whole registration at storage level through the worker: open the report,
// pass the TLVs, close it, read the document for the OFD, write the OFD's
// receipt back. The document and the receipt are checked against their
// documented layouts with this test's own TLV reader.

#include "fs/fsworker.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QtTest>

#include <memory>

using testsupport::StorageSetup;

namespace {

struct Tlv
{
    quint16 tag;
    QByteArray value;
};

quint32 le32(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    quint32 value = 0;
    in >> value;
    return value;
}

// Splits a TLV sequence; an empty list for bytes that do not split cleanly.
QList<Tlv> readTlvs(const QByteArray &bytes)
{
    QList<Tlv> out;
    int at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4)
            return {};
        const quint16 tag = quint16(quint8(bytes.at(at)) | (quint8(bytes.at(at + 1)) << 8));
        const int length = quint8(bytes.at(at + 2)) | (quint8(bytes.at(at + 3)) << 8);
        if (bytes.size() - at - 4 < length)
            return {};
        out.append(Tlv { tag, bytes.mid(at + 4, length) });
        at += 4 + length;
    }
    return out;
}

const QDateTime ClosingTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC);

} // namespace

class tst_FsRegistration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeRegistration();
    void receiptForAnotherDocumentIsRefused();
    void receiptRules_data();
    void receiptRules();
    void receiptTakenBefore();
    void receiptWithNothingUnconfirmed();

private:
    // Registers the storage through the worker; returns the document number
    // and fiscal sign the storage answered with.
    void registerThroughWorker(quint32 *docNumber, quint32 *fiscalSign);

    std::unique_ptr<FsWorker> m_worker;
    const QList<QByteArray> m_tlvs { testsupport::tlv(1021, "IVANOV I.I."),
        testsupport::tlv(1048, "OOO TEST USER"), testsupport::tlvUInt32(1117, 0) };
};

void tst_FsRegistration::init()
{
    testsupport::resetStorage(StorageSetup::FreshFs);
    m_worker = std::make_unique<FsWorker>();
    m_worker->start();
}

void tst_FsRegistration::cleanup() { m_worker.reset(); }

void tst_FsRegistration::registerThroughWorker(quint32 *docNumber, quint32 *fiscalSign)
{
    quint8 error = 0xFF;
    QVERIFY(m_worker->beginRegistration(0, error));
    for (const QByteArray &tlv : m_tlvs)
        QVERIFY(m_worker->sendDocumentData(tlv, error));
    FiscalStorageAnswer answer;
    // Work modes 0x25: encryption, automatic mode, internet.
    QVERIFY(m_worker->finishRegistration(
        ClosingTime, "7700001235", "0000000001012345", 0x03, 0x25, answer));
    QCOMPARE(answer.data().size(), 8);
    *docNumber = le32(answer.data().left(4));
    *fiscalSign = le32(answer.data().mid(4));
}

void tst_FsRegistration::wholeRegistration()
{
    quint32 docNumber = 0;
    quint32 fiscalSign = 0;
    registerThroughWorker(&docNumber, &fiscalSign);
    QCOMPARE(docNumber, quint32(1));
    QCOMPARE(int(currentFsState().phase()), 0x03);
    QCOMPARE(int(currentFsState().transport().offlineDocsCount()), 1);

    QVERIFY(m_worker->setTransportConnected(1));
    QByteArray message;
    QVERIFY(m_worker->readOfdMessage(message));

    // One TLV with tag 1 holding the report's fields in their order.
    const QList<Tlv> outer = readTlvs(message);
    QCOMPARE(outer.size(), 1);
    QCOMPARE(int(outer.first().tag), 1);
    const QList<Tlv> fields = readTlvs(outer.first().value);
    const QList<int> expectedTags { 1040, 1041, 1077, 1012, 1018, 1037, 1062, 1056, 1002, 1001,
        1109, 1110, 1108, 1021, 1048, 1117 };
    QList<int> tags;
    for (const Tlv &field : fields)
        tags.append(field.tag);
    QCOMPARE(tags, expectedTags);
    QCOMPARE(le32(fields.at(0).value), docNumber);
    QCOMPARE(fields.at(1).value, QByteArray(usbemu::DefaultSerialNumber));
    QCOMPARE(le32(fields.at(2).value), fiscalSign);
    QCOMPARE(qint64(le32(fields.at(3).value)), ClosingTime.toSecsSinceEpoch());
    QCOMPARE(fields.at(4).value, QByteArray("7700001235  "));
    QCOMPARE(fields.at(5).value, QByteArray("0000000001012345    "));
    QCOMPARE(fields.at(6).value, QByteArray::fromHex("03"));
    QByteArray flags;
    for (int i = 7; i < 13; ++i)
        flags += fields.at(i).value;
    QCOMPARE(flags, QByteArray::fromHex("010001000001"));
    for (int i = 0; i < m_tlvs.size(); ++i) {
        const Tlv &field = fields.at(13 + i);
        QCOMPARE(testsupport::tlv(field.tag, field.value), m_tlvs.at(i));
    }

    // The OFD's receipt, built from the documented layout.
    const QByteArray receipt = testsupport::ofdReceipt(fields.at(1).value, docNumber);
    FiscalStorageAnswer answer;
    QVERIFY(m_worker->sendOfdTicket(receipt, answer));
    QCOMPARE(int(answer.fsError()), 0x00);

    QVERIFY(m_worker->readTransportState(answer));
    QCOMPARE(int(currentFsState().transport().offlineDocsCount()), 0);
    QVERIFY(m_worker->refreshStatus());
    QCOMPARE(int(currentFsState().phase()), 0x03);
    QCOMPARE(int(usbemu::phase()), 0x03);
    QCOMPARE(usbemu::unconfirmedCount(), 0);
    QVERIFY(usbemu::documents().first().confirmed);
}

void tst_FsRegistration::receiptForAnotherDocumentIsRefused()
{
    quint32 docNumber = 0;
    quint32 fiscalSign = 0;
    registerThroughWorker(&docNumber, &fiscalSign);
    QByteArray message;
    QVERIFY(m_worker->readOfdMessage(message));

    FiscalStorageAnswer answer;
    QVERIFY(!m_worker->sendOfdTicket(
        testsupport::ofdReceipt(usbemu::DefaultSerialNumber, docNumber + 1), answer));
    QCOMPARE(int(answer.fsError()), 0x09);
    QVERIFY(m_worker->readTransportState(answer));
    QCOMPARE(int(currentFsState().transport().offlineDocsCount()), 1);
    QCOMPARE(int(currentFsState().transport().firstDocNumber()), int(docNumber));
    QCOMPARE(usbemu::unconfirmedCount(), 1);
}

void tst_FsRegistration::receiptRules_data()
{
    QTest::addColumn<QByteArray>("receipt");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("unconfirmed");

    const QByteArray serial(usbemu::DefaultSerialNumber);
    const QByteArray good = testsupport::ofdReceipt(serial, 1);
    QTest::newRow("receipt for the oldest document") << good << true << 0x00 << 0;
    QTest::newRow("without the optional tags")
        << testsupport::ofdReceipt(serial, 1, false) << true << 0x00 << 0;
    QTest::newRow("number before storage number")
        << testsupport::tlvUInt32(1040, 1) + testsupport::tlv(1041, serial) << true << 0x00 << 0;
    QTest::newRow("another document number")
        << testsupport::ofdReceipt(serial, 2) << false << 0x09 << 1;
    QTest::newRow("another storage number")
        << testsupport::ofdReceipt("9999078900009999", 1) << false << 0x09 << 1;
    QTest::newRow("document number missing")
        << testsupport::tlv(1041, serial) << false << 0x09 << 1;
    QTest::newRow("storage number missing")
        << testsupport::tlvUInt32(1040, 1) << false << 0x09 << 1;
    QTest::newRow("document number of 2 bytes")
        << testsupport::tlv(1041, serial) + testsupport::tlv(1040, QByteArray::fromHex("0100"))
        << false << 0x09 << 1;
    QTest::newRow("last TLV cut short") << good.left(good.size() - 1) << false << 0x09 << 1;
    QTest::newRow("empty receipt is not sent") << QByteArray() << false << 0x7F << 1;
}

void tst_FsRegistration::receiptRules()
{
    QFETCH(QByteArray, receipt);
    QFETCH(bool, result);
    QFETCH(int, code);
    QFETCH(int, unconfirmed);

    testsupport::resetStorage(StorageSetup::MgmAwaitingReceipt);
    m_worker->start();
    usbemu::resetCounters();

    FiscalStorageAnswer answer;
    QCOMPARE(m_worker->sendOfdTicket(receipt, answer), result);
    QCOMPARE(int(answer.fsError()), code);
    QCOMPARE(usbemu::unconfirmedCount(), unconfirmed);
    QCOMPARE(usbemu::receivedCommands().size(), receipt.isEmpty() ? 0 : 1);
}

void tst_FsRegistration::receiptTakenBefore()
{
    // Document 1 confirmed, then a re-registration leaves document 2 waiting.
    testsupport::resetStorage(StorageSetup::RegisteredFs);
    m_worker->start();
    quint8 error = 0;
    QVERIFY(m_worker->beginRegistration(2, error));
    FiscalStorageAnswer answer;
    QVERIFY(m_worker->finishRegistration(ClosingTime, "7700001235", "1", 0x01, 0x00, answer));
    QCOMPARE(le32(answer.data().left(4)), quint32(2));

    // The program takes 0x20 as done and logs the answer code.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^32 "));
    QVERIFY(
        m_worker->sendOfdTicket(testsupport::ofdReceipt(usbemu::DefaultSerialNumber, 1), answer));
    QCOMPARE(int(answer.fsError()), 0x20);
    QCOMPARE(usbemu::unconfirmedCount(), 1);

    QVERIFY(
        m_worker->sendOfdTicket(testsupport::ofdReceipt(usbemu::DefaultSerialNumber, 2), answer));
    QCOMPARE(int(answer.fsError()), 0x00);
    QCOMPARE(usbemu::unconfirmedCount(), 0);
}

void tst_FsRegistration::receiptWithNothingUnconfirmed()
{
    testsupport::resetStorage(StorageSetup::RegisteredMgm);
    m_worker->start();
    FiscalStorageAnswer answer;
    QVERIFY(
        !m_worker->sendOfdTicket(testsupport::ofdReceipt(usbemu::DefaultSerialNumber, 1), answer));
    QCOMPARE(int(answer.fsError()), 0x08);
}

QTEST_GUILESS_MAIN(tst_FsRegistration)
#include "tst_fsregistration.moc"
