#include "fs/ofdinfo.h"

#include <QtTest>

class tst_OfdInfo : public QObject
{
    Q_OBJECT

private slots:
    void defaultRecord();
    void fullConstructor();
    void validity_data();
    void validity();
    void copyAndSwap();

    void directoryRows_data();
    void directoryRows();
    void directoryOrder();
    void directoryIsOneTable();
    void lookup_data();
    void lookup();
};

void tst_OfdInfo::defaultRecord()
{
    const OfdInfo info;
    QVERIFY(!info.isValid());
    QCOMPARE(info.inn(), QString());
    QCOMPARE(info.addr(), QString());
    QCOMPARE(info.port(), quint16(0));
    QCOMPARE(info.dns(), QString());
    QCOMPARE(info.interval(), 10000);
    QVERIFY(!info.url().isEmpty());
    QCOMPARE(info.name(), QString());
    QCOMPARE(info.ai(), 0u);
    QCOMPARE(info.sname(), QString());
}

void tst_OfdInfo::fullConstructor()
{
    const OfdInfo info(QStringLiteral(" 1234567890 "), QStringLiteral("  ofd.local \t"), 7777,
        QStringLiteral(" 8.8.4.4 "), 5000, QStringLiteral(" https://check.local "),
        QStringLiteral(" Полное имя "), QStringLiteral(" Кратко "));
    QVERIFY(info.isValid());
    // INN and names are kept as given; addresses and the check site read trimmed.
    QCOMPARE(info.inn(), QStringLiteral(" 1234567890 "));
    QCOMPARE(info.addr(), QStringLiteral("ofd.local"));
    QCOMPARE(info.port(), quint16(7777));
    QCOMPARE(info.dns(), QStringLiteral("8.8.4.4"));
    QCOMPARE(info.interval(), 5000);
    QCOMPARE(info.url(), QStringLiteral("https://check.local"));
    QCOMPARE(info.name(), QStringLiteral(" Полное имя "));
    QCOMPARE(info.sname(), QStringLiteral(" Кратко "));
    QCOMPARE(info.ai(), 0u);
}

void tst_OfdInfo::validity_data()
{
    QTest::addColumn<QString>("addr");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("readAddr");

    QTest::newRow("host and port")
        << QStringLiteral("ofd.local") << 21101 << true << QStringLiteral("ofd.local");
    QTest::newRow("IPv4 and port")
        << QStringLiteral("127.0.0.1") << 7777 << true << QStringLiteral("127.0.0.1");
    QTest::newRow("host, port 0") << QStringLiteral("ofd.local") << 0 << false
                                  << QStringLiteral("ofd.local");
    QTest::newRow("empty address") << QString() << 7777 << false << QString();
    // Blanks name no server: a record made of them must not pass as one.
    QTest::newRow("blanks as address")
        << QString(64, QLatin1Char(' ')) << 7777 << false << QString();
}

void tst_OfdInfo::validity()
{
    QFETCH(QString, addr);
    QFETCH(int, port);
    QFETCH(bool, valid);
    QFETCH(QString, readAddr);

    const OfdInfo info(QStringLiteral("7704211201"), addr, quint16(port), QString(), 10000,
        QString(), QString(), QString());
    QCOMPARE(info.isValid(), valid);
    QCOMPARE(info.addr(), readAddr);
}

void tst_OfdInfo::copyAndSwap()
{
    const OfdInfo *taxcom = findOfdInfo(QStringLiteral("7704211201"));
    const OfdInfo *tander = findOfdInfo(QStringLiteral("2310031475"));
    QVERIFY(taxcom && tander);

    OfdInfo a = *taxcom;
    OfdInfo b;
    QCOMPARE(a, *taxcom);
    QVERIFY(a != b);

    b = *tander;
    swap(a, b);
    QCOMPARE(a, *tander);
    QCOMPARE(b, *taxcom);

    a = OfdInfo();
    QVERIFY(!a.isValid());
    QCOMPARE(a, OfdInfo());
    QCOMPARE(*tander, ofdDirectory().value(QStringLiteral("2310031475")));
}

void tst_OfdInfo::directoryRows_data()
{
    QTest::addColumn<QString>("inn");
    QTest::addColumn<QString>("sname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("addr");

    const QString ooo = QStringLiteral("Общество с ограниченной ответственностью ");
    QTest::newRow("1") << "7704211201"
                       << "Такском" << ooo + "Такском" << 7777 << "f1.taxcom.ru";
    QTest::newRow("2") << "9715260691"
                       << "Эвотор ОФД" << ooo + "Эвотор ОФД" << 21101 << "ofdp.platformaofd.ru";
    QTest::newRow("3") << "7709364346"
                       << "Энергетические системы и коммуникации"
                       << "Акционерное общество Энергетические системы и коммуникации" << 7777
                       << "k-server.1-ofd.ru";
    QTest::newRow("4") << "7728699517"
                       << "Ярус" << ooo + "Ярус" << 7779 << "connect.ofd-ya.ru";
    QTest::newRow("5") << "7841465198"
                       << "ПЕТЕР-СЕРВИС Спецтехнологии" << ooo + "ПЕТЕР-СЕРВИС Спецтехнологии"
                       << 4000 << "gate.ofd.ru";
    QTest::newRow("6, spelt Общества")
        << "7605016030"
        << "Компания Тензор"
        << "Общества с ограниченной ответственностью Компания Тензор" << 7777 << "kkt.sbis.ru";
    QTest::newRow("7") << "4029017981"
                       << "КАЛУГА АСТРАЛ"
                       << "Закрытое акционерное общество КАЛУГА АСТРАЛ" << 7777
                       << "ofd.astralnalog.ru";
    QTest::newRow("8") << "6663003127"
                       << "СКБ Контур"
                       << "Закрытое акционерное общество Производственная фирма СКБ Контур" << 7777
                       << "ofd.kontur.ru";
    QTest::newRow("9") << "7704358518"
                       << "Яндекс.ОФД" << ooo + "Яндекс.ОФД" << 12345 << "kkt.ofd.yandex.net";
    QTest::newRow("10") << "7729633131"
                        << "Электронный экспресс" << ooo + "Электронный экспресс" << 30801
                        << "ofd.garantexpress.ru";
    QTest::newRow("11, spelt Общества")
        << "7801392271"
        << "КОРУС Консалтинг СНГ"
        << "Общества с ограниченной ответственностью КОРУС Консалтинг СНГ" << 7001 << "92.38.2.202";
    QTest::newRow("12") << "2310031475"
                        << "Тандер"
                        << "Акционерное общество Тандер" << 7001 << "kkt.ofd-magnit.ru";
    QTest::newRow("13, quoted") << "5902034504"
                                << "Удостоверяющий центр \"ИнитПро\""
                                << ooo + "Удостоверяющий центр \"ИнитПро\"" << 9999
                                << "kkt.ofd-initpro.ru";
    QTest::newRow("14") << "7729642175"
                        << "ГРУППА ЭЛЕМЕНТ" << ooo + "\"ГРУППА ЭЛЕМЕНТ\"" << 7777 << "kkt.e-ofd.ru";
    QTest::newRow("15, loopback") << "7703282175"
                                  << "Энвижн Груп"
                                  << "Акционерное общество \"Энвижн Груп\"" << 7777 << "127.0.0.1";
    QTest::newRow("16") << "7713076301"
                        << "Вымпел-Коммуникации"
                        << "Публичное акционерное общество \"Вымпел-Коммуникации\"" << 7765
                        << "217.118.87.210";
    QTest::newRow("17") << "7710007966"
                        << "МультиКарта" << ooo + "\"МультиКарта\"" << 21101 << "ofd.multicarta.ru";
    QTest::newRow("18") << "7802870820"
                        << "Дримкас" << ooo + "\"Дримкас\"" << 21101 << "185.241.176.4";
    QTest::newRow("19, host of row 8")
        << "6658497833"
        << "Контур НТТ" << ooo + "\"Контур НТТ\"" << 7777 << "ofd.kontur.ru";
    QTest::newRow("20, no published address") << "7725225244"
                                              << "АТЛАС" << ooo + "\"АТЛАС\"" << 19086 << QString();
}

void tst_OfdInfo::directoryRows()
{
    QFETCH(QString, inn);
    QFETCH(QString, sname);
    QFETCH(QString, name);
    QFETCH(int, port);
    QFETCH(QString, addr);

    const OfdInfo *info = findOfdInfo(inn);
    QVERIFY(info);
    QCOMPARE(info->inn(), inn);
    QCOMPARE(info->sname(), sname);
    QCOMPARE(info->name(), name);
    QCOMPARE(int(info->port()), port);
    QCOMPARE(info->addr(), addr);
    QCOMPARE(info->isValid(), !addr.isEmpty());
    QCOMPARE(info->interval(), 10000);
    QCOMPARE(info->dns(), QStringLiteral("8.8.8.8"));
    QCOMPARE(info->ai(), 0u);
    QVERIFY(!info->url().isEmpty());
}

void tst_OfdInfo::directoryOrder()
{
    const OfdDirectory &directory = ofdDirectory();
    QCOMPARE(directory.size(), 20);
    QCOMPARE(directory.firstKey(), QStringLiteral("2310031475"));
    QCOMPARE(directory.first().sname(), QStringLiteral("Тандер"));
    QCOMPARE(directory.lastKey(), QStringLiteral("9715260691"));
    QCOMPARE(directory.last().sname(), QStringLiteral("Эвотор ОФД"));

    qulonglong previous = 0;
    for (auto it = directory.cbegin(); it != directory.cend(); ++it) {
        QCOMPARE(it.key(), it.value().inn());
        QCOMPARE(it.key().size(), 10);
        const qulonglong number = it.key().toULongLong();
        QVERIFY2(number > previous, qPrintable(it.key()));
        previous = number;
    }
    // Only the operator served from the loopback address uses it, and only
    // one operator's server carries "magnit".
    int loopback = 0;
    int magnit = 0;
    for (const OfdInfo &info : directory) {
        loopback += info.addr() == QLatin1String("127.0.0.1");
        magnit += info.addr().contains(QLatin1String("magnit"));
    }
    QCOMPARE(loopback, 1);
    QCOMPARE(magnit, 1);
    QVERIFY(findOfdInfo(QStringLiteral("2310031475"))->addr().contains(QLatin1String("magnit")));
}

void tst_OfdInfo::directoryIsOneTable()
{
    // The same table, not a fresh copy, every time: pointers into it stay good.
    QCOMPARE(&ofdDirectory(), &ofdDirectory());
    QCOMPARE(findOfdInfo(QStringLiteral("7703282175")),
        &ofdDirectory().find(QStringLiteral("7703282175")).value());
}

void tst_OfdInfo::lookup_data()
{
    QTest::addColumn<QString>("inn");
    QTest::addColumn<bool>("found");

    QTest::newRow("trimmed INN") << QStringLiteral("7703282175") << true;
    QTest::newRow("leading blank") << QStringLiteral(" 7703282175") << false;
    QTest::newRow("trailing blank") << QStringLiteral("7703282175 ") << false;
    QTest::newRow("valid INN of no operator") << QStringLiteral("0000000000") << false;
    QTest::newRow("12-digit INN") << QStringLiteral("500100732259") << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_OfdInfo::lookup()
{
    QFETCH(QString, inn);
    QFETCH(bool, found);

    const OfdInfo *info = findOfdInfo(inn);
    QCOMPARE(info != nullptr, found);
    QCOMPARE(ofdDirectory().contains(inn), found);
    if (found) {
        QCOMPARE(info->inn(), inn.trimmed());
        QCOMPARE(info->addr(), QStringLiteral("127.0.0.1"));
        QCOMPARE(info->port(), quint16(7777));
    }
}

QTEST_APPLESS_MAIN(tst_OfdInfo)
#include "tst_ofdinfo.moc"
