#include "fs/fiscalstorageanswer.h"
#include "fs/fsstate.h"

#include <QtTest>

namespace {

// An answer frame parsed from code 0x00 and the given data, or a frame that
// fails with the given frame result.
FiscalStorageAnswer answerWith(const QByteArray &data)
{
    // The checksum is not under test here: build the frame with the program's
    // own builder and parse it back.
    struct Frame : FiscalStorageMsg {
        Frame(const QByteArray &d) : FiscalStorageMsg(0x00, d) {}
        bool isValid() const override { return true; }
    };
    FiscalStorageAnswer answer;
    answer.fromByteArray(Frame(data).toByteArray());
    return answer;
}

FiscalStorageAnswer badChecksumAnswer(const QByteArray &data)
{
    struct Frame : FiscalStorageMsg {
        Frame(const QByteArray &d) : FiscalStorageMsg(0x00, d) {}
        bool isValid() const override { return true; }
    };
    QByteArray frame = Frame(data).toByteArray();
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0xff);
    FiscalStorageAnswer answer;
    answer.fromByteArray(frame);
    return answer;
}

// Status data (answer to 0x30), 30 bytes: phase, document type, has data,
// shift open, warnings, last document date-time (5), number (16), last
// document number (4, little-endian).
QByteArray statusData(quint8 phase, quint8 docType = 0x00)
{
    QByteArray data;
    data.append(char(phase));
    data.append(char(docType));
    data.append(char(1));                               // document has data
    data.append(char(0));                               // no shift open
    data.append(char(0x05));                            // warnings
    data.append(QByteArray::fromHex("130305" "0e07"));  // 2019-03-05 14:07
    data.append("9999078900001234");                    // storage number
    data.append(QByteArray::fromHex("2a000000"));       // document 42
    return data;
}

} // namespace

class tst_FsState : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void decodeStatus_data();
    void decodeStatus();
    void decodeStatusFields();
    void decodeNumber_data();
    void decodeNumber();
    void decodeLifeTime_data();
    void decodeLifeTime();
    void decodeVersion_data();
    void decodeVersion();
    void decodeTransport_data();
    void decodeTransport();
    void equality();
    void latestStateIsShared();
};

void tst_FsState::defaults()
{
    const FsState state;
    QVERIFY(!state.isValid());
    QCOMPARE(int(state.phase()), 0xF0);
    QCOMPARE(int(state.openedDocType()), 0x7F);
    QVERIFY(state.fsNumber().isEmpty());
    QVERIFY(state.isFiscalStorage());
    QVERIFY(!state.transport().isValid());
    QCOMPARE(state.transport().state(), 128);
    QVERIFY(!state.lifeTime().expirationDt().isValid());
}

void tst_FsState::decodeStatus_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("docType");

    QTest::newRow("ready, phase 0") << statusData(0x00) << 0 << 0x00 << 0x00;
    QTest::newRow("phase 1") << statusData(0x01) << 0 << 0x01 << 0x00;
    QTest::newRow("registered, phase 3") << statusData(0x03, 0x01) << 0 << 0x03 << 0x01;
    QTest::newRow("phase 7") << statusData(0x07) << 0 << 0x07 << 0x00;
    QTest::newRow("phase 15") << statusData(0x0F) << 0 << 0x0F << 0x00;
    QTest::newRow("phase 2 not recognised") << statusData(0x02) << 5 << 0xF0 << 0x00;
    QTest::newRow("document type 0x17") << statusData(0x01, 0x17) << 0 << 0x01 << 0x17;
    QTest::newRow("document type 0x15 not recognised") << statusData(0x01, 0x15) << 5 << 0x01 << 0x7F;
    QTest::newRow("29 bytes") << statusData(0x01).left(29) << 5 << 0xF0 << 0x7F;
    QTest::newRow("31 bytes") << statusData(0x01) + '\0' << 5 << 0xF0 << 0x7F;
}

void tst_FsState::decodeStatus()
{
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(int, phase);
    QFETCH(int, docType);

    FsState state;
    state.setFsVersion(QStringLiteral("kept"));
    QCOMPARE(int(answerWith(data).decodeStatus(state)), result);
    QCOMPARE(int(state.phase()), phase);
    QCOMPARE(int(state.openedDocType()), docType);
    QCOMPARE(state.isValid(), result == 0);
    QCOMPARE(state.fsVersion(), QStringLiteral("kept"));
}

void tst_FsState::decodeStatusFields()
{
    FsState state;
    QCOMPARE(int(answerWith(statusData(0x01)).decodeStatus(state)), 0);
    QVERIFY(state.hasDocumentData());
    QVERIFY(!state.cycleIsOpen());
    QCOMPARE(int(state.warnings()), 5);
    QCOMPARE(state.lastDocDt(), QDateTime(QDate(2019, 3, 5), QTime(14, 7)));
    QCOMPARE(state.fsNumber(), QStringLiteral("9999078900001234"));
    QCOMPARE(state.lastDocNumber(), quint32(42));

    // A failing frame resets the status fields first and reports the frame result.
    QCOMPARE(int(badChecksumAnswer(statusData(0x01)).decodeStatus(state)), 4);
    QCOMPARE(int(state.phase()), 0xF0);
    QVERIFY(state.fsNumber().isEmpty());
    QCOMPARE(state.lastDocNumber(), quint32(0));
}

void tst_FsState::decodeNumber_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("number");

    QTest::newRow("16 digits") << QByteArray("9999078900001234") << 0 << QStringLiteral("9999078900001234");
    // Cyrillic "ФН" in CP866 (0x94 0x8d), kept untrimmed.
    QTest::newRow("cp866 text") << QByteArray("\x94\x8d" "0000000000000 ") << 0
                                << QStringLiteral("ФН0000000000000 ");
    QTest::newRow("15 bytes") << QByteArray("999907890000123") << 5 << QString();
}

void tst_FsState::decodeNumber()
{
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(QString, number);

    FsState state;
    state.setFsNumber(QStringLiteral("earlier"));
    QCOMPARE(int(answerWith(data).decodeNumber(state)), result);
    QCOMPARE(state.fsNumber(), number);
}

void tst_FsState::decodeLifeTime_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<QDate>("expiration");
    QTest::addColumn<int>("available");
    QTest::addColumn<int>("completed");

    QTest::newRow("dated") << QByteArray::fromHex("1a0c1f0c01") << 0 << QDate(2026, 12, 31) << 12 << 1;
    QTest::newRow("never registered, no date") << QByteArray::fromHex("0000000c00") << 0 << QDate() << 12 << 0;
    // The previous record stays when the new one is refused.
    QTest::newRow("registered, no date") << QByteArray::fromHex("0000000b01") << 5 << QDate(2030, 1, 2) << 3 << 4;
    QTest::newRow("four bytes") << QByteArray::fromHex("1a0c1f0c") << 5 << QDate(2030, 1, 2) << 3 << 4;
}

void tst_FsState::decodeLifeTime()
{
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(QDate, expiration);
    QFETCH(int, available);
    QFETCH(int, completed);

    FsState state;
    state.setLifeTime(FsLifeTime(QDate(2030, 1, 2), 3, 4));
    QCOMPARE(int(answerWith(data).decodeLifeTime(state)), result);
    QCOMPARE(state.lifeTime().expirationDt(), expiration);
    QCOMPARE(int(state.lifeTime().availableRegistrations()), available);
    QCOMPARE(int(state.lifeTime().completedRegistrations()), completed);
}

void tst_FsState::decodeVersion_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("debugMode");

    QTest::newRow("1.2, a fiscal storage") << QByteArray("1.2") + QByteArray(13, '\0') + '\x01' << 0
                                          << QStringLiteral("1.2") << false;
    QTest::newRow("1.2, an MGM") << QByteArray("1.2") + QByteArray(14, '\0') << 0 << QStringLiteral("1.2") << true;
    QTest::newRow("control and high bytes dropped")
        << QByteArray("fn\x1f" "1.1\x80\xff" "b20     ") + '\x01' << 0 << QStringLiteral("fn1.1b20     ") << false;
    QTest::newRow("16 bytes") << QByteArray("1.2") + QByteArray(13, '\0') << 5 << QString() << false;
}

void tst_FsState::decodeVersion()
{
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(QString, version);
    QFETCH(bool, debugMode);

    FsState state;
    state.setFsVersion(QStringLiteral("old"));
    state.setDebugMode(true);
    QCOMPARE(int(answerWith(data).decodeVersion(state)), result);
    QCOMPARE(state.fsVersion(), version);
    QCOMPARE(state.debugMode(), debugMode);
    QCOMPARE(state.isFiscalStorage(), !debugMode);
}

void tst_FsState::decodeTransport_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("unconfirmed");

    // state, reading begun, 3 unconfirmed, first number 7, 2019-03-05 14:07
    QTest::newRow("three unconfirmed") << QByteArray::fromHex("0101030007000000" "130305" "0e07") << 0 << 1 << 3;
    QTest::newRow("state 0x7f") << QByteArray::fromHex("7f00000000000000" "0000000000") << 0 << 0x7f << 0;
    QTest::newRow("state 0x80") << QByteArray::fromHex("8000000000000000" "0000000000") << 5 << 0x80 << 0;
    QTest::newRow("12 bytes") << QByteArray::fromHex("0101030007000000" "130305" "0e") << 5 << 128 << 0;
}

void tst_FsState::decodeTransport()
{
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QFETCH(int, state);
    QFETCH(int, unconfirmed);

    FsTransportState transport;
    transport.setOfflineDocsCount(99);
    QCOMPARE(int(answerWith(data).decodeTransport(transport)), result);
    QCOMPARE(transport.state(), state);
    QCOMPARE(int(transport.offlineDocsCount()), unconfirmed);
    QCOMPARE(transport.isValid(), state < 128);
    if (unconfirmed == 3) {
        QVERIFY(transport.docIsReading());
        QCOMPARE(transport.firstDocNumber(), quint32(7));
        QCOMPARE(transport.firstDocDt(), QDateTime(QDate(2019, 3, 5), QTime(14, 7)));
    }
}

void tst_FsState::equality()
{
    FsState a;
    QVERIFY(answerWith(statusData(0x01)).decodeStatus(a) == 0);
    FsState b = a;
    QVERIFY(a == b);
    QVERIFY(!(a != b));

    FsTransportState transport;
    transport.setFirstDocDt(QDateTime(QDate(2019, 3, 5), QTime(14, 7)));
    b.setTransport(transport);
    QVERIFY(a != b);

    b = a;
    b.setLifeTime(FsLifeTime(QDate(2030, 1, 1), 0, 0));
    QVERIFY(a != b);

    b = a;
    b.setDebugMode(true);
    QVERIFY(a != b);
}

void tst_FsState::latestStateIsShared()
{
    setCurrentFsState(FsState());
    QVERIFY(!currentFsState().isValid());

    FsState state;
    QVERIFY(answerWith(statusData(0x03)).decodeStatus(state) == 0);
    setCurrentFsState(state);
    QCOMPARE(currentFsState(), state);
    QCOMPARE(currentFsState().fsNumber(), QStringLiteral("9999078900001234"));

    // Readers on other threads see whole copies.
    QAtomicInt mismatches = 0;
    FsState other = state;
    other.setFsNumber(QStringLiteral("0000000000000001"));
    QThread *reader = QThread::create([&] {
        for (int i = 0; i < 20000; ++i) {
            const FsState seen = currentFsState();
            if (seen != state && seen != other)
                ++mismatches;
        }
    });
    reader->start();
    for (int i = 0; i < 20000; ++i)
        setCurrentFsState(i % 2 ? state : other);
    reader->wait();
    delete reader;
    QCOMPARE(int(mismatches), 0);
    setCurrentFsState(FsState());
}

QTEST_APPLESS_MAIN(tst_FsState)
#include "tst_fsstate.moc"
