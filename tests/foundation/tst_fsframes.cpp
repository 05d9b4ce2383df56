#include "fs/fiscalstorageanswer.h"
#include "fs/fiscalstoragecmd.h"

#include <QtTest>

// Frames below carry their checksum worked out by hand (CRC-16/CCITT-FALSE
// over length, code and data), low byte first.
class tst_FsFrames : public QObject
{
    Q_OBJECT

private slots:
    void buildCommand_data();
    void buildCommand();
    void buildRefusesOversizedData();
    void parseAnswer_data();
    void parseAnswer();
    void parseKeepsCodeOnEarlyFailure();
    void commandCheck_data();
    void commandCheck();
    void answerCodes_data();
    void answerCodes();
    void defaults();
    void dateTimeToFs_data();
    void dateTimeToFs();
    void dateDecoders_data();
    void dateDecoders();
};

void tst_FsFrames::buildCommand_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("status 0x30, no data") << 0x30 << QByteArray() << QByteArray::fromHex("04010030ffcd");
    QTest::newRow("0x02 kind 1") << 0x02 << QByteArray::fromHex("01") << QByteArray::fromHex("0402000201eb1f");
}

void tst_FsFrames::buildCommand()
{
    QFETCH(int, code);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);

    const FiscalStorageCmd cmd(quint8(code), data, 0);
    QCOMPARE(cmd.toByteArray().toHex(), frame.toHex());
    QCOMPARE(cmd.hasData(), !data.isEmpty());
}

void tst_FsFrames::buildRefusesOversizedData()
{
    // 65534 data bytes make the largest length the 16-bit field holds.
    FiscalStorageCmd largest(0x07, QByteArray(65534, 'x'), 0);
    const QByteArray frame = largest.toByteArray();
    QCOMPARE(frame.size(), 65534 + 6);
    QCOMPARE(quint8(frame.at(1)), quint8(0xff));
    QCOMPARE(quint8(frame.at(2)), quint8(0xff));
    QVERIFY(largest.isValid());

    // One more would wrap the length field; such a frame is never built.
    FiscalStorageCmd tooLarge(0x07, QByteArray(65535, 'x'), 0);
    QVERIFY(tooLarge.toByteArray().isEmpty());
    QVERIFY(!tooLarge.isValid());
}

void tst_FsFrames::parseAnswer_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("done, no data") << QByteArray::fromHex("04010000acfb")
                                   << 0 << 0x00 << QByteArray();
    QTest::newRow("refusal 0x81 with data") << QByteArray::fromHex("04030081aabbb117")
                                            << 0 << 0x81 << QByteArray::fromHex("aabb");
    QTest::newRow("bad start byte") << QByteArray::fromHex("05010000acfb") << 1 << 0x7F << QByteArray();
    QTest::newRow("five bytes") << QByteArray::fromHex("04010000ac") << 2 << 0x7F << QByteArray();
    QTest::newRow("nothing read") << QByteArray() << 2 << 0x7F << QByteArray();
    QTest::newRow("length says 10, 14 bytes") << QByteArray::fromHex("040a00000102030405060708ffff")
                                              << 3 << 0x7F << QByteArray();
    QTest::newRow("read past the frame") << QByteArray::fromHex("04010000acfbff") << 3 << 0x7F << QByteArray();
    // The code and data are taken even when the checksum fails.
    QTest::newRow("bad checksum") << QByteArray::fromHex("04030081aabbb118") << 4 << 0x81
                                  << QByteArray::fromHex("aabb");
}

void tst_FsFrames::parseAnswer()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, result);
    QFETCH(int, code);
    QFETCH(QByteArray, data);

    FiscalStorageAnswer answer;
    QCOMPARE(int(answer.fromByteArray(frame)), result);
    QCOMPARE(int(answer.frameResult()), result);
    QCOMPARE(int(answer.code()), code);
    QCOMPARE(answer.data(), data);
    QCOMPARE(answer.isValid(), result == 0);
}

void tst_FsFrames::parseKeepsCodeOnEarlyFailure()
{
    FiscalStorageAnswer answer;
    QCOMPARE(int(answer.fromByteArray(QByteArray::fromHex("04030081aabbb117"))), 0);
    QCOMPARE(answer.data(), QByteArray::fromHex("aabb"));

    // A size mismatch clears the data and leaves the earlier code.
    QCOMPARE(int(answer.fromByteArray(QByteArray::fromHex("040a00000102030405060708ffff"))), 3);
    QCOMPARE(int(answer.code()), 0x81);
    QVERIFY(answer.data().isEmpty());
    QVERIFY(!answer.isValid());

    // A round trip through the builder parses back to the same message.
    const FiscalStorageCmd cmd(0x23, QByteArray::fromHex("00040004"), 0);
    FiscalStorageAnswer parsed;
    QCOMPARE(int(parsed.fromByteArray(cmd.toByteArray())), 0);
    QCOMPARE(int(parsed.code()), 0x23);
    QCOMPARE(parsed.data(), cmd.data());
}

void tst_FsFrames::commandCheck_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("valid");

    QTest::newRow("0x02 one byte") << 0x02 << 1 << true;
    QTest::newRow("0x02 none") << 0x02 << 0 << false;
    QTest::newRow("0x03 19 bytes") << 0x03 << 19 << false;
    QTest::newRow("0x03 39 bytes") << 0x03 << 39 << true;
    QTest::newRow("0x05 25") << 0x05 << 25 << true;
    QTest::newRow("0x05 24") << 0x05 << 24 << false;
    QTest::newRow("0x07 empty") << 0x07 << 0 << false;
    QTest::newRow("0x07 one") << 0x07 << 1 << true;
    QTest::newRow("0x26 empty") << 0x26 << 0 << false;
    QTest::newRow("0x18 five") << 0x18 << 5 << true;
    QTest::newRow("0x18 none (no date)") << 0x18 << 0 << false;
    QTest::newRow("0x16 eleven") << 0x16 << 11 << true;
    QTest::newRow("0x21 one") << 0x21 << 1 << true;
    QTest::newRow("0x60 two") << 0x60 << 2 << false;
    QTest::newRow("0x23 four") << 0x23 << 4 << true;
    QTest::newRow("0x23 three") << 0x23 << 3 << false;
    QTest::newRow("0x41 four") << 0x41 << 4 << true;
    QTest::newRow("0x30 none") << 0x30 << 0 << true;
    QTest::newRow("0x30 with data") << 0x30 << 3 << true;
    QTest::newRow("0x46 none") << 0x46 << 0 << true;
    QTest::newRow("0x00") << 0x00 << 0 << false;
    QTest::newRow("0x01") << 0x01 << 0 << false;
    QTest::newRow("0x08") << 0x08 << 0 << false;
    QTest::newRow("0x1a") << 0x1a << 0 << false;
    QTest::newRow("0x27") << 0x27 << 0 << false;
    QTest::newRow("0x34") << 0x34 << 0 << false;
    QTest::newRow("0x47") << 0x47 << 0 << false;
    QTest::newRow("0x61") << 0x61 << 1 << false;
    QTest::newRow("0x7f default") << 0x7f << 0 << false;
}

void tst_FsFrames::commandCheck()
{
    QFETCH(int, code);
    QFETCH(int, size);
    QFETCH(bool, valid);

    const QByteArray data(size, '\0');
    QCOMPARE(FiscalStorageCmd::isValidCommand(quint8(code), data), valid);
    QCOMPARE(FiscalStorageCmd(quint8(code), data, 0).isValid(), valid);
}

void tst_FsFrames::answerCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("mapped");

    QTest::newRow("0x00 done") << 0x00 << 0x00;
    QTest::newRow("0x12 last of the first range") << 0x12 << 0x12;
    QTest::newRow("0x13 unknown") << 0x13 << 0x7F;
    QTest::newRow("0x14") << 0x14 << 0x14;
    QTest::newRow("0x17") << 0x17 << 0x17;
    QTest::newRow("0x18 unknown") << 0x18 << 0x7F;
    QTest::newRow("0x20") << 0x20 << 0x20;
    QTest::newRow("0x81 bit 7 cleared") << 0x81 << 0x01;
    QTest::newRow("0xa0 bit 7 cleared") << 0xa0 << 0x20;
    QTest::newRow("0x7e unknown") << 0x7e << 0x7F;
    QTest::newRow("0xff unknown") << 0xff << 0x7F;
}

void tst_FsFrames::answerCodes()
{
    QFETCH(int, code);
    QFETCH(int, mapped);
    QCOMPARE(int(FiscalStorageAnswer::mapAnswerCode(quint8(code))), mapped);
}

void tst_FsFrames::defaults()
{
    const FiscalStorageCmd cmd;
    QCOMPARE(int(cmd.code()), 0x7F);
    QVERIFY(!cmd.hasData());
    QCOMPARE(int(cmd.answerSize()), 0);
    QCOMPARE(int(cmd.firstReadSize()), 6);
    QVERIFY(!cmd.isValid());

    const FiscalStorageCmd status(0x30, 36);
    QCOMPARE(int(status.firstReadSize()), 36);

    const FiscalStorageCmd open = FiscalStorageCmd::beginRegistration(2);
    QCOMPARE(int(open.code()), 0x02);
    QCOMPARE(open.data(), QByteArray::fromHex("02"));
    QVERIFY(open.isValid());
    QVERIFY(!FiscalStorageCmd::beginRegistration(3).isValid());

    const FiscalStorageAnswer answer;
    QCOMPARE(int(answer.code()), 0x7F);
    QCOMPARE(int(answer.frameResult()), 255);
    QCOMPARE(int(answer.fsError()), 0x7F);
    QVERIFY(!answer.isValid());
}

void tst_FsFrames::dateTimeToFs_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("5 March 2019 14:07") << QDateTime(QDate(2019, 3, 5), QTime(14, 7, 59))
                                        << QByteArray::fromHex("130305" "0e07");
    QTest::newRow("1 January 2000 00:00") << QDateTime(QDate(2000, 1, 1), QTime(0, 0)) << QByteArray();
    QTest::newRow("31 December 2000") << QDateTime(QDate(2000, 12, 31), QTime(23, 59)) << QByteArray();
    QTest::newRow("2001") << QDateTime(QDate(2001, 1, 1), QTime(0, 0)) << QByteArray::fromHex("0101010000");
    QTest::newRow("invalid") << QDateTime() << QByteArray();
    QTest::newRow("2255 still fits") << QDateTime(QDate(2255, 12, 31), QTime(23, 59)) << QByteArray::fromHex("ff0c1f173b");
    QTest::newRow("2256 would wrap") << QDateTime(QDate(2256, 1, 1), QTime(0, 0)) << QByteArray();
}

void tst_FsFrames::dateTimeToFs()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QByteArray, bytes);
    QCOMPARE(::dateTimeToFs(dateTime).toHex(), bytes.toHex());
}

void tst_FsFrames::dateDecoders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDateTime>("dateTime"); // invalid when the bytes make no date-time
    QTest::addColumn<QDate>("date");         // invalid when the bytes make no date

    QTest::newRow("five bytes") << QByteArray::fromHex("1303050e07")
                                << QDateTime(QDate(2019, 3, 5), QTime(14, 7)) << QDate();
    QTest::newRow("four bytes") << QByteArray::fromHex("13030e07") << QDateTime() << QDate();
    QTest::newRow("three bytes") << QByteArray::fromHex("130305") << QDateTime() << QDate(2019, 3, 5);
    // Bytes are signed: 0x80 is -128, which is no month and no hour.
    QTest::newRow("month 0x80") << QByteArray::fromHex("138005") << QDateTime() << QDate();
    QTest::newRow("hour 0x80") << QByteArray::fromHex("1303058007") << QDateTime() << QDate();
}

void tst_FsFrames::dateDecoders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QDateTime, dateTime);
    QFETCH(QDate, date);

    const QDateTime decoded = dateTimeFromFs(bytes);
    QCOMPARE(decoded.isValid(), dateTime.isValid());
    if (dateTime.isValid())
        QCOMPARE(decoded, dateTime);
    // A wrong size gives a null date-time; five bytes that make no date-time
    // give an invalid one, never midnight of the day.
    QCOMPARE(decoded.isNull(), bytes.size() != 5);

    const QDate decodedDate = dateFromFs(bytes);
    QCOMPARE(decodedDate.isValid(), date.isValid());
    if (date.isValid())
        QCOMPARE(decodedDate, date);
}

QTEST_APPLESS_MAIN(tst_FsFrames)
#include "tst_fsframes.moc"
