#include "regnumber.h"

#include "fs/ofdinfo.h"

#include <QRandomGenerator>
#include <QtTest>

// Expected registration numbers were worked out independently of the program:
// CRC-16/CCITT-FALSE over  order(10) | INN(12) | serial(20)  computed by hand
// with a bit-by-bit reference, the check value written as six digits.
class tst_RegNumber : public QObject
{
    Q_OBJECT

private slots:
    void innCheck_data();
    void innCheck();
    void innOfEveryOperatorIsValid();
    void wrongFirstCheckDigitOfTwelve();

    void makeRegNumber_data();
    void makeRegNumber();
    void roundTrip_data();
    void roundTrip();
    void checkRegNumber_data();
    void checkRegNumber();

    void serialText_data();
    void serialText();

    void randomRegNumber_data();
    void randomRegNumber();
    void randomRegNumberIsRepeatableForOneSeed();
    void randomRegNumberWithoutSerialLeavesField();
};

void tst_RegNumber::innCheck_data()
{
    QTest::addColumn<QByteArray>("inn");
    QTest::addColumn<bool>("valid");

    QTest::newRow("10 digits, known taxpayer") << QByteArray("7704211201") << true;
    QTest::newRow("10 digits, last digit changed") << QByteArray("7704211202") << false;
    QTest::newRow("10 digits, check digit 0 changed to 9") << QByteArray("7704211209") << false;
    QTest::newRow("10 zeros") << QByteArray("0000000000") << true;
    QTest::newRow("12 digits, both check digits right") << QByteArray("500100732259") << true;
    QTest::newRow("12 digits, second one") << QByteArray("770708389324") << true;
    QTest::newRow("12 digits, last digit wrong") << QByteArray("500100732258") << false;
    QTest::newRow("12 zeros") << QByteArray("000000000000") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("9 digits") << QByteArray("770421120") << false;
    QTest::newRow("11 digits") << QByteArray("77042112010") << false;
    QTest::newRow("13 digits") << QByteArray("5001007322590") << false;
    QTest::newRow("leading blank") << QByteArray(" 7704211201") << false;
    QTest::newRow("trailing blank") << QByteArray("7704211201 ") << false;
    // The rows below would pass if every character took part with its code
    // minus 48: their weighted sums come out right. An INN is digits only.
    QTest::newRow("blank inside, 12 characters") << QByteArray("50010 732223") << false;
    QTest::newRow("letter inside, 10 characters") << QByteArray("77042A1202") << false;
    QTest::newRow("letter inside, 12 characters") << QByteArray("500B00732204") << false;
    QTest::newRow("colon taking part as ten") << QByteArray(":704211207") << false;
    QTest::newRow("slash taking part as minus one") << QByteArray("770/211208") << false;
    QTest::newRow("leading blank taking part as minus 16") << QByteArray(" 704211200") << false;
    QTest::newRow("minus sign") << QByteArray("-704211201") << false;
    QTest::newRow("Latin-1 replacement of Cyrillic")
        << QString::fromUtf8("770421120Я").toLatin1() << false;
}

void tst_RegNumber::innCheck()
{
    QFETCH(QByteArray, inn);
    QFETCH(bool, valid);

    QCOMPARE(isInnValid(inn), valid);
}

void tst_RegNumber::innOfEveryOperatorIsValid()
{
    const OfdDirectory &directory = ofdDirectory();
    QCOMPARE(directory.size(), 20);
    for (const OfdInfo &info : directory) {
        QVERIFY2(isInnValid(info.inn().toLatin1()), qPrintable(info.inn()));
        // Every other last digit breaks the check.
        for (char last = '0'; last <= '9'; ++last) {
            QByteArray changed = info.inn().toLatin1();
            if (changed.at(9) == last)
                continue;
            changed[9] = last;
            QVERIFY2(!isInnValid(changed), changed.constData());
        }
    }
}

void tst_RegNumber::wrongFirstCheckDigitOfTwelve()
{
    // 5001007322|5|9 is valid; with an 11th digit other than 5 no last digit helps.
    for (char eleventh = '0'; eleventh <= '9'; ++eleventh) {
        if (eleventh == '5')
            continue;
        for (char last = '0'; last <= '9'; ++last) {
            const QByteArray inn = QByteArray("5001007322") + eleventh + last;
            QVERIFY2(!isInnValid(inn), inn.constData());
        }
    }
}

void tst_RegNumber::makeRegNumber_data()
{
    QTest::addColumn<QByteArray>("order");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<QByteArray>("inn");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("order 5 padded to ten characters")
        << QByteArray("5") << qint64(12345) << QByteArray("7704211201")
        << QByteArray("0000000005053119");
    QTest::newRow("order 1 and its padded form agree")
        << QByteArray("0000000001") << qint64(0) << QByteArray("7704211201")
        << QByteArray("0000000001023109");
    QTest::newRow("order 1, serial 0") << QByteArray("1") << qint64(0) << QByteArray("7704211201")
                                       << QByteArray("0000000001023109");
    QTest::newRow("ten-digit order, largest serial, 12-digit INN")
        << QByteArray("4294967295") << std::numeric_limits<qint64>::max()
        << QByteArray("500100732259") << QByteArray("4294967295021465");
    QTest::newRow("12 zeros as INN")
        << QByteArray("42") << qint64(1234567890123) << QByteArray("000000000000")
        << QByteArray("0000000042036189");
    QTest::newRow("serial that did not read counts as 0") << QByteArray(
        "123") << qint64(0) << QByteArray("7704211201") << QByteArray("0000000123007810");
    QTest::newRow("order of 11 characters")
        << QByteArray("12345678901") << qint64(1) << QByteArray("7704211201") << QByteArray();
    QTest::newRow("invalid INN") << QByteArray("5") << qint64(12345) << QByteArray("7704211202")
                                 << QByteArray();
    QTest::newRow("INN with a trailing blank")
        << QByteArray("5") << qint64(12345) << QByteArray("7704211201 ") << QByteArray();
    QTest::newRow("INN of 11 digits")
        << QByteArray("5") << qint64(12345) << QByteArray("77042112010") << QByteArray();
    QTest::newRow("letter in the order")
        << QByteArray("12a") << qint64(12345) << QByteArray("7704211201") << QByteArray();
}

void tst_RegNumber::makeRegNumber()
{
    QFETCH(QByteArray, order);
    QFETCH(qint64, serial);
    QFETCH(QByteArray, inn);
    QFETCH(QByteArray, expected);

    const QByteArray made = ::makeRegNumber(order, serial, inn);
    QCOMPARE(made, expected);
    QCOMPARE(made.isNull(), expected.isNull());
}

void tst_RegNumber::roundTrip_data()
{
    QTest::addColumn<QByteArray>("order");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<QByteArray>("inn");

    const QList<QByteArray> orders
        = { "", "0", "7", "12345", "999999999", "2147483647", "9999999999" };
    const QList<qint64> serials = { 0, 1, 123456789, 4000000000LL,
        std::numeric_limits<qint64>::max(), -1, std::numeric_limits<qint64>::min() };
    const QList<QByteArray> inns = { "7704211201", "0000000000", "500100732259", "2310031475" };
    for (const QByteArray &order : orders) {
        for (qint64 serial : serials) {
            for (const QByteArray &inn : inns) {
                const QByteArray name = "order '" + order + "', serial "
                    + QByteArray::number(serial) + ", INN " + inn;
                QTest::newRow(name.constData()) << order << serial << inn;
            }
        }
    }
}

void tst_RegNumber::roundTrip()
{
    QFETCH(QByteArray, order);
    QFETCH(qint64, serial);
    QFETCH(QByteArray, inn);

    const QByteArray made = ::makeRegNumber(order, serial, inn);
    QCOMPARE(made.size(), 16);
    QCOMPARE(made.left(10), order.rightJustified(10, '0'));
    QVERIFY(isRegNumberValid(made, serial, inn));
    // Another serial number or another INN gives another check value.
    QVERIFY(!isRegNumberValid(made, serial ^ 1, inn));
    QVERIFY(!isRegNumberValid(made, serial, "7709364346"));
}

void tst_RegNumber::checkRegNumber_data()
{
    QTest::addColumn<QByteArray>("regNumber");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<QByteArray>("inn");
    QTest::addColumn<bool>("valid");

    const QByteArray inn("7704211201");
    // 0000000005 with serial 12345 and this INN has the check value 053119.
    QTest::newRow("made number") << QByteArray("0000000005053119") << qint64(12345) << inn << true;
    QTest::newRow("check value plus 65536")
        << QByteArray("0000000005118655") << qint64(12345) << inn << true;
    QTest::newRow("check value plus 131072")
        << QByteArray("0000000005184191") << qint64(12345) << inn << true;
    QTest::newRow("check value plus one")
        << QByteArray("0000000005053120") << qint64(12345) << inn << false;
    QTest::newRow("check value plus 65535")
        << QByteArray("0000000005118654") << qint64(12345) << inn << false;
    QTest::newRow("order digit changed")
        << QByteArray("0000000006053119") << qint64(12345) << inn << false;
    QTest::newRow("other serial") << QByteArray("0000000005053119") << qint64(12346) << inn
                                  << false;
    QTest::newRow("15 characters")
        << QByteArray("000000005053119") << qint64(12345) << inn << false;
    QTest::newRow("17 characters")
        << QByteArray("00000000005053119") << qint64(12345) << inn << false;
    QTest::newRow("empty") << QByteArray() << qint64(12345) << inn << false;
    QTest::newRow("letter in the check part")
        << QByteArray("000000000505311x") << qint64(12345) << inn << false;
    QTest::newRow("blank leading the check part")
        << QByteArray("0000000005 53119") << qint64(12345) << inn << false;
    QTest::newRow("plus sign leading the check part")
        << QByteArray("0000000005+53119") << qint64(12345) << inn << false;
    QTest::newRow("blank in the order part")
        << QByteArray(" 000000005053119") << qint64(12345) << inn << false;
    QTest::newRow("invalid INN") << QByteArray("0000000005053119") << qint64(12345)
                                 << QByteArray("7704211202") << false;
    QTest::newRow("INN with a leading blank")
        << QByteArray("0000000005053119") << qint64(12345) << QByteArray(" 7704211201") << false;
    // A serial text above 2^63 - 1 reads as 0: made and checked with 0 alike.
    QTest::newRow("serial 0 as for an unreadable serial")
        << QByteArray("0000000123007810") << qint64(0) << inn << true;
}

void tst_RegNumber::checkRegNumber()
{
    QFETCH(QByteArray, regNumber);
    QFETCH(qint64, serial);
    QFETCH(QByteArray, inn);
    QFETCH(bool, valid);

    QCOMPARE(isRegNumberValid(regNumber, serial, inn), valid);
}

void tst_RegNumber::serialText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("serial");

    QTest::newRow("plain digits") << QStringLiteral("0012345") << qint64(12345);
    QTest::newRow("largest signed 64-bit")
        << QStringLiteral("9223372036854775807") << std::numeric_limits<qint64>::max();
    QTest::newRow("one above 2^63 - 1") << QStringLiteral("9223372036854775808") << qint64(0);
    QTest::newRow("twenty nines") << QStringLiteral("99999999999999999999") << qint64(0);
    QTest::newRow("letters") << QStringLiteral("12AB") << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
}

void tst_RegNumber::serialText()
{
    QFETCH(QString, text);
    QFETCH(qint64, serial);

    QCOMPARE(regNumberSerial(text), serial);
}

void tst_RegNumber::randomRegNumber_data()
{
    QTest::addColumn<QString>("serialText");
    QTest::addColumn<QString>("innText");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<bool>("made");

    QTest::newRow("10-digit INN") << QStringLiteral("12345") << QStringLiteral("7704211201")
                                  << qint64(12345) << true;
    QTest::newRow("12-digit INN") << QStringLiteral("00000000000000777")
                                  << QStringLiteral("500100732259") << qint64(777) << true;
    QTest::newRow("serial with blanks is trimmed")
        << QStringLiteral("  12345 ") << QStringLiteral("7704211201") << qint64(12345) << true;
    QTest::newRow("serial above 2^63 - 1 takes part as 0")
        << QStringLiteral("99999999999999999999") << QStringLiteral("7704211201") << qint64(0)
        << true;
    QTest::newRow("INN with a leading blank empties the field")
        << QStringLiteral("12345") << QStringLiteral(" 7704211201") << qint64(12345) << false;
    QTest::newRow("INN with a trailing blank empties the field")
        << QStringLiteral("12345") << QStringLiteral("7704211201 ") << qint64(12345) << false;
    QTest::newRow("empty INN empties the field")
        << QStringLiteral("12345") << QString() << qint64(12345) << false;
}

void tst_RegNumber::randomRegNumber()
{
    QFETCH(QString, serialText);
    QFETCH(QString, innText);
    QFETCH(qint64, serial);
    QFETCH(bool, made);

    // Several seeds so that order numbers of different lengths come up.
    for (quint32 seed : { 1u, 77u, 1600000000u, 4294967295u }) {
        QRandomGenerator generator(seed);
        const std::optional<QByteArray> number = ::randomRegNumber(generator, serialText, innText);
        QVERIFY(number.has_value());
        if (!made) {
            QVERIFY(number->isEmpty());
            continue;
        }
        QCOMPARE(number->size(), 16);
        QVERIFY(isRegNumberValid(*number, serial, innText.toLatin1()));
        // The order number is one 32-bit draw, in decimal.
        bool ok = false;
        const qulonglong order = number->left(10).toULongLong(&ok);
        QVERIFY(ok);
        QVERIFY(order <= 0xFFFFFFFFull);
    }
}

void tst_RegNumber::randomRegNumberIsRepeatableForOneSeed()
{
    QRandomGenerator first(20240501);
    QRandomGenerator second(20240501);
    const auto a = ::randomRegNumber(first, QStringLiteral("12345"), QStringLiteral("7704211201"));
    const auto b = ::randomRegNumber(second, QStringLiteral("12345"), QStringLiteral("7704211201"));
    QVERIFY(a && b);
    QCOMPARE(*a, *b);

    // Draws go on: the next number of the same generator has another order.
    const auto c = ::randomRegNumber(first, QStringLiteral("12345"), QStringLiteral("7704211201"));
    QVERIFY(c);
    QVERIFY(c->left(10) != a->left(10));

    // The time-seeded form makes a number that checks.
    const auto timed = ::randomRegNumber(QStringLiteral("12345"), QStringLiteral("7704211201"));
    QVERIFY(timed);
    QVERIFY(isRegNumberValid(*timed, 12345, "7704211201"));
}

void tst_RegNumber::randomRegNumberWithoutSerialLeavesField()
{
    QRandomGenerator generator(5);
    QVERIFY(!::randomRegNumber(generator, QString(), QStringLiteral("7704211201")).has_value());
    QVERIFY(!::randomRegNumber(generator, QStringLiteral("   "), QStringLiteral("7704211201"))
                 .has_value());
    QVERIFY(!::randomRegNumber(QString(), QStringLiteral("7704211201")).has_value());
}

QTEST_APPLESS_MAIN(tst_RegNumber)
#include "tst_regnumber.moc"
