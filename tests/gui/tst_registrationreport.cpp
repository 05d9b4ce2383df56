#include "registrationparams.h"
#include "registrationreport.h"

#include <QtTest>

// The report is checked against markup written out by hand, line by line.
class tst_RegistrationReport : public QObject
{
    Q_OBJECT

private slots:
    void row();
    void fullRecord_data();
    void fullRecord();
    void offlineRecord();
    void bitLabels_data();
    void bitLabels();
    void noBitsNoRows();
    void textGoesInUnescaped();
    void fiscalSign_data();
    void fiscalSign();
};

namespace {

const QString tableLine = QStringLiteral("<table width=\"100%\"cellspacing=0 cellpadding=0>");

QString expectedRow(const char *label, const char *value)
{
    return tableLine + QLatin1Char('\n') + QStringLiteral("<tr><td align=\"left\">")
        + QString::fromUtf8(label) + QStringLiteral("</td><td align=\"right\">")
        + QString::fromUtf8(value) + QStringLiteral("</td></tr></table>");
}

// A record as the form leaves it before the storage has answered.
RegistrationParams sampleFullRecord()
{
    RegistrationParams p;
    p.setUserName(QStringLiteral("ООО Ромашка"));
    p.setUserInn(QStringLiteral("7704211201"));
    p.setPaymentAddress(QStringLiteral("г. Тверь, ул. Советская, 1"));
    p.setPaymentPlace(QStringLiteral(" магазин 5"));
    p.setRegCashierName(QStringLiteral("Иванов И. И."));
    p.setRegCashierInn(QStringLiteral("000000000000"));
    p.setEmail(QStringLiteral("shop@romashka.ru"));
    p.setOfdName(QStringLiteral("Общество с ограниченной ответственностью Такском"));
    p.setOfdInn(QStringLiteral("7704211201"));
    p.setTaxes(0x03);
    p.setAgentFlags(0x05);
    p.setRegFlags(0x0009);
    p.setAtmNumber(QStringLiteral("АТМ-7"));
    p.setFnsSite(QStringLiteral("www.nalog.ru"));
    p.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    p.setSerial(QStringLiteral("00000012345678"));
    p.setOfficialVersion(QStringLiteral("1.0"));
    p.setRegNumber(QStringLiteral("0000000001012345"));
    p.setFsNumber(QStringLiteral("9999078900001234"));
    return p;
}

} // namespace

void tst_RegistrationReport::row()
{
    QCOMPARE(reportRow(QStringLiteral("КАССИР"), QStringLiteral("Петров")),
        QStringLiteral(
            "<table width=\"100%\"cellspacing=0 cellpadding=0>\n"
            "<tr><td align=\"left\">КАССИР</td><td align=\"right\">Петров</td></tr></table>"));
    // A label that holds a place marker itself does not swallow the value.
    QCOMPARE(reportRow(QStringLiteral("Модель %2"), QStringLiteral("12")),
        QStringLiteral(
            "<table width=\"100%\"cellspacing=0 cellpadding=0>\n"
            "<tr><td align=\"left\">Модель %2</td><td align=\"right\">12</td></tr></table>"));
}

void tst_RegistrationReport::fullRecord_data()
{
    QTest::addColumn<bool>("fiscalized");
    QTest::newRow("before fiscalization") << false;
    QTest::newRow("after fiscalization") << true;
}

void tst_RegistrationReport::fullRecord()
{
    QFETCH(bool, fiscalized);

    RegistrationParams p = sampleFullRecord();
    if (fiscalized) {
        p.setRegDate(QDateTime(QDate(2018, 3, 5), QTime(14, 7, 59)));
        p.setRegDocNumber(1);
        p.setFiscalCode(12345);
    }

    QStringList expected;
    expected << QStringLiteral("<!DOCTYPE HTML><html><head>")
             << QStringLiteral(
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">")
             << QStringLiteral("</head><body>")
             << QStringLiteral("<h3 align=\"center\">ОТЧЕТ О РЕГИСТРАЦИИ</h3>")
             << QStringLiteral("<div align=\"center\">ООО Ромашка</div>")
             << QStringLiteral("<div align=\"center\">ИНН 7704211201</div>")
             << QStringLiteral("<div align=\"center\">г. Тверь, ул. Советская, 1</div>")
             << QStringLiteral("<div align=\"center\">МЕСТО РАСЧЕТОВ магазин 5</div>")
             << expectedRow("КАССИР", "Иванов И. И.") << expectedRow("ИНН КАССИРА", "000000000000");
    if (fiscalized)
        expected << expectedRow("", "05.03.18 14:07");
    expected << expectedRow("ЭЛ. АДРЕС ОТПРАВИТЕЛЯ", "shop@romashka.ru")
             << expectedRow("НАИМЕНОВАНИЕ ОФД", "Общество с ограниченной ответственностью Такском")
             << expectedRow("ИНН ОФД", "7704211201") << expectedRow("СНО", "ОСН, УСН доход")
             << QStringLiteral("<div align=\"left\">БАНК ПЛ. АГЕНТ, ПЛ. АГЕНТ</div>")
             << expectedRow("", "ШФД") << expectedRow("", "ККТ ДЛЯ УСЛУГ")
             << expectedRow("АВТОМАТ", "АТМ-7") << expectedRow("АДРЕС САЙТА ФНС", "www.nalog.ru")
             << expectedRow("ФФД ККТ", "1.05") << expectedRow("ФФД ФН", "1.05")
             << expectedRow("ТАВРОН-Ф", "00000012345678") << expectedRow("ВЕРСИЯ ККТ", "1.0")
             << expectedRow("РЕГ. НОМЕР", "0000000001012345");
    if (fiscalized)
        expected << expectedRow("ФД ", "1");
    expected << expectedRow("ФН", "9999078900001234");
    if (fiscalized)
        expected << QStringLiteral(
            "<div align=\"center\"><b><font size=3>ФП 0000012345</font></b></div>");
    expected << QStringLiteral("</body></html>");

    const QString html = reportHtml(p);
    // Line by line first, so that a difference names its line.
    const QStringList lines = html.split(QLatin1Char('\n'));
    const QStringList expectedLines = expected.join(QLatin1Char('\n')).split(QLatin1Char('\n'));
    for (int i = 0; i < qMin(lines.size(), expectedLines.size()); ++i)
        QCOMPARE(lines.at(i), expectedLines.at(i));
    QCOMPARE(lines.size(), expectedLines.size());
    QCOMPARE(html, expected.join(QLatin1Char('\n')));
}

void tst_RegistrationReport::offlineRecord()
{
    RegistrationParams p;
    p.setUserName(QStringLiteral("ИП Сидоров"));
    p.setUserInn(QStringLiteral("500100732259"));
    p.setTaxes(0x00);
    p.setAgentFlags(0x00);
    p.setRegFlags(0x0002);
    p.setOfdInn(QStringLiteral("000000000000"));
    p.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    p.setSerial(QStringLiteral("42"));
    p.setOfficialVersion(QStringLiteral("2"));
    p.setRegNumber(QStringLiteral("0000000005012345"));
    p.setFsNumber(QStringLiteral("9999078900000001"));

    const QString expected = QStringList{
        QStringLiteral("<!DOCTYPE HTML><html><head>"),
        QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"),
        QStringLiteral("</head><body>"),
        QStringLiteral("<h3 align=\"center\">ОТЧЕТ О РЕГИСТРАЦИИ</h3>"),
        QStringLiteral("<div align=\"center\">ИП Сидоров</div>"),
        QStringLiteral("<div align=\"center\">ИНН 500100732259</div>"),
        expectedRow("", "АВТОНОМ. РЕЖИМ"),
        expectedRow("ФФД ККТ", "1.05"),
        expectedRow("ФФД ФН", "1.05"),
        expectedRow("ТАВРОН-Ф", "42"),
        expectedRow("ВЕРСИЯ ККТ", "2"),
        expectedRow("РЕГ. НОМЕР", "0000000005012345"),
        expectedRow("ФН", "9999078900000001"),
        QStringLiteral("</body></html>"),
    }.join(QLatin1Char('\n'));
    QCOMPARE(reportHtml(p), expected);
}

void tst_RegistrationReport::bitLabels_data()
{
    QTest::addColumn<int>("taxes");
    QTest::addColumn<int>("agentFlags");
    QTest::addColumn<int>("regFlags");
    QTest::addColumn<QString>("expectedLine");

    auto agentLine = [](const char *text) {
        return QStringLiteral("<div align=\"left\">%1</div>").arg(QString::fromUtf8(text));
    };

    QTest::newRow("tax bit 0") << 0x01 << 0 << 0 << expectedRow("СНО", "ОСН");
    QTest::newRow("tax bit 1") << 0x02 << 0 << 0 << expectedRow("СНО", "УСН доход");
    QTest::newRow("tax bit 2") << 0x04 << 0 << 0 << expectedRow("СНО", "УСН доход-расход");
    QTest::newRow("tax bit 3") << 0x08 << 0 << 0 << expectedRow("СНО", "ЕНВД");
    QTest::newRow("tax bit 4") << 0x10 << 0 << 0 << expectedRow("СНО", "ЕСХН");
    QTest::newRow("tax bit 5") << 0x20 << 0 << 0 << expectedRow("СНО", "Патент");
    QTest::newRow("tax bits 0x3f, top bits ignored")
        << 0xff << 0 << 0
        << expectedRow("СНО", "ОСН, УСН доход, УСН доход-расход, ЕНВД, ЕСХН, Патент");

    QTest::newRow("agent bit 0") << 0 << 0x01 << 0 << agentLine("БАНК ПЛ. АГЕНТ");
    QTest::newRow("agent bit 1") << 0 << 0x02 << 0 << agentLine("БАНК ПЛ. СУБАГЕНТ");
    QTest::newRow("agent bit 2") << 0 << 0x04 << 0 << agentLine("ПЛ. АГЕНТ");
    QTest::newRow("agent bit 3") << 0 << 0x08 << 0 << agentLine("ПЛ. СУБАГЕНТ");
    QTest::newRow("agent bit 4") << 0 << 0x10 << 0 << agentLine("ПОВЕРЕННЫЙ");
    QTest::newRow("agent bit 5") << 0 << 0x20 << 0 << agentLine("КОМИССИОНЕР");
    QTest::newRow("agent bit 6") << 0 << 0x40 << 0 << agentLine("АГЕНТ");
    QTest::newRow("agent bits 6 and 0, bit 7 ignored")
        << 0 << 0xc1 << 0 << agentLine("БАНК ПЛ. АГЕНТ, АГЕНТ");

    QTest::newRow("mode bit 0") << 0 << 0 << 0x001 << expectedRow("", "ШФД");
    QTest::newRow("mode bit 1") << 0 << 0 << 0x002 << expectedRow("", "АВТОНОМ. РЕЖИМ");
    QTest::newRow("mode bit 2") << 0 << 0 << 0x004 << expectedRow("", "АВТОМАТ. РЕЖИМ");
    QTest::newRow("mode bit 3") << 0 << 0 << 0x008 << expectedRow("", "ККТ ДЛЯ УСЛУГ");
    QTest::newRow("mode bit 4") << 0 << 0 << 0x010 << expectedRow("", "АС БСО");
    QTest::newRow("mode bit 5") << 0 << 0 << 0x020 << expectedRow("", "ККТ ДЛЯ ИНТЕРНЕТ");
    QTest::newRow("mode bit 6") << 0 << 0 << 0x040 << expectedRow("", "ПРИНТЕР В АВТОМАТЕ");
    QTest::newRow("mode bit 7") << 0 << 0 << 0x080 << expectedRow("", "ПОДАКЦИЗНЫЕ ТОВАРЫ");
    QTest::newRow("mode bit 8") << 0 << 0 << 0x100 << expectedRow("", "ПРОВЕДЕНИЕ АЗАРТНОЙ ИГРЫ");
    QTest::newRow("mode bit 9") << 0 << 0 << 0x200 << expectedRow("", "ПРОВЕДЕНИЕ ЛОТЕРЕИ");
    QTest::newRow("mode bits 9 and 0 in bit order, top bit ignored")
        << 0 << 0 << 0x8201
        << expectedRow("", "ШФД") + QLatin1Char('\n') + expectedRow("", "ПРОВЕДЕНИЕ ЛОТЕРЕИ");
}

void tst_RegistrationReport::bitLabels()
{
    QFETCH(int, taxes);
    QFETCH(int, agentFlags);
    QFETCH(int, regFlags);
    QFETCH(QString, expectedLine);

    RegistrationParams p;
    p.setTaxes(quint8(taxes));
    p.setAgentFlags(quint8(agentFlags));
    p.setRegFlags(quint16(regFlags));
    const QString html = reportHtml(p);

    // The bit lines stand between the OFD rows and the FFD rows; with all the
    // optional texts empty that is right after the INN line.
    const QString after = QStringLiteral("<div align=\"center\">ИНН </div>\n");
    const QString before = QLatin1Char('\n') + expectedRow("ФФД ККТ", "1.05");
    QVERIFY2(html.contains(after + expectedLine + before), qPrintable(html));
}

void tst_RegistrationReport::noBitsNoRows()
{
    RegistrationParams p;
    p.setTaxes(0xc0);
    p.setAgentFlags(0x80);
    p.setRegFlags(0xfc00);
    const QString html = reportHtml(p);
    QVERIFY(html.contains(
        QStringLiteral("<div align=\"center\">ИНН </div>\n") + expectedRow("ФФД ККТ", "1.05")));
    QVERIFY(!html.contains(QStringLiteral("СНО")));
    QVERIFY(!html.contains(QStringLiteral("<div align=\"left\">")));
}

void tst_RegistrationReport::textGoesInUnescaped()
{
    RegistrationParams p;
    p.setUserName(QStringLiteral("Рога & Копыта <b>"));
    p.setRegCashierName(QStringLiteral("\"Кассир\" %1"));
    const QString html = reportHtml(p);
    QVERIFY(html.contains(QStringLiteral("\n<div align=\"center\">Рога & Копыта <b></div>\n")));
    QVERIFY(html.contains(expectedRow("КАССИР", "\"Кассир\" %1")));
    QVERIFY(!html.contains(QStringLiteral("&amp;")));
    QVERIFY(!html.contains(QStringLiteral("&lt;")));
}

void tst_RegistrationReport::fiscalSign_data()
{
    QTest::addColumn<quint32>("fiscalCode");
    QTest::addColumn<quint32>("docNumber");
    QTest::addColumn<QString>("signLine");
    QTest::addColumn<QString>("docRow");

    QTest::newRow("short sign padded to ten digits")
        << quint32(12345) << quint32(7)
        << QStringLiteral("<div align=\"center\"><b><font size=3>ФП 0000012345</font></b></div>")
        << expectedRow("ФД ", "7");
    QTest::newRow("largest sign")
        << quint32(4294967295u) << quint32(4294967295u)
        << QStringLiteral("<div align=\"center\"><b><font size=3>ФП 4294967295</font></b></div>")
        << expectedRow("ФД ", "4294967295");
    QTest::newRow("sign without document number")
        << quint32(1) << quint32(0)
        << QStringLiteral("<div align=\"center\"><b><font size=3>ФП 0000000001</font></b></div>")
        << QString();
    QTest::newRow("document number without sign")
        << quint32(0) << quint32(3) << QString() << expectedRow("ФД ", "3");
}

void tst_RegistrationReport::fiscalSign()
{
    QFETCH(quint32, fiscalCode);
    QFETCH(quint32, docNumber);
    QFETCH(QString, signLine);
    QFETCH(QString, docRow);

    RegistrationParams p;
    p.setRegNumber(QStringLiteral("R"));
    p.setFsNumber(QStringLiteral("F"));
    p.setFiscalCode(fiscalCode);
    p.setRegDocNumber(docNumber);
    const QString html = reportHtml(p);

    QString tail = expectedRow("РЕГ. НОМЕР", "R") + QLatin1Char('\n');
    if (!docRow.isEmpty())
        tail += docRow + QLatin1Char('\n');
    tail += expectedRow("ФН", "F") + QLatin1Char('\n');
    if (!signLine.isEmpty())
        tail += signLine + QLatin1Char('\n');
    tail += QStringLiteral("</body></html>");
    QVERIFY2(html.endsWith(tail), qPrintable(html));
    QVERIFY(!html.contains(QStringLiteral("ФП ")) || !signLine.isEmpty());
    QVERIFY(!html.contains(QStringLiteral(">ФД <")) || !docRow.isEmpty());
}

QTEST_APPLESS_MAIN(tst_RegistrationReport)
#include "tst_registrationreport.moc"
