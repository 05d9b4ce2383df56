// The OFD container: building outgoing ones and checking incoming headers and
// bodies. The hex vectors were laid out by hand from the byte layout (see
// ofdmessage.h); their CRC-16/CCITT-FALSE values were computed with an
// independent script and agree with the published check value 0x29B1 for
// "123456789".

#include "fs/ofdmessage.h"

#include <QtTest>

namespace {

const QByteArray fsNumber("9999078902004321");
// TLV 1 with four bytes: the body of most vectors here
const QByteArray body = QByteArray::fromHex("01000400deadbeef");

} // namespace

class tst_OfdMessage : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void build_data();
    void build();
    void buildRefusesStorageNumber_data();
    void buildRefusesStorageNumber();
    void buildRefusesOversizedBody();
    void parseHeader_data();
    void parseHeader();
    void parseData_data();
    void parseData();
    void builtContainerParsesBack_data();
    void builtContainerParsesBack();
};

void tst_OfdMessage::defaults()
{
    const OfdMessage message(fsNumber);
    QCOMPARE(message.fsNumber(), fsNumber);
    QCOMPARE(message.flags(), quint16(0x0011));
    QCOMPARE(message.crc(), quint16(0));
    QCOMPARE(message.length(), quint16(0));
    QVERIFY(message.data().isEmpty());
    QVERIFY(message.header().isEmpty());

    OfdMessage invalid;
    QVERIFY(invalid.toByteArray(body).isEmpty());
}

void tst_OfdMessage::build_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("container");
    QTest::addColumn<quint16>("flags");

    // flags 0x0016: check mode 2, body present, bit 4; CRC over the 28 header
    // bytes and the body = 0xD340
    QTest::newRow("with a body")
        << body
        << QByteArray::fromHex(
               "2a08410a81a20105 39393939303738393032303034333231 0800 1600 40d3 01000400deadbeef")
        << quint16(0x0016);
    // flags 0x0011: check mode 1, bit 4; CRC over the 28 header bytes = 0xCA82
    QTest::newRow("without a body")
        << QByteArray()
        << QByteArray::fromHex("2a08410a81a20105 39393939303738393032303034333231 0000 1100 82ca")
        << quint16(0x0011);
}

void tst_OfdMessage::build()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, container);
    QFETCH(quint16, flags);

    OfdMessage message(fsNumber);
    const QByteArray built = message.toByteArray(body);
    QCOMPARE(built.toHex(), container.toHex());
    QCOMPARE(built.size(), OfdMessage::HeaderSize + body.size());
    QCOMPARE(message.flags(), flags);

    // building again from the flags left by the first build gives the same bytes
    QCOMPARE(message.toByteArray(body).toHex(), container.toHex());
}

void tst_OfdMessage::buildRefusesStorageNumber_data()
{
    QTest::addColumn<QByteArray>("number");
    QTest::newRow("15 bytes") << QByteArray("999907890200432");
    QTest::newRow("17 bytes") << QByteArray("99990789020043210");
    QTest::newRow("empty") << QByteArray();
}

void tst_OfdMessage::buildRefusesStorageNumber()
{
    QFETCH(QByteArray, number);
    OfdMessage withBody(number);
    QVERIFY(withBody.toByteArray(body).isEmpty());
    OfdMessage empty(number);
    QVERIFY(empty.toByteArray(QByteArray()).isEmpty());
}

void tst_OfdMessage::buildRefusesOversizedBody()
{
    // The length field holds 65535 at most; a longer body would go out under a
    // header that declares a cut length.
    OfdMessage message(fsNumber);
    const QByteArray largest(0xFFFF, 'x');
    const QByteArray built = message.toByteArray(largest);
    QCOMPARE(built.size(), OfdMessage::HeaderSize + 0xFFFF);
    QCOMPARE(built.mid(24, 2).toHex(), QByteArray("ffff"));

    QVERIFY(message.toByteArray(QByteArray(0x10000, 'x')).isEmpty());
}

void tst_OfdMessage::parseHeader_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<quint16>("length");
    QTest::addColumn<quint16>("flags");
    QTest::addColumn<quint16>("crc");

    const QByteArray start = QByteArray::fromHex("2a08410a81a20105");
    const QByteArray storage = QByteArray::fromHex("39393939303738393032303034333231");

    QTest::newRow("check mode 2, value not judged yet")
        << start + storage + QByteArray::fromHex("08001600 40d3") << true << quint16(8)
        << quint16(0x0016) << quint16(0xd340);
    QTest::newRow("check mode 2, any value")
        << start + storage + QByteArray::fromHex("08001600 0100") << true << quint16(8)
        << quint16(0x0016) << quint16(0x0001);
    QTest::newRow("check mode 1, right value over the header")
        << start + storage + QByteArray::fromHex("08001500 8583") << true << quint16(8)
        << quint16(0x0015) << quint16(0x8385);
    QTest::newRow("check mode 1, wrong value")
        << start + storage + QByteArray::fromHex("08001500 8483") << false << quint16(8)
        << quint16(0x0015) << quint16(0x8384);
    QTest::newRow("check mode 0, any value")
        << start + storage + QByteArray::fromHex("08001400 3412") << true << quint16(8)
        << quint16(0x0014) << quint16(0x1234);
    QTest::newRow("check mode 3, value right over header and body")
        << start + storage + QByteArray::fromHex("08001700 05bc") << false << quint16(8)
        << quint16(0x0017) << quint16(0xbc05);
    QTest::newRow("check mode 3, value right over the header")
        << start + storage + QByteArray::fromHex("08001700 e7e5") << false << quint16(8)
        << quint16(0x0017) << quint16(0xe5e7);
    QTest::newRow("application version 01 06 is not compared")
        << QByteArray::fromHex("2a08410a81a20106") + storage + QByteArray::fromHex("08001600 4bd2")
        << true << quint16(8) << quint16(0x0016) << quint16(0xd24b);
    QTest::newRow("another storage number is not compared")
        << start + QByteArray("0000000000000001") + QByteArray::fromHex("08001600 80fc") << true
        << quint16(8) << quint16(0x0016) << quint16(0xfc80);

    // refused before the fields are read: they keep their initial values
    QTest::newRow("29 bytes") << start + storage + QByteArray::fromHex("08001600 40") << false
                              << quint16(0) << quint16(0x0011) << quint16(0);
    QTest::newRow("31 bytes") << start + storage + QByteArray::fromHex("08001600 40d3 01") << false
                              << quint16(0) << quint16(0x0011) << quint16(0);
    QTest::newRow("wrong signature")
        << QByteArray::fromHex("2a08410b81a20105") + storage + QByteArray::fromHex("08001600 9c5e")
        << false << quint16(0) << quint16(0x0011) << quint16(0);
    QTest::newRow("wrong session version")
        << QByteArray::fromHex("2a08410a81a30105") + storage + QByteArray::fromHex("08001600 695d")
        << false << quint16(0) << quint16(0x0011) << quint16(0);
    QTest::newRow("empty") << QByteArray() << false << quint16(0) << quint16(0x0011) << quint16(0);
}

void tst_OfdMessage::parseHeader()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, accepted);
    QFETCH(quint16, length);
    QFETCH(quint16, flags);
    QFETCH(quint16, crc);

    OfdMessage message(fsNumber);
    QCOMPARE(message.parseHeader(header), accepted);
    QCOMPARE(message.header(), header);
    QCOMPARE(message.length(), length);
    QCOMPARE(message.flags(), flags);
    QCOMPARE(message.crc(), crc);
}

void tst_OfdMessage::parseData_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("lenient");
    QTest::addColumn<bool>("accepted");

    const QByteArray head
        = QByteArray::fromHex("2a08410a81a20105 39393939303738393032303034333231 08001600");
    const QByteArray full = head + QByteArray::fromHex("40d3"); // header and body
    const QByteArray headerOnly = head + QByteArray::fromHex("d6d6"); // header bytes 0-27 alone
    const QByteArray wrong = head + QByteArray::fromHex("41d2");
    const QByteArray zero = head + QByteArray::fromHex("0000");
    const QByteArray mode0Zero
        = QByteArray::fromHex("2a08410a81a20105 39393939303738393032303034333231 080014000000");

    QTest::newRow("full value") << full << body << false << true;
    QTest::newRow("full value, another body")
        << full << QByteArray::fromHex("01000400deadbeee") << false << false;
    QTest::newRow("header-only value under check mode 2") << headerOnly << body << false << true;
    QTest::newRow("wrong value") << wrong << body << false << false;
    QTest::newRow("wrong value, lenient") << wrong << body << true << true;
    QTest::newRow("value 0 takes any body of the declared length")
        << zero << QByteArray::fromHex("0000000000000000") << false << true;
    QTest::newRow("value 0 under check mode 0") << mode0Zero << body << false << true;
    QTest::newRow("one byte short") << full << body.left(7) << false << false;
    QTest::newRow("one byte short, lenient") << full << body.left(7) << true << false;
    QTest::newRow("one byte short, value 0") << zero << body.left(7) << false << false;
    QTest::newRow("one byte too many") << full << body + 'x' << false << false;
}

void tst_OfdMessage::parseData()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, received);
    QFETCH(bool, lenient);
    QFETCH(bool, accepted);

    OfdMessage message(fsNumber);
    QVERIFY(message.parseHeader(header));
    QCOMPARE(message.parseData(received, lenient), accepted);
    QCOMPARE(message.data(), received);
}

void tst_OfdMessage::builtContainerParsesBack_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("registration receipt sized") << QByteArray(58, '\x11');
    QTest::newRow("one byte") << QByteArray(1, '\x00');
    QTest::newRow("empty") << QByteArray();
}

void tst_OfdMessage::builtContainerParsesBack()
{
    QFETCH(QByteArray, body);
    OfdMessage out(fsNumber);
    const QByteArray container = out.toByteArray(body);
    QVERIFY(!container.isEmpty());

    OfdMessage in(QByteArray("0000000000000000"));
    QVERIFY(in.parseHeader(container.left(OfdMessage::HeaderSize)));
    QCOMPARE(int(in.length()), body.size());
    QVERIFY(in.parseData(container.mid(OfdMessage::HeaderSize), false));
    QCOMPARE(in.data(), body);
}

QTEST_APPLESS_MAIN(tst_OfdMessage)
#include "tst_ofdmessage.moc"
