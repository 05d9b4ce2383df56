#include "mgr/appsession.h"

#include <QtTest>

class tst_AppSession : public QObject
{
    Q_OBJECT
private slots:
    void fromMap_data();
    void fromMap();
    void emptyMapGivesDefaults();
    void toSessionMap_data();
    void toSessionMap();
    void storeKeepsOneRecordPerType();
    void unknownTypeGivesDefaultAndStoresNothing();
    void travelsAsMetaType();
};

void tst_AppSession::fromMap_data()
{
    QTest::addColumn<QVariantMap>("map");
    QTest::addColumn<QString>("idSession");
    QTest::addColumn<qint64>("idDealer");
    QTest::addColumn<qint64>("idUser");
    QTest::addColumn<int>("flags");
    QTest::addColumn<qint64>("idHardSoft");

    QTest::newRow("login answer") << QVariantMap { { "idSession", "S1" }, { "idDealer", 7.0 },
        { "idUser", 9.0 }, { "blockedDealer", false }, { "blockedUser", false } }
                                  << "S1" << qint64(7) << qint64(9) << 0 << qint64(0);
    QTest::newRow("both blocked flags")
        << QVariantMap { { "blockedDealer", true }, { "blockedUser", true } } << "" << qint64(-1)
        << qint64(-1) << 3 << qint64(0);
    QTest::newRow("flags key overrides blocked flags")
        << QVariantMap { { "blockedDealer", true }, { "blockedUser", true }, { "flags", 0 } } << ""
        << qint64(-1) << qint64(-1) << 0 << qint64(0);
    QTest::newRow("blocked flag as text is not a boolean")
        << QVariantMap { { "blockedDealer", "true" } } << "" << qint64(-1) << qint64(-1) << 0
        << qint64(0);
    QTest::newRow("only user blocked")
        << QVariantMap { { "blockedDealer", false }, { "blockedUser", true } } << "" << qint64(-1)
        << qint64(-1) << 2 << qint64(0);
    QTest::newRow("flags carry other bits")
        << QVariantMap { { "flags", 0x14 } } << "" << qint64(-1) << qint64(-1) << 0x14 << qint64(0);
    QTest::newRow("idDealer as decimal text")
        << QVariantMap { { "idDealer", "42" } } << "" << qint64(42) << qint64(-1) << 0 << qint64(0);
    QTest::newRow("idDealer as other text")
        << QVariantMap { { "idDealer", "abc" } } << "" << qint64(0) << qint64(-1) << 0 << qint64(0);
    QTest::newRow("64-bit ids") << QVariantMap { { "idUser", "9007199254740993" },
        { "idHardSoft", "5000000000" } }
                                << "" << qint64(-1) << qint64(9007199254740993LL) << 0
                                << qint64(5000000000LL);
    QTest::newRow("idSession as number becomes text") << QVariantMap { { "idSession", 12 } } << "12"
                                                      << qint64(-1) << qint64(-1) << 0 << qint64(0);
}

void tst_AppSession::fromMap()
{
    QFETCH(QVariantMap, map);
    const AppSession session(map);
    QTEST(session.idSession(), "idSession");
    QTEST(session.idDealer(), "idDealer");
    QTEST(session.idUser(), "idUser");
    QTEST(session.flags(), "flags");
    QTEST(session.idHardSoft(), "idHardSoft");
    QFETCH(int, flags);
    QCOMPARE(session.isDealerBlocked(), bool(flags & 1));
    QCOMPARE(session.isUserBlocked(), bool(flags & 2));
}

void tst_AppSession::emptyMapGivesDefaults()
{
    const AppSession fromEmpty { QVariantMap() };
    QVERIFY(fromEmpty == AppSession());
    QCOMPARE(fromEmpty.idDealer(), qint64(-1));
    QCOMPARE(fromEmpty.idUser(), qint64(-1));
    QCOMPARE(fromEmpty.idHardSoft(), qint64(0));
    QCOMPARE(fromEmpty.flags(), 0);
    QVERIFY(fromEmpty.login().isEmpty());
    QVERIFY(fromEmpty.cookies().isEmpty());

    // Every text key lands in its own field; unknown keys are ignored.
    const QVariantMap all { { "login", "L" }, { "password", "P" }, { "nameUser", "NU" },
        { "idAccessKind", "AK" }, { "nameDealer", "ND" }, { "serialNo", "SN" },
        { "guidHardware", "GH" }, { "moduleName", "MN" }, { "cookies", "x=y" }, { "unknown", 1 } };
    const AppSession filled(all);
    QCOMPARE(filled.login(), QStringLiteral("L"));
    QCOMPARE(filled.password(), QStringLiteral("P"));
    QCOMPARE(filled.nameUser(), QStringLiteral("NU"));
    QCOMPARE(filled.idAccessKind(), QStringLiteral("AK"));
    QCOMPARE(filled.nameDealer(), QStringLiteral("ND"));
    QCOMPARE(filled.serialNo(), QStringLiteral("SN"));
    QCOMPARE(filled.guidHardware(), QStringLiteral("GH"));
    QCOMPARE(filled.moduleName(), QStringLiteral("MN"));
    QVERIFY(filled.cookies().isEmpty());
    QVERIFY(filled != AppSession());
}

void tst_AppSession::toSessionMap_data()
{
    QTest::addColumn<QString>("idSession");
    QTest::addColumn<qint64>("idDealer");
    QTest::addColumn<qint64>("idUser");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("default record")
        << QString() << qint64(-1) << qint64(-1)
        << QVariantMap { { "idSession", "" }, { "idDealer", "-1" }, { "idUser", "-1" } };
    QTest::newRow("granted session")
        << "S" << qint64(7) << qint64(9)
        << QVariantMap { { "idSession", "S" }, { "idDealer", "7" }, { "idUser", "9" } };
    QTest::newRow("large ids in decimal")
        << "X1" << qint64(1234567890123LL) << qint64(0)
        << QVariantMap { { "idSession", "X1" }, { "idDealer", "1234567890123" },
               { "idUser", "0" } };
}

void tst_AppSession::toSessionMap()
{
    QFETCH(QString, idSession);
    QFETCH(qint64, idDealer);
    QFETCH(qint64, idUser);
    QFETCH(QVariantMap, expected);
    AppSession session;
    session.setIdSession(idSession);
    session.setIdDealer(idDealer);
    session.setIdUser(idUser);
    const QVariantMap map = session.toSessionMap();
    QCOMPARE(map, expected);
    for (const QVariant &value : map)
        QCOMPARE(value.type(), QVariant::String);
}

void tst_AppSession::storeKeepsOneRecordPerType()
{
    AppSession first;
    first.setLogin(QStringLiteral("2604715837"));
    first.setPassword(QStringLiteral("37294052"));
    storeSession(AppSession::OperatorLogin, first);

    AppSession other;
    other.setIdSession(QStringLiteral("other"));
    storeSession(AppSession::SessionType(5), other);

    QVERIFY(storedSession(AppSession::OperatorLogin) == first);
    QVERIFY(storedSession(AppSession::SessionType(5)) == other);

    AppSession granted(QVariantMap { { "idSession", "S1" }, { "idDealer", 7 } });
    storeSession(AppSession::OperatorLogin, granted);
    QVERIFY(storedSession(AppSession::OperatorLogin) == granted);
    QVERIFY(storedSession(AppSession::OperatorLogin).login().isEmpty());
    QVERIFY(storedSession(AppSession::SessionType(5)) == other);
}

void tst_AppSession::unknownTypeGivesDefaultAndStoresNothing()
{
    const auto never = AppSession::SessionType(200);
    QVERIFY(!hasStoredSession(never));
    QVERIFY(storedSession(never) == AppSession());
    QVERIFY(!hasStoredSession(never));
}

void tst_AppSession::travelsAsMetaType()
{
    const int id = qRegisterMetaType<AppSession>("AppSession");
    QCOMPARE(QMetaType::type("AppSession"), id);
    AppSession session;
    session.setIdSession(QStringLiteral("S9"));
    const QVariant carried = QVariant::fromValue(session);
    QCOMPARE(carried.userType(), id);
    QVERIFY(carried.value<AppSession>() == session);
}

QTEST_GUILESS_MAIN(tst_AppSession)
#include "tst_appsession.moc"
