#include "registrationparams.h"

#include <QtTest>

#include <functional>

using TlvMap = QMap<quint16, QByteArray>;
Q_DECLARE_METATYPE(TlvMap)
Q_DECLARE_METATYPE(RegistrationParams::TlvKind)

namespace {

using Rp = RegistrationParams;

// A record that passes every check: online, not an automat. Its registration
// number was worked out by hand for order 5, serial 12345 and INN 500100732259.
RegistrationParams baseRecord()
{
    RegistrationParams p;
    p.setRegFlags(0);
    p.setTaxes(0x01);
    p.setAgentFlags(0x05);
    p.setUserName(QStringLiteral("ООО Ромашка"));
    p.setUserInn(QStringLiteral("500100732259"));
    p.setSerial(QStringLiteral("12345"));
    p.setRegNumber(QStringLiteral("0000000005025078"));
    p.setRegCashierName(QStringLiteral("Иванов"));
    p.setPaymentAddress(QStringLiteral("Москва"));
    p.setPaymentPlace(QStringLiteral("Склад 1"));
    p.setOfdInn(QStringLiteral("7704211201"));
    p.setOfdName(QStringLiteral("Такском"));
    p.setFnsSite(QStringLiteral("www.nalog.gov.ru"));
    p.setEmail(QStringLiteral("kkt@shop.ru"));
    p.setOfficialVersion(QStringLiteral("1.0"));
    return p;
}

RegistrationParams changed(const std::function<void(RegistrationParams &)> &change)
{
    RegistrationParams p = baseRecord();
    change(p);
    return p;
}

QString chars(int count, char c = 'x') { return QString(count, QLatin1Char(c)); }

// An e-mail address of exactly `length` characters with "@" and ".".
QString emailOfLength(int length)
{
    const QString tail = QStringLiteral("@b.ru");
    return chars(length - tail.size(), 'a') + tail;
}

} // namespace

class tst_RegistrationParams : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void setters();
    void copiesAreIndependent();
    void workModeByte();

    void validate_data();
    void validate();

    void encodeTlv_data();
    void encodeTlv();
    void encodeOverlongText();

    void tlvMap_data();
    void tlvMap();
    void tlvMapOfBaseRecord();
};

void tst_RegistrationParams::defaults()
{
    const RegistrationParams p;
    QCOMPARE(p.fdfVersion(), quint8(2));
    QCOMPARE(p.fSfDfVersion(), quint8(2));
    QCOMPARE(p.regDocNumber(), 0u);
    QCOMPARE(p.fiscalCode(), 0u);
    QCOMPARE(p.taxes(), quint8(0x80));
    QCOMPARE(p.regFlags(), quint16(0x8000));
    QCOMPARE(p.agentFlags(), quint8(0x80));
    QCOMPARE(p.officialModel(), quint16(0));
    QVERIFY(!p.regDate().isValid());
    for (const QString &text : { p.userName(), p.userInn(), p.regNumber(), p.atmNumber(),
             p.regCashierName(), p.regCashierInn(), p.paymentAddress(), p.paymentPlace(),
             p.ofdInn(), p.ofdName(), p.serial(), p.fsNumber(), p.fnsSite(), p.email(),
             p.officialName(), p.officialVersion() }) {
        QVERIFY(text.isEmpty());
    }
}

void tst_RegistrationParams::setters()
{
    const QString padded = QStringLiteral("  12 34 \t");
    RegistrationParams p;
    p.setUserInn(padded);
    p.setRegNumber(padded);
    p.setOfdInn(padded);
    p.setSerial(padded);
    // These four are kept trimmed ...
    QCOMPARE(p.userInn(), QStringLiteral("12 34"));
    QCOMPARE(p.regNumber(), QStringLiteral("12 34"));
    QCOMPARE(p.ofdInn(), QStringLiteral("12 34"));
    QCOMPARE(p.serial(), QStringLiteral("12 34"));

    // ... every other text as given.
    p.setUserName(padded);
    p.setAtmNumber(padded);
    p.setRegCashierName(padded);
    p.setRegCashierInn(padded);
    p.setPaymentAddress(padded);
    p.setPaymentPlace(padded);
    p.setOfdName(padded);
    p.setFsNumber(padded);
    p.setFnsSite(padded);
    p.setEmail(padded);
    p.setOfficialName(padded);
    p.setOfficialVersion(padded);
    for (const QString &text : { p.userName(), p.atmNumber(), p.regCashierName(), p.regCashierInn(),
             p.paymentAddress(), p.paymentPlace(), p.ofdName(), p.fsNumber(), p.fnsSite(),
             p.email(), p.officialName(), p.officialVersion() }) {
        QCOMPARE(text, padded);
    }

    const QDateTime when(QDate(2024, 5, 1), QTime(12, 30));
    p.setFdfVersion(1);
    p.setFSfDfVersion(3);
    p.setRegDocNumber(0xFFFFFFFFu);
    p.setFiscalCode(123456789u);
    p.setTaxes(0x3F);
    p.setRegFlags(0x3FF);
    p.setAgentFlags(0x7F);
    p.setRegDate(when);
    p.setOfficialModel(0xBEEF);
    QCOMPARE(p.fdfVersion(), quint8(1));
    QCOMPARE(p.fSfDfVersion(), quint8(3));
    QCOMPARE(p.regDocNumber(), 0xFFFFFFFFu);
    QCOMPARE(p.fiscalCode(), 123456789u);
    QCOMPARE(p.taxes(), quint8(0x3F));
    QCOMPARE(p.regFlags(), quint16(0x3FF));
    QCOMPARE(p.agentFlags(), quint8(0x7F));
    QCOMPARE(p.regDate(), when);
    QCOMPARE(p.officialModel(), quint16(0xBEEF));
}

void tst_RegistrationParams::copiesAreIndependent()
{
    RegistrationParams a = baseRecord();
    RegistrationParams b = a;
    b.setUserName(QStringLiteral("Другой"));
    b.setRegFlags(Rp::offlineMode);
    QCOMPARE(a.userName(), QStringLiteral("ООО Ромашка"));
    QCOMPARE(a.regFlags(), quint16(0));

    RegistrationParams c;
    c = a;
    a.setSerial(QStringLiteral("999"));
    QCOMPARE(c.serial(), QStringLiteral("12345"));
    QCOMPARE(c.toTlvMap(), baseRecord().toTlvMap());
}

void tst_RegistrationParams::workModeByte()
{
    RegistrationParams p;
    p.setRegFlags(0x3FF);
    QCOMPARE(p.workModeByte(), quint8(0x3F));
    p.setRegFlags(Rp::externPrinter | Rp::allowGames | Rp::offlineMode);
    QCOMPARE(p.workModeByte(), quint8(0x02));
    QVERIFY(p.hasRegFlag(Rp::allowGames));
    QVERIFY(!p.hasRegFlag(Rp::automatMode));
}

void tst_RegistrationParams::validate_data()
{
    QTest::addColumn<RegistrationParams>("record");
    QTest::addColumn<QString>("expected");

    QTest::newRow("complete record") << baseRecord() << QString();
    QTest::newRow("default record")
        << RegistrationParams()
        << QStringLiteral("1. Не заданы ФИО кассира\n"
                          "2. Некорректный ИНН ОФД\n"
                          "3. Не задан сайт ФНС\n"
                          "4. Некорректный адрес электронной почты отправителя\n"
                          "5. Не задан ОФД\n"
                          "6. Не задан ЗН ККТ\n"
                          "7. Некорректный ИНН Пользователя\n"
                          "8. Некорректный рег. номер\n"
                          "9. Некорректная версия ККТ");
    QTest::newRow("offline, OFD fields empty") << changed([](Rp &p) {
        p.setRegFlags(Rp::offlineMode);
        p.setOfdInn(QString());
        p.setOfdName(QString());
        p.setFnsSite(QString());
        p.setEmail(QString());
    }) << QString();
    QTest::newRow("offline default record skips the OFD checks")
        <<
        [] {
            RegistrationParams p;
            p.setRegFlags(Rp::offlineMode);
            return p;
        }()
        << QStringLiteral("1. Не заданы ФИО кассира\n"
                          "2. Не задан ЗН ККТ\n"
                          "3. Некорректный ИНН Пользователя\n"
                          "4. Некорректный рег. номер\n"
                          "5. Некорректная версия ККТ");
    QTest::newRow("offline, invalid OFD INN not looked at") << changed([](Rp &p) {
        p.setRegFlags(Rp::offlineMode);
        p.setOfdInn(QStringLiteral("123"));
    }) << QString();

    // Cashier.
    QTest::newRow("no cashier name") << changed([](Rp &p) { p.setRegCashierName(QString()); })
                                     << QStringLiteral("1. Не заданы ФИО кассира");
    QTest::newRow("automat without cashier name") << changed([](Rp &p) {
        p.setRegFlags(Rp::automatMode);
        p.setRegCashierName(QString());
    }) << QString();
    QTest::newRow("cashier name of 64")
        << changed([](Rp &p) { p.setRegCashierName(chars(64)); }) << QString();
    QTest::newRow("cashier name of 65") << changed([](Rp &p) { p.setRegCashierName(chars(65)); })
                                        << QStringLiteral("1. Слишком длинные данные кассира");
    QTest::newRow("automat with cashier name of 65") << changed([](Rp &p) {
        p.setRegFlags(Rp::automatMode);
        p.setRegCashierName(chars(65));
    }) << QStringLiteral("1. Слишком длинные данные кассира");

    // E-mail.
    QTest::newRow("e-mail empty") << changed([](Rp &p) {
        p.setEmail(QString());
    }) << QStringLiteral("1. Некорректный адрес электронной почты отправителя");
    QTest::newRow("e-mail of 5 with @ and .")
        << changed([](Rp &p) { p.setEmail(QStringLiteral("a@b.c")); })
        << QStringLiteral("1. Некорректный адрес электронной почты отправителя");
    QTest::newRow("e-mail of 6") << changed([](Rp &p) { p.setEmail(QStringLiteral("a@b.cd")); })
                                 << QString();
    QTest::newRow("e-mail of 64") << changed([](Rp &p) { p.setEmail(emailOfLength(64)); })
                                  << QString();
    QTest::newRow("e-mail of 65") << changed([](Rp &p) {
        p.setEmail(emailOfLength(65));
    }) << QStringLiteral("1. Некорректный адрес электронной почты отправителя");
    QTest::newRow("e-mail without .")
        << changed([](Rp &p) { p.setEmail(QStringLiteral("someone@shop-ru")); })
        << QStringLiteral("1. Некорректный адрес электронной почты отправителя");
    QTest::newRow("e-mail without @")
        << changed([](Rp &p) { p.setEmail(QStringLiteral("someone.shop.ru")); })
        << QStringLiteral("1. Некорректный адрес электронной почты отправителя");

    // OFD.
    QTest::newRow("OFD INN check digit wrong")
        << changed([](Rp &p) { p.setOfdInn(QStringLiteral("7704211202")); })
        << QStringLiteral("1. Некорректный ИНН ОФД");
    QTest::newRow("no OFD name, no tax site") << changed([](Rp &p) {
        p.setOfdName(QString());
        p.setFnsSite(QString());
    }) << QStringLiteral("1. Не задан сайт ФНС\n2. Не задан ОФД");
    QTest::newRow("OFD name of 257") << changed([](Rp &p) { p.setOfdName(chars(257)); })
                                     << QStringLiteral("1. Слишком длинное наименование ОФД");

    // Serial and registration number.
    QTest::newRow("serial empty") << changed([](Rp &p) {
        p.setSerial(QString());
    }) << QStringLiteral("1. Не задан ЗН ККТ\n2. Некорректный рег. номер");
    QTest::newRow("serial of 21") << changed([](Rp &p) {
        p.setSerial(QStringLiteral("123456789012345678901"));
    }) << QStringLiteral("1. Слишком длинный ЗН ККТ\n2. Некорректный рег. номер");
    // 0000000077003327 was made for serial 0: a serial above 2^63 - 1 takes part as 0.
    QTest::newRow("serial above 2^63 - 1 with its number") << changed([](Rp &p) {
        p.setSerial(QStringLiteral("99999999999999999999"));
        p.setRegNumber(QStringLiteral("0000000077003327"));
    }) << QString();
    QTest::newRow("registration number of another serial")
        << changed([](Rp &p) { p.setSerial(QStringLiteral("12346")); })
        << QStringLiteral("1. Некорректный рег. номер");
    QTest::newRow("registration number empty") << changed([](Rp &p) { p.setRegNumber(QString()); })
                                               << QStringLiteral("1. Некорректный рег. номер");
    QTest::newRow("user INN of another taxpayer")
        << changed([](Rp &p) { p.setUserInn(QStringLiteral("770708389324")); })
        << QStringLiteral("1. Некорректный рег. номер");
    QTest::newRow("user INN invalid")
        << changed([](Rp &p) { p.setUserInn(QStringLiteral("500100732258")); })
        << QStringLiteral("1. Некорректный ИНН Пользователя\n2. Некорректный рег. номер");

    // Lengths of the texts.
    QTest::newRow("payment address of 256")
        << changed([](Rp &p) { p.setPaymentAddress(chars(256)); }) << QString();
    QTest::newRow("payment address of 257")
        << changed([](Rp &p) { p.setPaymentAddress(chars(257)); })
        << QStringLiteral("1. Слишком длинный адрес расчетов");
    QTest::newRow("automat number of 20")
        << changed([](Rp &p) { p.setAtmNumber(chars(20)); }) << QString();
    QTest::newRow("automat number of 21") << changed([](Rp &p) { p.setAtmNumber(chars(21)); })
                                          << QStringLiteral("1. Слишком длинный номер АТМ");
    QTest::newRow("user name of 300")
        << changed([](Rp &p) { p.setUserName(chars(300)); })
        << QStringLiteral("1. Слишком длинное наименование пользователя");
    QTest::newRow("tax site of 257") << changed([](Rp &p) { p.setFnsSite(chars(257)); })
                                     << QStringLiteral("1. Слишком длинный адрес сайта ФНС");
    QTest::newRow("payment place of 257") << changed([](Rp &p) { p.setPaymentPlace(chars(257)); })
                                          << QStringLiteral("1. Слишком длинное место расчетов");

    // Versions.
    QTest::newRow("KKT version empty") << changed([](Rp &p) { p.setOfficialVersion(QString()); })
                                       << QStringLiteral("1. Некорректная версия ККТ");
    QTest::newRow("KKT version of 8")
        << changed([](Rp &p) { p.setOfficialVersion(QStringLiteral("1.2.3.45")); }) << QString();
    QTest::newRow("KKT version of 9")
        << changed([](Rp &p) { p.setOfficialVersion(QStringLiteral("1.2.3.456")); })
        << QStringLiteral("1. Некорректная версия ККТ");
    QTest::newRow("KKT FFD version 1") << changed([](Rp &p) { p.setFdfVersion(1); })
                                       << QStringLiteral("1. Некорректная версия ФФД");
    QTest::newRow("storage FFD version 3") << changed([](Rp &p) { p.setFSfDfVersion(3); })
                                           << QStringLiteral("1. Некорректная версия ФФД");

    // Cashier INN.
    QTest::newRow("cashier INN twelve zeros")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("000000000000")); }) << QString();
    QTest::newRow("cashier INN twelve zeros and more")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("0000000000001")); }) << QString();
    QTest::newRow("cashier INN of 10, valid")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("7704211201")); }) << QString();
    QTest::newRow("cashier INN of 12, valid")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("770708389324")); }) << QString();
    QTest::newRow("cashier INN with blanks around a valid one")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral(" 7704211201 ")); }) << QString();
    QTest::newRow("cashier INN invalid")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("7704211202")); })
        << QStringLiteral("1. Некорректный ИНН кассира");
    QTest::newRow("cashier INN eleven zeros")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("00000000000")); })
        << QStringLiteral("1. Некорректный ИНН кассира");
    QTest::newRow("cashier INN with a letter")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("77042A1202")); })
        << QStringLiteral("1. Некорректный ИНН кассира");

    // Many at once: numbering goes past 9 and keeps the order of the checks.
    QTest::newRow("twelve failures")
        <<
        [] {
            RegistrationParams p;
            p.setRegFlags(0);
            p.setEmail(QStringLiteral("x"));
            p.setOfdName(chars(257));
            p.setPaymentAddress(chars(257));
            p.setSerial(chars(21, '1'));
            p.setUserName(chars(257));
            p.setRegCashierInn(QStringLiteral("1"));
            p.setFSfDfVersion(1);
            return p;
        }()
        << QStringLiteral("1. Не заданы ФИО кассира\n"
                          "2. Некорректный ИНН ОФД\n"
                          "3. Не задан сайт ФНС\n"
                          "4. Некорректный адрес электронной почты отправителя\n"
                          "5. Слишком длинный адрес расчетов\n"
                          "6. Слишком длинный ЗН ККТ\n"
                          "7. Некорректный ИНН Пользователя\n"
                          "8. Некорректный рег. номер\n"
                          "9. Слишком длинное наименование ОФД\n"
                          "10. Слишком длинное наименование пользователя\n"
                          "11. Некорректная версия ККТ\n"
                          "12. Некорректный ИНН кассира\n"
                          "13. Некорректная версия ФФД");
}

void tst_RegistrationParams::validate()
{
    QFETCH(RegistrationParams, record);
    QFETCH(QString, expected);

    QString errors = QStringLiteral("left over from before");
    QCOMPARE(record.validate(errors), expected.isEmpty());
    QCOMPARE(errors, expected);
}

void tst_RegistrationParams::encodeTlv_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<RegistrationParams::TlvKind>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QChar>("fill");
    QTest::addColumn<QByteArray>("expected");

    using K = RegistrationParams::TlvKind;
    const QChar blank = QLatin1Char(' ');
    // The two byte examples of the registration parameters.
    QTest::newRow("OFD INN of ten digits padded to 12")
        << 1017 << K::String << QVariant(QStringLiteral("7704211201")) << 12 << true << blank
        << QByteArray::fromHex("f9030c00"
                               "37373034323131323031"
                               "2020");
    QTest::newRow("agent flags 0x05") << 1057 << K::UInt << QVariant(5u) << 1 << true << blank
                                      << QByteArray::fromHex("2104010005");

    QTest::newRow("UInt in 2 bytes") << 1 << K::UInt << QVariant(0x1234u) << 2 << true << blank
                                     << QByteArray::fromHex("010002003412");
    QTest::newRow("UInt in 4 bytes") << 0xABCD << K::UInt << QVariant(0x12345678u) << 4 << false
                                     << blank << QByteArray::fromHex("cdab040078563412");
    QTest::newRow("UInt in 8 bytes")
        << 2 << K::UInt << QVariant(Q_UINT64_C(0x0102030405060708)) << 8 << true << blank
        << QByteArray::fromHex("020008000807060504030201");
    QTest::newRow("UInt cut to 1 byte") << 1057 << K::UInt << QVariant(0x1FFu) << 1 << true << blank
                                        << QByteArray::fromHex("21040100ff");
    QTest::newRow("Bool true") << 1207 << K::Bool << QVariant(true) << 1 << true << blank
                               << QByteArray::fromHex("b704010001");
    QTest::newRow("Bool false, not fixed") << 1221 << K::Bool << QVariant(false) << 1 << false
                                           << blank << QByteArray::fromHex("c504010000");
    QTest::newRow("Bool is one byte whatever the length")
        << 1193 << K::Bool << QVariant(true) << 4 << true << blank
        << QByteArray::fromHex("a904010001");

    QTest::newRow("CP866 text") << 1048 << K::String << QVariant(QStringLiteral("Привет")) << 256
                                << false << blank << QByteArray::fromHex("180406008fe0a8a2a5e2");
    QTest::newRow("CP866 yo and number sign")
        << 1009 << K::String << QVariant(QStringLiteral("ё№")) << 256 << false << blank
        << QByteArray::fromHex("f1030200f1fc");
    QTest::newRow("empty text") << 1036 << K::String << QVariant(QString()) << 20 << false << blank
                                << QByteArray::fromHex("0c040000");
    QTest::newRow("longer text goes whole without fixed length")
        << 1188 << K::String << QVariant(QStringLiteral("1.2.3.4567")) << 8 << false << blank
        << QByteArray::fromHex("a4040a00"
                               "312e322e332e34353637");
    QTest::newRow("fixed length cuts")
        << 1017 << K::String << QVariant(QStringLiteral("77042112019999")) << 12 << true << blank
        << QByteArray::fromHex("f9030c00373730343231313230313939");
    QTest::newRow("fixed length pads with the fill")
        << 1046 << K::String << QVariant(QStringLiteral("ab")) << 6 << true
        << QChar(QLatin1Char('*')) << QByteArray::fromHex("1604060061622a2a2a2a");
    QTest::newRow("fill converted to CP866")
        << 1046 << K::String << QVariant(QStringLiteral("ab")) << 6 << true << QChar(0x042F) // Я
        << QByteArray::fromHex("1604060061629f9f9f9f");
    QTest::newRow("fixed length 0") << 1046 << K::String << QVariant(QStringLiteral("ab")) << 0
                                    << true << blank << QByteArray::fromHex("16040000");
}

void tst_RegistrationParams::encodeTlv()
{
    QFETCH(int, tag);
    QFETCH(RegistrationParams::TlvKind, kind);
    QFETCH(QVariant, value);
    QFETCH(int, length);
    QFETCH(bool, fixed);
    QFETCH(QChar, fill);
    QFETCH(QByteArray, expected);

    QCOMPARE(RegistrationParams::encodeTlv(quint16(tag), kind, value, quint16(length), fixed, fill)
                 .toHex(),
        expected.toHex());
}

void tst_RegistrationParams::encodeOverlongText()
{
    // The length field has 16 bits: a text of more bytes is cut to 0xFFFF,
    // so that the header still tells the truth.
    const QString text = chars(70000, 'z');
    const QByteArray tlv = RegistrationParams::encodeTlv(
        1048, RegistrationParams::TlvKind::String, text, 256, false, QLatin1Char(' '));
    QCOMPARE(tlv.size(), 4 + 0xFFFF);
    QCOMPARE(tlv.left(4).toHex(), QByteArray("1804ffff"));
    QCOMPARE(tlv.mid(4), QByteArray(0xFFFF, 'z'));

    // At the bound the text goes whole.
    const QByteArray whole = RegistrationParams::encodeTlv(1048,
        RegistrationParams::TlvKind::String, chars(0xFFFF, 'z'), 256, false, QLatin1Char(' '));
    QCOMPARE(whole.size(), 4 + 0xFFFF);
}

void tst_RegistrationParams::tlvMap_data()
{
    QTest::addColumn<RegistrationParams>("record");
    QTest::addColumn<QList<int>>("tags");
    QTest::addColumn<TlvMap>("entries");

    const QList<int> online = { 1009, 1013, 1017, 1021, 1046, 1048, 1057, 1060, 1117, 1126, 1187,
        1188, 1189, 1193, 1207, 1209, 1221 };

    QTest::newRow("online, not an automat")
        << baseRecord() << online
        << TlvMap { { 1017, QByteArray::fromHex("f9030c00373730343231313230312020") },
               { 1021, QByteArray::fromHex("fd03060088a2a0adaea2") },
               { 1221, QByteArray::fromHex("c504010000") } };

    QTest::newRow("offline: OFD INN of twelve zeros, no OFD name, site, e-mail")
        << changed([](Rp &p) { p.setRegFlags(Rp::offlineMode); })
        << QList<int> { 1009, 1013, 1017, 1021, 1048, 1057, 1126, 1187, 1188, 1189, 1193, 1207,
               1209, 1221 }
        << TlvMap { { 1017, QByteArray::fromHex("f9030c00303030303030303030303030") } };

    QTest::newRow("offline, OFD fields emptied")
        << changed([](Rp &p) {
               p.setRegFlags(Rp::offlineMode);
               p.setOfdInn(QString());
               p.setOfdName(QString());
               p.setFnsSite(QString());
               p.setEmail(QString());
           })
        << QList<int> { 1009, 1013, 1017, 1021, 1048, 1057, 1126, 1187, 1188, 1189, 1193, 1207,
               1209, 1221 }
        << TlvMap { { 1017, QByteArray::fromHex("f9030c00303030303030303030303030") } };

    QTest::newRow("automat with printer and number")
        << changed([](Rp &p) {
               p.setRegFlags(Rp::automatMode | Rp::externPrinter);
               p.setAtmNumber(QStringLiteral(" A-17 "));
               p.setRegCashierInn(QStringLiteral("7704211201"));
           })
        << QList<int> { 1009, 1013, 1017, 1036, 1046, 1048, 1057, 1060, 1117, 1126, 1187, 1188,
               1189, 1193, 1207, 1209, 1221 }
        << TlvMap { { 1036, QByteArray::fromHex("0c040400412d3137") },
               { 1221, QByteArray::fromHex("c504010001") } };

    QTest::newRow("automat, blank number, no printer")
        << changed([](Rp &p) {
               p.setRegFlags(Rp::automatMode);
               p.setAtmNumber(QStringLiteral("   "));
               p.setRegCashierName(QString());
           })
        << QList<int> { 1009, 1013, 1017, 1046, 1048, 1057, 1060, 1117, 1126, 1187, 1188, 1189,
               1193, 1207, 1209, 1221 }
        << TlvMap { { 1221, QByteArray::fromHex("c504010000") } };

    QTest::newRow("automat number without automat mode") << changed([](Rp &p) {
        p.setAtmNumber(QStringLiteral("A-17"));
        p.setRegFlags(Rp::externPrinter);
    }) << online << TlvMap { { 1221, QByteArray::fromHex("c504010000") } };

    QTest::newRow("cashier INN of 10 padded with two blanks")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral(" 7704211201")); })
        << QList<int> { 1009, 1013, 1017, 1021, 1046, 1048, 1057, 1060, 1117, 1126, 1187, 1188,
               1189, 1193, 1203, 1207, 1209, 1221 }
        << TlvMap { { 1203, QByteArray::fromHex("b3040c00373730343231313230312020") } };
    QTest::newRow("cashier INN of 12")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("500100732259")); })
        << QList<int> { 1009, 1013, 1017, 1021, 1046, 1048, 1057, 1060, 1117, 1126, 1187, 1188,
               1189, 1193, 1203, 1207, 1209, 1221 }
        << TlvMap { { 1203, QByteArray::fromHex("b3040c00353030313030373332323539") } };
    QTest::newRow("cashier INN of twelve zeros is not sent")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("000000000000")); }) << online
        << TlvMap {};
    QTest::newRow("cashier INN of ten zeros is not sent")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("0000000000")); }) << online
        << TlvMap {};
    QTest::newRow("cashier INN starting with ten zeros is not sent")
        << changed([](Rp &p) { p.setRegCashierInn(QStringLiteral("000000000012")); }) << online
        << TlvMap {};

    QTest::newRow("excisable goods, games, lotteries")
        << changed([](Rp &p) {
               p.setRegFlags(Rp::excisableGoods | Rp::allowGames | Rp::allowLotteries);
           })
        << online
        << TlvMap { { 1207, QByteArray::fromHex("b704010001") },
               { 1193, QByteArray::fromHex("a904010001") },
               { 1126, QByteArray::fromHex("6604010001") } };
    QTest::newRow("agent flags 0x80 sent as 0")
        << changed([](Rp &p) { p.setAgentFlags(0x80); }) << online
        << TlvMap { { 1057, QByteArray::fromHex("2104010000") } };
    QTest::newRow("agent flags 0xFF sent as 0x7F")
        << changed([](Rp &p) { p.setAgentFlags(0xFF); }) << online
        << TlvMap { { 1057, QByteArray::fromHex("210401007f") } };
    QTest::newRow("FFD versions always 2") << changed([](Rp &p) {
        p.setFdfVersion(1);
        p.setFSfDfVersion(7);
    }) << online
                                           << TlvMap { { 1189, QByteArray::fromHex("a504010002") },
                                                  { 1209, QByteArray::fromHex("b904010002") } };
    QTest::newRow("texts trimmed")
        << changed([](Rp &p) {
               p.setUserName(QStringLiteral("  ООО Ромашка "));
               p.setEmail(QStringLiteral(" kkt@shop.ru\t"));
           })
        << online
        << TlvMap { { 1048, QByteArray::fromHex("18040b008e8e8e2090aeaca0e8aaa0") },
               { 1117, QByteArray::fromHex("5d040b006b6b744073686f702e7275") } };
    QTest::newRow("user name of 300 goes whole")
        << changed([](Rp &p) { p.setUserName(chars(300, 'n')); }) << online
        << TlvMap { { 1048, QByteArray::fromHex("18042c01") + QByteArray(300, 'n') } };
    QTest::newRow("OFD INN of 14 cut to 12")
        << changed([](Rp &p) { p.setOfdInn(QStringLiteral("77042112019999")); }) << online
        << TlvMap { { 1017, QByteArray::fromHex("f9030c00373730343231313230313939") } };
}

void tst_RegistrationParams::tlvMap()
{
    QFETCH(RegistrationParams, record);
    QFETCH(QList<int>, tags);
    QFETCH(TlvMap, entries);

    const TlvMap map = record.toTlvMap();
    QList<int> keys;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        keys << it.key();
        // Each entry is its own tag, little-endian, and a length that matches.
        QCOMPARE(int(quint8(it.value().at(0)) | quint8(it.value().at(1)) << 8), int(it.key()));
        QCOMPARE(
            int(quint8(it.value().at(2)) | quint8(it.value().at(3)) << 8), it.value().size() - 4);
    }
    QCOMPARE(keys, tags);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        QCOMPARE(map.value(it.key()).toHex(), it.value().toHex());
}

void tst_RegistrationParams::tlvMapOfBaseRecord()
{
    // Every byte of the complete record, worked out by hand from the FFD
    // layouts (CP866 texts, little-endian tags and lengths).
    const TlvMap expected {
        { 1009, QByteArray::fromHex("f10306008caee1aaa2a0") },
        { 1013, QByteArray::fromHex("f50305003132333435") },
        { 1017, QByteArray::fromHex("f9030c00373730343231313230312020") },
        { 1021, QByteArray::fromHex("fd03060088a2a0adaea2") },
        { 1046, QByteArray::fromHex("1604070092a0aae1aaaeac") },
        { 1048, QByteArray::fromHex("18040b008e8e8e2090aeaca0e8aaa0") },
        { 1057, QByteArray::fromHex("2104010005") },
        { 1060, QByteArray::fromHex("240410007777772e6e616c6f672e676f762e7275") },
        { 1117, QByteArray::fromHex("5d040b006b6b744073686f702e7275") },
        { 1126, QByteArray::fromHex("6604010000") },
        { 1187, QByteArray::fromHex("a304070091aaaba0a42031") },
        { 1188, QByteArray::fromHex("a4040300312e30") },
        { 1189, QByteArray::fromHex("a504010002") },
        { 1193, QByteArray::fromHex("a904010000") },
        { 1207, QByteArray::fromHex("b704010000") },
        { 1209, QByteArray::fromHex("b904010002") },
        { 1221, QByteArray::fromHex("c504010000") },
    };
    QCOMPARE(baseRecord().toTlvMap(), expected);
}

QTEST_APPLESS_MAIN(tst_RegistrationParams)
#include "tst_registrationparams.moc"
