// The OFD connection worker against the emulated operator, which serves on an
// ephemeral loopback port in a thread of its own so that the worker's
// blocking calls do not starve it.

#include "fs/fsstate.h"
#include "fs/ofdinfo.h"
#include "fs/ofdworker.h"
#include "ofdserveremulator.h"
#include "ofdtestdocument.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using ofdemu::Scenario;
using ofdtest::registrationDocument;

namespace {

const QByteArray fsNumber("9999078902004321");
const QString loopbackInn = QStringLiteral("7703282175"); // the directory's loopback operator
const QString otherInn = QStringLiteral("7704211201");

OfdInfo loopbackRecord(quint16 port, const QString &addr = QStringLiteral("127.0.0.1"))
{
    return OfdInfo(loopbackInn, addr, port, QString(), 10000, QString(),
        QStringLiteral("test operator"), QStringLiteral("test"));
}

// A port on which nothing listens: taken and let go again.
quint16 closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// The TLVs of a receipt body, by tag.
QMap<quint16, QByteArray> receiptTlvs(const QByteArray &receipt)
{
    QMap<quint16, QByteArray> tlvs;
    int offset = 0;
    while (offset + 4 <= receipt.size()) {
        const quint16 tag
            = quint16(quint8(receipt.at(offset)) | (quint8(receipt.at(offset + 1)) << 8));
        const int length = quint8(receipt.at(offset + 2)) | (quint8(receipt.at(offset + 3)) << 8);
        tlvs.insert(tag, receipt.mid(offset + 4, length));
        offset += 4 + length;
    }
    return offset == receipt.size() ? tlvs : QMap<quint16, QByteArray>();
}

} // namespace

class tst_OfdWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void selectOfd_data();
    void selectOfd();
    void setOfdInn_data();
    void setOfdInn();

    void openListening_data();
    void openListening();
    void openRefused();
    void openZeroReturnsWhileConnecting();
    void openWhileConnectingOrConnected();
    void startConnectsAndStopDrops();

    void syncSendReturnsReceipt();
    void syncSendOverNewConnection();
    void replyChecks_data();
    void replyChecks();
    void noReplyWithinTimeout();
    void storageNumberOfWrongLength();
    void lateReplyDoesNotReachSlot();
    void asyncReplyReachesSlot();
    void relaxedCheckForMagnit_data();
    void relaxedCheckForMagnit();

private:
    std::unique_ptr<OfdWorker> connectedWorker();

    std::unique_ptr<OfdServerEmulator> m_emulator;
};

void tst_OfdWorker::initTestCase()
{
    FsState state;
    state.setFsNumber(QString::fromLatin1(fsNumber));
    setCurrentFsState(state);
}

void tst_OfdWorker::init()
{
    m_emulator = std::make_unique<OfdServerEmulator>();
    QVERIFY2(m_emulator->start(), qPrintable(m_emulator->errorString()));
}

void tst_OfdWorker::cleanup()
{
    m_emulator.reset();
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    FsState state;
    state.setFsNumber(QString::fromLatin1(fsNumber));
    setCurrentFsState(state);
}

std::unique_ptr<OfdWorker> tst_OfdWorker::connectedWorker()
{
    auto worker = std::make_unique<OfdWorker>();
    const OfdInfo record = loopbackRecord(m_emulator->port());
    worker->selectOfd(&record);
    if (!worker->open(5000))
        return nullptr;
    return worker;
}

void tst_OfdWorker::selectOfd_data()
{
    QTest::addColumn<QString>("inn");
    QTest::addColumn<bool>("giveRecord");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("addr");
    QTest::addColumn<int>("port");

    QTest::newRow("given record") << QString() << true << true << "127.0.0.1" << 4242;
    QTest::newRow("given record wins over the INN")
        << otherInn << true << true << "127.0.0.1" << 4242;
    QTest::newRow("loopback operator from the directory")
        << loopbackInn << false << true << "127.0.0.1" << 7777;
    QTest::newRow("INN with blanks is trimmed")
        << " 7703282175 " << false << true << "127.0.0.1" << 7777;
    QTest::newRow("valid INN not in the directory")
        << "7707083893" << false << false << QString() << 0;
    QTest::newRow("INN with a wrong check digit")
        << "7703282176" << false << false << QString() << 0;
    QTest::newRow("no INN") << QString() << false << false << QString() << 0;
}

void tst_OfdWorker::selectOfd()
{
    QFETCH(QString, inn);
    QFETCH(bool, giveRecord);
    QFETCH(bool, selected);
    QFETCH(QString, addr);
    QFETCH(int, port);

    OfdWorker worker;
    worker.setOfdInn(inn);
    const OfdInfo given = loopbackRecord(4242);
    QCOMPARE(worker.selectOfd(giveRecord ? &given : nullptr), selected);
    QCOMPARE(worker.ofd().isValid(), selected);
    QCOMPARE(worker.ofd().addr(), addr);
    QCOMPARE(int(worker.ofd().port()), port);

    // once valid, the record stays selected
    if (selected) {
        QVERIFY(worker.selectOfd());
        QCOMPARE(int(worker.ofd().port()), port);
    }
}

void tst_OfdWorker::setOfdInn_data()
{
    QTest::addColumn<bool>("connect");
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("innAfter");
    QTest::addColumn<bool>("recordKept");
    QTest::addColumn<bool>("stillConnected");

    QTest::newRow("same INN keeps record and connection")
        << true << loopbackInn << loopbackInn << true << true;
    QTest::newRow("same INN with blanks") << true << " 7703282175 " << loopbackInn << true << true;
    QTest::newRow("empty INN keeps record and connection")
        << true << QString() << QString() << true << true;
    QTest::newRow("another INN drops both") << true << otherInn << otherInn << false << false;
    QTest::newRow("another INN without a socket keeps the record")
        << false << otherInn << otherInn << true << false;
}

void tst_OfdWorker::setOfdInn()
{
    QFETCH(bool, connect);
    QFETCH(QString, next);
    QFETCH(QString, innAfter);
    QFETCH(bool, recordKept);
    QFETCH(bool, stillConnected);

    OfdWorker worker;
    worker.setOfdInn(loopbackInn);
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    if (connect)
        QVERIFY(worker.open(5000));
    QSignalSpy state(&worker, &OfdWorker::connectionStateChanged);
    QVERIFY(state.isValid());

    worker.setOfdInn(next);
    QCOMPARE(worker.ofdInn(), innAfter);
    QCOMPARE(worker.ofd().isValid(), recordKept);
    if (recordKept)
        QCOMPARE(worker.ofd(), record);
    else
        QCOMPARE(worker.ofd(), OfdInfo());

    auto *socket = worker.findChild<QTcpSocket *>();
    QCOMPARE(socket != nullptr, connect);
    if (!connect)
        return;
    if (stillConnected) {
        QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
        QCOMPARE(state.count(), 0);
    } else {
        QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.last().at(0).toBool(), false);
    }
}

void tst_OfdWorker::openListening_data()
{
    QTest::addColumn<QString>("addr");
    QTest::newRow("IPv4 loopback") << "127.0.0.1";
    QTest::newRow("blanks around the address") << "  127.0.0.1  ";
    QTest::newRow("host name") << "localhost";
}

void tst_OfdWorker::openListening()
{
    QFETCH(QString, addr);
    OfdWorker worker;
    QSignalSpy state(&worker, &OfdWorker::connectionStateChanged);
    QVERIFY(state.isValid());
    QSignalSpy accepted(m_emulator.get(), &OfdServerEmulator::connectionAccepted);
    QVERIFY(accepted.isValid());

    const OfdInfo record = loopbackRecord(m_emulator->port(), addr);
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(worker.open(5000));
    QCOMPARE(worker.fsNumber(), QString::fromLatin1(fsNumber));
    QVERIFY(!state.isEmpty());
    QCOMPARE(state.last().at(0).toBool(), true);
    QTRY_COMPARE(accepted.count(), 1);
}

void tst_OfdWorker::openRefused()
{
    m_emulator->setScenario(Scenario::Refuse);
    OfdWorker worker;
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(!worker.open(5000));
    QVERIFY(worker.sendSyncDocument(registrationDocument(fsNumber, 1)).isEmpty());
    QCOMPARE(m_emulator->connectionCount(), 0);

    // with no record to select, nothing is tried
    OfdWorker unselected;
    unselected.setOfdInn(QStringLiteral("7707083893"));
    QVERIFY(!unselected.open(5000));
    QVERIFY(!unselected.open(0));
}

void tst_OfdWorker::openZeroReturnsWhileConnecting()
{
    // Nothing listens on the port: open(0) is still true, since it only starts
    // connecting; the attempt then fails on its own.
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    OfdWorker worker;
    const OfdInfo record = loopbackRecord(port);
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(worker.open(0));
    auto *socket = worker.findChild<QTcpSocket *>();
    QVERIFY(socket);
    QTRY_COMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!worker.open(2000));
}

void tst_OfdWorker::openWhileConnectingOrConnected()
{
    OfdWorker worker;
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(worker.open(0));
    QVERIFY(worker.open(0)); // connecting: true at once
    auto *socket = worker.findChild<QTcpSocket *>();
    QVERIFY(socket);
    QTRY_COMPARE(socket->state(), QAbstractSocket::ConnectedState);
    QVERIFY(worker.open(5000)); // connected: true at once
    QCOMPARE(worker.findChild<QTcpSocket *>(), socket);

    // the document goes over the one connection
    QVERIFY(!worker.sendSyncDocument(registrationDocument(fsNumber, 3)).isEmpty());
    QCOMPARE(m_emulator->connectionCount(), 1);
}

void tst_OfdWorker::startConnectsAndStopDrops()
{
    OfdWorker worker;
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    QSignalSpy state(&worker, &OfdWorker::connectionStateChanged);
    QVERIFY(state.isValid());

    worker.start();
    QTRY_VERIFY(!state.isEmpty() && state.last().at(0).toBool());
    QPointer<QTcpSocket> socket = worker.findChild<QTcpSocket *>();
    QVERIFY(socket);

    worker.stop();
    QTRY_VERIFY(socket.isNull());
    QCOMPARE(state.last().at(0).toBool(), false);
    QCOMPARE(worker.ofd(), record); // the record stays selected
}

void tst_OfdWorker::syncSendReturnsReceipt()
{
    auto worker = connectedWorker();
    QVERIFY(worker);
    QSignalSpy receipts(worker.get(), &OfdWorker::receiptRecieved);
    QVERIFY(receipts.isValid());

    const QByteArray document = registrationDocument(fsNumber, 7, 0x11223344);
    const QByteArray receipt = worker->sendSyncDocument(document);
    QVERIFY(!receipt.isEmpty());
    QCOMPARE(receipts.count(), 1);
    QCOMPARE(receipts.at(0).at(0).toByteArray(), receipt);

    const QMap<quint16, QByteArray> tlvs = receiptTlvs(receipt);
    QCOMPARE(tlvs.value(1041), fsNumber);
    QCOMPARE(tlvs.value(1040).toHex(), QByteArray("07000000"));
    QCOMPARE(tlvs.value(1078).size(), 18);

    const QList<QJsonObject> records = m_emulator->records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).value("headerStorageNumber").toString(), QString::fromLatin1(fsNumber));
    QCOMPARE(records.at(0).value("document").toString(), QString::fromLatin1(document.toHex()));
    QCOMPARE(records.at(0).value("fiscalSign").toDouble(), double(0x11223344));
    QCOMPARE(records.at(0).value("receipt").toString(), QString::fromLatin1(receipt.toHex()));
}

void tst_OfdWorker::syncSendOverNewConnection()
{
    // without open(), the send connects by itself
    OfdWorker worker;
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(!worker.sendSyncDocument(registrationDocument(fsNumber, 2)).isEmpty());
    QCOMPARE(m_emulator->connectionCount(), 1);
}

void tst_OfdWorker::replyChecks_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("answer at once") << Scenario::Normal << 0 << true;
    QTest::newRow("late answer within the wait") << Scenario::LateAnswer << 300 << true;
    QTest::newRow("four bytes before the signature") << Scenario::Garbage4 << 0 << true;
    QTest::newRow("check value over the header only") << Scenario::HeaderOnlyCheck << 0 << true;

    QTest::newRow("no answer, connection closed") << Scenario::NoAnswer << 0 << false;
    QTest::newRow("answer in three segments") << Scenario::SplitAnswer << 300 << false;
    QTest::newRow("two bytes before the signature") << Scenario::Garbage2 << 0 << false;
    QTest::newRow("wrong check value") << Scenario::WrongCheckValue << 0 << false;
    QTest::newRow("body shorter than declared") << Scenario::ShortBody << 0 << false;
    QTest::newRow("body short, rest arriving later")
        << Scenario::ShortBodyRestLater << 300 << false;
    QTest::newRow("wrong signature") << Scenario::WrongSignature << 0 << false;
    QTest::newRow("wrong session version") << Scenario::WrongSessionVersion << 0 << false;
    QTest::newRow("check mode 3") << Scenario::CheckMode3 << 0 << false;
    QTest::newRow("closed right after connect") << Scenario::CloseAfterConnect << 0 << false;
}

void tst_OfdWorker::replyChecks()
{
    QFETCH(Scenario, scenario);
    QFETCH(int, delay);
    QFETCH(bool, accepted);

    m_emulator->setScenario(scenario);
    m_emulator->setDelay(delay);
    m_emulator->setHoldTime(200);

    OfdWorker worker;
    const OfdInfo record = loopbackRecord(m_emulator->port());
    QVERIFY(worker.selectOfd(&record));
    worker.open(5000);
    QSignalSpy receipts(&worker, &OfdWorker::receiptRecieved);
    QVERIFY(receipts.isValid());

    const QByteArray receipt = worker.sendSyncDocument(registrationDocument(fsNumber, 5));
    QCOMPARE(!receipt.isEmpty(), accepted);
    QCOMPARE(receipts.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(receiptTlvs(receipt).value(1040).toHex(), QByteArray("05000000"));
        QCOMPARE(m_emulator->records().constLast().value("receipt").toString(),
            QString::fromLatin1(receipt.toHex()));
    }
}

void tst_OfdWorker::noReplyWithinTimeout()
{
    m_emulator->setScenario(Scenario::NoAnswer); // and keeps the connection open
    auto worker = connectedWorker();
    QVERIFY(worker);
    QCOMPARE(worker->replyTimeout(), 20000);
    worker->setReplyTimeout(300);
    QSignalSpy documents(m_emulator.get(), &OfdServerEmulator::documentReceived);
    QVERIFY(documents.isValid());

    QVERIFY(worker->sendSyncDocument(registrationDocument(fsNumber, 9)).isEmpty());
    auto *socket = worker->findChild<QTcpSocket *>();
    QVERIFY(socket);
    QCOMPARE(socket->state(), QAbstractSocket::ConnectedState); // ended by the time-out
    QTRY_COMPARE(documents.count(), 1);
}

void tst_OfdWorker::storageNumberOfWrongLength()
{
    FsState state;
    state.setFsNumber(QStringLiteral("999907890200432")); // 15 characters
    setCurrentFsState(state);

    auto worker = connectedWorker();
    QVERIFY(worker);
    QVERIFY(worker->sendSyncDocument(registrationDocument(fsNumber, 1)).isEmpty());
    auto *socket = worker->findChild<QTcpSocket *>();
    QVERIFY(socket);
    QCOMPARE(socket->bytesToWrite(), qint64(0));
    QTRY_COMPARE(m_emulator->connectionCount(), 1);
    QVERIFY(m_emulator->records().isEmpty());
}

void tst_OfdWorker::lateReplyDoesNotReachSlot()
{
    m_emulator->setScenario(Scenario::LateAnswer);
    m_emulator->setDelay(600);
    auto worker = connectedWorker();
    QVERIFY(worker);
    worker->setReplyTimeout(100);
    QSignalSpy receipts(worker.get(), &OfdWorker::receiptRecieved);
    QVERIFY(receipts.isValid());
    QSignalSpy answers(m_emulator.get(), &OfdServerEmulator::answerSent);
    QVERIFY(answers.isValid());

    QVERIFY(worker->sendSyncDocument(registrationDocument(fsNumber, 4)).isEmpty());
    QVERIFY(answers.wait(5000));
    const int answerSize = answers.at(0).at(0).toByteArray().size();

    // the reply lands in the socket and stays there: nobody reads it
    auto *socket = worker->findChild<QTcpSocket *>();
    QVERIFY(socket);
    QTRY_COMPARE(socket->bytesAvailable(), qint64(answerSize));
    QCoreApplication::processEvents();
    QCOMPARE(socket->bytesAvailable(), qint64(answerSize));
    QCOMPARE(receipts.count(), 0);
}

void tst_OfdWorker::asyncReplyReachesSlot()
{
    auto worker = connectedWorker();
    QVERIFY(worker);
    QSignalSpy receipts(worker.get(), &OfdWorker::receiptRecieved);
    QVERIFY(receipts.isValid());

    worker->sendDocument(registrationDocument(fsNumber, 6));
    QVERIFY(receipts.wait(5000));
    QCOMPARE(receipts.count(), 1);
    QCOMPARE(receiptTlvs(receipts.at(0).at(0).toByteArray()).value(1040).toHex(),
        QByteArray("06000000"));
}

void tst_OfdWorker::relaxedCheckForMagnit_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("magnit, wrong check value")
        << "ofd.magnit.invalid" << Scenario::WrongCheckValue << true;
    QTest::newRow("magnit, right check value") << "ofd.magnit.invalid" << Scenario::Normal << true;
    QTest::newRow("other operator, wrong check value")
        << "ofd.operator.invalid" << Scenario::WrongCheckValue << false;
    QTest::newRow("Magnit in capitals, wrong check value")
        << "ofd.Magnit.invalid" << Scenario::WrongCheckValue << false;
    QTest::newRow("magnit, body short") << "ofd.magnit.invalid" << Scenario::ShortBody << false;
}

void tst_OfdWorker::relaxedCheckForMagnit()
{
    QFETCH(QString, host);
    QFETCH(Scenario, scenario);
    QFETCH(bool, accepted);

    // The operator's host name never resolves: the socket hands it to a SOCKS5
    // proxy, which the emulator plays in front of itself. The worker's own code
    // path is the one the program runs.
    m_emulator->setSocks5Front(true);
    m_emulator->setScenario(scenario);
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("127.0.0.1"), m_emulator->port()));

    OfdWorker worker;
    const OfdInfo record(QStringLiteral("2310031475"), host, 7001, QString(), 10000, QString(),
        QStringLiteral("test operator"), QStringLiteral("test"));
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(worker.open(5000));
    const QByteArray receipt = worker.sendSyncDocument(registrationDocument(fsNumber, 8));
    QCOMPARE(!receipt.isEmpty(), accepted);
    // the socket hands the host name over in lower case
    QCOMPARE(m_emulator->requestedHosts(), QStringList(host.toLower() + QStringLiteral(":7001")));
}

QTEST_GUILESS_MAIN(tst_OfdWorker)
#include "tst_ofdworker.moc"
