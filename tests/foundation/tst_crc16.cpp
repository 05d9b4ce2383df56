#include "common/crc16.h"

#include <QtTest>

class tst_Crc16 : public QObject
{
    Q_OBJECT

private slots:
    void knownValues_data();
    void knownValues();
    void tableMatchesBitwise_data();
    void tableMatchesBitwise();
    void rangeOfLargerBuffer();
};

void tst_Crc16::knownValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");

    // The catalogued check value of CRC-16/CCITT-FALSE.
    QTest::newRow("check string 123456789") << QByteArray("123456789") << 0x29B1;
    QTest::newRow("empty range is the initial value") << QByteArray() << 0xFFFF;
    // Frame checksums worked by hand for the storage's frames: length + code.
    QTest::newRow("frame of command 0x30") << QByteArray::fromHex("010030") << 0xCDFF;
    QTest::newRow("frame of answer 0x00") << QByteArray::fromHex("010000") << 0xFBAC;
    QTest::newRow("42 zero bytes") << QByteArray(42, '\0') << 0xBE39;
}

void tst_Crc16::knownValues()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);

    const Crc16 calculator;
    QCOMPARE(int(calculator.compute(data, true)), crc);
    QCOMPARE(int(calculator.compute(data, false)), crc);
    QCOMPARE(int(Crc16::checksum(data)), crc);
}

void tst_Crc16::tableMatchesBitwise_data()
{
    QTest::addColumn<QByteArray>("data");

    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QTest::newRow("every byte value") << all;
    QTest::newRow("one 0xff byte") << QByteArray(1, '\xff');
    QTest::newRow("64 KiB of a pattern") << all.repeated(256);
}

void tst_Crc16::tableMatchesBitwise()
{
    QFETCH(QByteArray, data);

    const Crc16 calculator;
    QCOMPARE(calculator.compute(data.constData(), data.size(), true),
             calculator.compute(data.constData(), data.size(), false));
}

void tst_Crc16::rangeOfLargerBuffer()
{
    const QByteArray buffer("xx123456789yy");
    const Crc16 calculator;
    QCOMPARE(int(calculator.compute(buffer.constData() + 2, 9)), 0x29B1);
    QCOMPARE(int(calculator.compute(buffer.constData() + 2, 0, false)), 0xFFFF);
}

QTEST_APPLESS_MAIN(tst_Crc16)
#include "tst_crc16.moc"
