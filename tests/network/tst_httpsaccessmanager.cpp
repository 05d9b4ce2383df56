#include "network/httpsaccessmanager.h"
#include "network/httpsreplyhandler.h"
#include "networktestsupport.h"
#include "processingserveremulator.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using NetworkTest::LogCapture;
using Scenario = ProcessingServerEmulator::Scenario;

namespace {
constexpr int Patience = 15000; // ms: a bound against hanging, not a speed check

// Exposes what the tests look at.
class ProbeManager : public HttpsAccessManager
{
public:
    using HttpsAccessManager::calcProgress;
    using HttpsAccessManager::HttpsAccessManager;
    using HttpsAccessManager::networkManager;
};

QVariantMap dataPackBody(const QString &idSession, qint64 idDealer, qint64 idUser)
{
    return QVariantMap {
        { "session",
            QVariantMap { { "idSession", idSession }, { "idDealer", QString::number(idDealer) },
                { "idUser", QString::number(idUser) } } },
        { "web",
            QVariantMap { { "afterChId",
                QVariantMap { { "hardware", 0 }, { "hardwareType", 0 },
                    { "kktAllowedSerialRange", 0 } } } } },
    };
}
} // namespace

class tst_HttpsAccessManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void createRequest_data();
    void createRequest();
    void defaultsToLocalhostPortZero();
    void queryFromMapKeepsKeyOrderAndCharacters();
    void requestHeadersAndBody();
    void answerEnvelope_data();
    void answerEnvelope();
    void anyTypeAcceptedWhenAsked();
    void cookiesCapturedAndDroppedAfterFailure();
    void sessionTicketsStoredPerHost();
    void certificates_data();
    void certificates();
    void destroyedWhileRequestOutstanding();
    void handlerWithoutReply();
    void handleData_data();
    void handleData();
    void calcProgress_data();
    void calcProgress();

private:
    QString dataPackUrl() const;

    ProcessingServerEmulator *m_emulator = nullptr;
};

void tst_HttpsAccessManager::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt has no TLS backend");
    QVERIFY(!NetworkTest::testCa().isEmpty());
}

void tst_HttpsAccessManager::init()
{
    m_emulator = new ProcessingServerEmulator(this);
    QVERIFY(NetworkTest::startEmulator(*m_emulator));
}

void tst_HttpsAccessManager::cleanup()
{
    delete m_emulator;
    m_emulator = nullptr;
}

void tst_HttpsAccessManager::createRequest_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("https");
    QTest::addColumn<QVariantMap>("query");
    QTest::addColumn<QString>("expectedUrl");

    QTest::newRow("HTTPS upper case")
        << "HTTPS" << true << QVariantMap() << "https://srv.example.invalid:8443/vendrel/api/x";
    QTest::newRow("https lower case")
        << "https" << true << QVariantMap() << "https://srv.example.invalid:8443/vendrel/api/x";
    QTest::newRow("Https mixed case") << "Https" << true << QVariantMap { { "a", 1 } }
                                      << "https://srv.example.invalid:8443/vendrel/api/x?a=1";
    QTest::newRow("HTTP gets no SSL configuration")
        << "HTTP" << false << QVariantMap { { "b", "2" }, { "a", "1" } }
        << "http://srv.example.invalid:8443/vendrel/api/x?a=1&b=2";
}

void tst_HttpsAccessManager::createRequest()
{
    QFETCH(QString, scheme);
    QFETCH(bool, https);
    QFETCH(QVariantMap, query);

    const QSslConfiguration ssl = NetworkTest::trustingTestCa();
    ProbeManager manager(QStringLiteral("srv.example.invalid"), 8443, ssl);
    manager.setScheme(scheme);
    const QNetworkRequest request = manager.createRequest(QStringLiteral("/vendrel/api/x"),
        manager.networkManager(), true, HttpsAccessManager::queryFromMap(query));

    QTEST(request.url().toString(), "expectedUrl");
    QCOMPARE(request.rawHeader("Accept-Encoding"), QByteArray("gzip"));
    QCOMPARE(request.sslConfiguration() == ssl, https);
    QVERIFY(manager.networkManager()->cookieJar() != nullptr);
}

void tst_HttpsAccessManager::defaultsToLocalhostPortZero()
{
    ProbeManager manager;
    QCOMPARE(manager.host(), QStringLiteral("localhost"));
    QCOMPARE(manager.port(), quint16(0));
    QCOMPARE(manager.scheme(), QStringLiteral("HTTP"));
    const QNetworkRequest request
        = manager.createRequest(QStringLiteral("/p"), manager.networkManager(), false, QUrlQuery());
    QCOMPARE(request.url().host(), QStringLiteral("localhost"));
    QCOMPARE(request.url().port(), 0);
    QCOMPARE(request.url().scheme(), QStringLiteral("http"));
}

QString tst_HttpsAccessManager::dataPackUrl() const
{
    return ProcessingServerEmulator::DataPackPath;
}

void tst_HttpsAccessManager::queryFromMapKeepsKeyOrderAndCharacters()
{
    ProbeManager manager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("HTTPS"));
    const QVariantMap query { { "zeta", "a+b c" }, { "alpha", "1&x=2#f" }, { "mid", 42 },
        { "pct", "100%" } };
    HttpsReplyHandler *handler = manager.getData(ProcessingServerEmulator::LoginPath, query);
    QVERIFY(handler);
    QSignalSpy loaded(handler, &HttpsReplyHandler::dataLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, Patience);

    QCOMPARE(m_emulator->requests().size(), 1);
    const auto items = m_emulator->requests().first().queryItems();
    const QList<QPair<QString, QString>> expected { { "alpha", "1&x=2#f" }, { "mid", "42" },
        { "pct", "100%" }, { "zeta", "a+b c" } };
    QCOMPARE(items, expected);
}

void tst_HttpsAccessManager::requestHeadersAndBody()
{
    ProbeManager manager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("HTTPS"));

    HttpsReplyHandler *get = manager.getData(ProcessingServerEmulator::LoginPath, QUrlQuery());
    QVERIFY(get);
    QSignalSpy gotten(get, &HttpsReplyHandler::dataLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(gotten.count(), 1, Patience);

    const QVariantMap body
        = dataPackBody(m_emulator->openSession(), m_emulator->dealerId(), m_emulator->userId());
    HttpsReplyHandler *post = manager.postData(dataPackUrl(), body, QUrlQuery());
    QVERIFY(post);
    QSignalSpy posted(post, &HttpsReplyHandler::dataLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(posted.count(), 1, Patience);

    const auto requests = m_emulator->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).method(), QByteArray("GET"));
    QCOMPARE(requests.at(0).header("Accept-Encoding"), QByteArray("gzip"));
    QVERIFY(!requests.at(0).hasHeader("Content-Type"));
    QVERIFY(requests.at(0).queryItems().isEmpty());

    const QByteArray compact = QJsonDocument::fromVariant(body).toJson(QJsonDocument::Compact);
    QCOMPARE(requests.at(1).method(), QByteArray("POST"));
    QCOMPARE(requests.at(1).header("Accept-Encoding"), QByteArray("gzip"));
    QCOMPARE(requests.at(1).header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(requests.at(1).header("Content-Length"), QByteArray::number(compact.size()));
    QCOMPARE(requests.at(1).body(), compact);
    QVERIFY(requests.at(1).queryItems().isEmpty());
}

void tst_HttpsAccessManager::answerEnvelope_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<qint64>("serverResult");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("text"); // "*": any non-empty text

    const qint64 parse = JsonParseError;
    QTest::newRow("gzip answer inflated and accepted")
        << int(Scenario::Normal) << qint64(0) << 0 << QByteArray() << true << qint64(0) << "";
    QTest::newRow("plain answer accepted")
        << int(Scenario::RawAnswer) << qint64(0) << 0 << QByteArray("{\"hardware\":[]}") << true
        << qint64(0) << "";
    QTest::newRow("result 0 becomes 0x7F000000")
        << int(Scenario::ResultEnvelope) << qint64(0) << 0 << QByteArray() << false
        << qint64(0x7F000000) << "Ошибка обработки запроса";
    QTest::newRow("result 3 becomes 0x7F000003")
        << int(Scenario::ResultEnvelope) << qint64(3) << 0 << QByteArray() << false
        << qint64(0x7F000003) << "Ошибка обработки запроса";
    QTest::newRow("result 0x5EFFFFFF, the largest moved")
        << int(Scenario::ResultEnvelope) << qint64(0x5EFFFFFF) << 0 << QByteArray() << false
        << qint64(0xDDFFFFFFu) << "Ошибка обработки запроса";
    QTest::newRow("result 0x5F000000 kept")
        << int(Scenario::ResultEnvelope) << qint64(0x5F000000) << 0 << QByteArray() << false
        << qint64(0x5F000000) << "Ошибка обработки запроса";
    QTest::newRow("result -1 kept")
        << int(Scenario::ResultEnvelope) << qint64(-1) << 0 << QByteArray() << false << qint64(-1)
        << "Ошибка обработки запроса";
    QTest::newRow("result beside data is an error report")
        << int(Scenario::RawAnswer) << qint64(0) << 0
        << QByteArray("{\"hardware\":[],\"result\":0}") << false << qint64(0x7F000000) << "";
    QTest::newRow("empty body is a parse error")
        << int(Scenario::EmptyBody) << qint64(0) << 0 << QByteArray() << false << parse << "*";
    QTest::newRow("invalid JSON") << int(Scenario::InvalidJson) << qint64(0) << 0 << QByteArray()
                                  << false << parse << "*";
    QTest::newRow("damaged gzip") << int(Scenario::DamagedGzip) << qint64(0) << 0 << QByteArray()
                                  << false << parse << "*";
    QTest::newRow("gzip body without the header is not inflated")
        << int(Scenario::GzipWithoutHeader) << qint64(0) << 0 << QByteArray() << false << parse
        << "*";
    QTest::newRow("array at the top")
        << int(Scenario::TopLevelArray) << qint64(0) << 0 << QByteArray() << false << qint64(-1)
        << "Incorrect result type: QVariantList. QVariantMap expected";
    QTest::newRow("HTTP 500") << int(Scenario::HttpError) << qint64(0) << 500 << QByteArray()
                              << false << qint64(QNetworkReply::InternalServerError) << "*";
    QTest::newRow("HTTP 404") << int(Scenario::HttpError) << qint64(0) << 404 << QByteArray()
                              << false << qint64(QNetworkReply::ContentNotFoundError) << "*";
    QTest::newRow("connection closed before the answer")
        << int(Scenario::CloseBeforeAnswer) << qint64(0) << 0 << QByteArray() << false
        << qint64(QNetworkReply::RemoteHostClosedError) << "*";
}

void tst_HttpsAccessManager::answerEnvelope()
{
    QFETCH(int, scenario);
    QFETCH(qint64, serverResult);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, raw);
    QFETCH(bool, loaded);
    QFETCH(qint64, code);
    QFETCH(QString, text);

    m_emulator->setScenario(Scenario(scenario));
    m_emulator->setResultCode(serverResult);
    m_emulator->setHttpErrorStatus(httpStatus);
    m_emulator->setRawAnswer(raw);

    ProbeManager manager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("HTTPS"));
    QSignalSpy managerErrors(&manager, &HttpsAccessManager::error);
    const QVariantMap body
        = dataPackBody(m_emulator->openSession(), m_emulator->dealerId(), m_emulator->userId());
    HttpsReplyHandler *handler = manager.postData(dataPackUrl(), body, QUrlQuery());
    QVERIFY(handler);
    QSignalSpy dataSpy(handler, &HttpsReplyHandler::dataLoaded);
    QSignalSpy errorSpy(handler, &AbstractHttpsReplyHandler::error);
    QTRY_VERIFY_WITH_TIMEOUT(dataSpy.count() + errorSpy.count() > 0, Patience);

    if (loaded) {
        QCOMPARE(dataSpy.count(), 1);
        QCOMPARE(errorSpy.count(), 0);
        const QVariant data = dataSpy.first().first();
        QCOMPARE(data.type(), QVariant::Map);
        QVERIFY(data.toMap().contains(QStringLiteral("hardware")));
        QCOMPARE(managerErrors.count(), 0);
        return;
    }
    QCOMPARE(dataSpy.count(), 0);
    QCOMPARE(errorSpy.count(), 1);
    const QVariantMap err = errorSpy.first().first().toMap();
    QCOMPARE(err.value(QStringLiteral("result")).toLongLong() & 0xFFFFFFFFLL, code & 0xFFFFFFFFLL);
    if (code < 0)
        QCOMPARE(err.value(QStringLiteral("result")).toLongLong(), code);
    const QString description = err.value(QStringLiteral("resultDescription")).toString();
    if (text == QLatin1String("*"))
        QVERIFY(!description.isEmpty());
    else
        QCOMPARE(description, text);
    QCOMPARE(managerErrors.count(), 1);
    QCOMPARE(managerErrors.first().first().toMap(), err);
    QCOMPARE(handler->errorMap(), err);
}

void tst_HttpsAccessManager::anyTypeAcceptedWhenAsked()
{
    m_emulator->setScenario(Scenario::TopLevelArray);
    ProbeManager manager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("https"));
    HttpsReplyHandler *handler = manager.getData(ProcessingServerEmulator::LoginPath, QUrlQuery());
    QVERIFY(handler);
    QCOMPARE(handler->expectedType(), QVariant::Map);
    handler->setExpectedType(QVariant::Invalid);
    QSignalSpy dataSpy(handler, &HttpsReplyHandler::dataLoaded);
    QTRY_COMPARE_WITH_TIMEOUT(dataSpy.count(), 1, Patience);
    const QVariantList list = dataSpy.first().first().toList();
    QCOMPARE(list.size(), m_emulator->hardware().size());
}

void tst_HttpsAccessManager::cookiesCapturedAndDroppedAfterFailure()
{
    ProbeManager manager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("HTTPS"));
    const QString session = m_emulator->openSession();
    const QVariantMap body = dataPackBody(session, m_emulator->dealerId(), m_emulator->userId());

    auto send = [&]() -> bool {
        HttpsReplyHandler *handler = manager.postData(dataPackUrl(), body, QUrlQuery());
        if (!handler)
            return false;
        QSignalSpy dataSpy(handler, &HttpsReplyHandler::dataLoaded);
        QSignalSpy errorSpy(handler, &AbstractHttpsReplyHandler::error);
        const bool ended
            = QTest::qWaitFor([&]() { return dataSpy.count() + errorSpy.count() > 0; }, Patience);
        return ended && dataSpy.count() == 1;
    };

    QVERIFY(send());
    QPointer<QNetworkAccessManager> first = manager.networkManager();
    QVERIFY(send());
    QCOMPARE(manager.networkManager(), first.data());

    m_emulator->setScenario(Scenario::ResultEnvelope);
    QVERIFY(!send());
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), Patience);

    m_emulator->setScenario(Scenario::Normal);
    QVERIFY(send());
    QVERIFY(send());

    const auto requests = m_emulator->requests();
    QCOMPARE(requests.size(), 5);
    const QByteArray name = m_emulator->cookieName();
    // The first answer sets the cookie; the second request carries it, and so
    // does the failing third. After the failure the list starts empty again.
    QVERIFY(!requests.at(0).cookies().contains(name));
    QCOMPARE(requests.at(1).cookies().value(name), session.toLatin1());
    QCOMPARE(requests.at(2).cookies().value(name), session.toLatin1());
    QVERIFY(!requests.at(3).cookies().contains(name));
    QCOMPARE(requests.at(4).cookies().value(name), session.toLatin1());
}

void tst_HttpsAccessManager::sessionTicketsStoredPerHost()
{
    QSslConfiguration ssl = NetworkTest::trustingTestCa();
    ssl.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);

    for (const QString &host : { QStringLiteral("127.0.0.1"), QStringLiteral("localhost") }) {
        ProbeManager manager(host, m_emulator->serverPort(), ssl);
        manager.setScheme(QStringLiteral("HTTPS"));
        HttpsReplyHandler *handler
            = manager.getData(ProcessingServerEmulator::LoginPath, QUrlQuery());
        QVERIFY(handler);
        QSignalSpy dataSpy(handler, &HttpsReplyHandler::dataLoaded);
        QTRY_COMPARE_WITH_TIMEOUT(dataSpy.count(), 1, Patience);

        const auto tickets = manager.sessionTickets();
        QCOMPARE(tickets.keys(), QStringList { QStringLiteral("ssl-session-") + host });
        const QByteArray ticket = tickets.first();
        QVERIFY(!ticket.isEmpty());

        const QNetworkRequest next = manager.createRequest(
            QStringLiteral("/x"), manager.networkManager(), true, QUrlQuery());
        QCOMPARE(next.sslConfiguration().sessionTicket(), ticket);
    }
}

void tst_HttpsAccessManager::certificates_data()
{
    QTest::addColumn<bool>("untrustedServer");
    QTest::addColumn<bool>("trustTestCa");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("server signed by the trusted test CA") << false << true << true;
    QTest::newRow("test CA not trusted, system CAs only") << false << false << false;
    QTest::newRow("self-signed server certificate") << true << true << false;
}

void tst_HttpsAccessManager::certificates()
{
    QFETCH(bool, untrustedServer);
    QFETCH(bool, trustTestCa);
    QFETCH(bool, succeeds);

    ProcessingServerEmulator emulator;
    QVERIFY(NetworkTest::startEmulator(emulator, untrustedServer));
    LogCapture log;
    ProbeManager manager(QStringLiteral("127.0.0.1"), emulator.serverPort(),
        trustTestCa ? NetworkTest::trustingTestCa() : QSslConfiguration::defaultConfiguration());
    manager.setScheme(QStringLiteral("HTTPS"));
    QSignalSpy managerErrors(&manager, &HttpsAccessManager::error);
    HttpsReplyHandler *handler = manager.getData(ProcessingServerEmulator::LoginPath,
        QVariantMap { { "login", "2604715837" }, { "password", "37294052" } });
    QVERIFY(handler);
    QSignalSpy dataSpy(handler, &HttpsReplyHandler::dataLoaded);
    QTRY_VERIFY_WITH_TIMEOUT(dataSpy.count() + managerErrors.count() > 0, Patience);

    if (succeeds) {
        QCOMPARE(dataSpy.count(), 1);
        QCOMPARE(emulator.requests().size(), 1);
        return;
    }
    QCOMPARE(dataSpy.count(), 0);
    QCOMPARE(managerErrors.count(), 1);
    const QVariantMap err = managerErrors.first().first().toMap();
    QCOMPARE(
        err.value(QStringLiteral("result")).toInt(), int(QNetworkReply::SslHandshakeFailedError));
    QVERIFY(log.anyContains(QStringLiteral("SSL error")));
    // The server saw the handshake fail and never got a request.
    QTRY_VERIFY_WITH_TIMEOUT(emulator.handshakeFailures() > 0, Patience);
    QVERIFY(emulator.requests().isEmpty());
}

void tst_HttpsAccessManager::destroyedWhileRequestOutstanding()
{
    m_emulator->setScenario(Scenario::SlowAnswer);
    m_emulator->setSlowDelay(100);
    auto *manager = new ProbeManager(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    manager->setScheme(QStringLiteral("HTTPS"));
    QPointer<HttpsReplyHandler> handler
        = manager->getData(ProcessingServerEmulator::LoginPath, QUrlQuery());
    QVERIFY(handler);
    QSignalSpy dataSpy(handler.data(), &HttpsReplyHandler::dataLoaded);
    QSignalSpy managerErrors(manager, &HttpsAccessManager::error);
    QTRY_COMPARE_WITH_TIMEOUT(m_emulator->requests().size(), 1, Patience);
    delete manager;
    QVERIFY(handler.isNull());
    // Let the late answer arrive at a client that is gone.
    QTest::qWait(300);
    QCOMPARE(dataSpy.count(), 0);
    QCOMPARE(managerErrors.count(), 0);
}

void tst_HttpsAccessManager::handlerWithoutReply()
{
    HttpsReplyHandler handler;
    QSignalSpy errorSpy(&handler, &AbstractHttpsReplyHandler::error);
    QVERIFY(!handler.prepareReply(nullptr));
    QCOMPARE(errorSpy.count(), 1);
    const QVariantMap err = errorSpy.first().first().toMap();
    QCOMPARE(err.value(QStringLiteral("result")).toInt(), int(UnknownError));
    QCOMPARE(
        err.value(QStringLiteral("resultDescription")).toString(), QStringLiteral("Unknown error"));
}

void tst_HttpsAccessManager::handleData_data()
{
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<int>("expectedType");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("text");

    QTest::newRow("map where a map is expected")
        << QVariant(QVariantMap { { "a", 1 } }) << int(QVariant::Map) << true << QString();
    QTest::newRow("list where a map is expected")
        << QVariant(QVariantList { 1 }) << int(QVariant::Map) << false
        << "Incorrect result type: QVariantList. QVariantMap expected";
    QTest::newRow("map where a list is expected")
        << QVariant(QVariantMap()) << int(QVariant::List) << false
        << "Incorrect result type: QVariantMap. QVariantList expected";
    QTest::newRow("list where any type is accepted")
        << QVariant(QVariantList { 1 }) << int(QVariant::Invalid) << true << QString();
    QTest::newRow("invalid value is never accepted")
        << QVariant() << int(QVariant::Invalid) << false << "Incorrect result type: .  expected";
}

void tst_HttpsAccessManager::handleData()
{
    QFETCH(QVariant, data);
    QFETCH(int, expectedType);
    QFETCH(bool, accepted);

    HttpsReplyHandler handler { QVariant::Type(expectedType) };
    QSignalSpy dataSpy(&handler, &HttpsReplyHandler::dataLoaded);
    QSignalSpy errorSpy(&handler, &AbstractHttpsReplyHandler::error);
    QCOMPARE(handler.handleData(data, QStringLiteral("https://h/p")), accepted);
    QCOMPARE(dataSpy.count(), accepted ? 1 : 0);
    QCOMPARE(errorSpy.count(), accepted ? 0 : 1);
    if (accepted) {
        QCOMPARE(dataSpy.first().first(), data);
    } else {
        const QVariantMap err = errorSpy.first().first().toMap();
        QCOMPARE(err.value(QStringLiteral("result")).toInt(), -1);
        QTEST(err.value(QStringLiteral("resultDescription")).toString(), "text");
    }
}

void tst_HttpsAccessManager::calcProgress_data()
{
    QTest::addColumn<qlonglong>("value");
    QTest::addColumn<qlonglong>("total");
    QTest::addColumn<int>("percent"); // -1: nothing emitted

    QTest::newRow("a quarter") << 50LL << 200LL << 25;
    QTest::newRow("truncated, not rounded") << 2LL << 3LL << 66;
    QTest::newRow("all of it") << 3LL << 3LL << 100;
    QTest::newRow("nothing yet") << 0LL << 10LL << 0;
    QTest::newRow("beyond 32 bits") << 5000000000LL << 10000000000LL << 50;
    QTest::newRow("unknown total") << 10LL << -1LL << -1;
    QTest::newRow("zero total") << 0LL << 0LL << -1;
    QTest::newRow("negative value") << -1LL << 100LL << -1;
}

void tst_HttpsAccessManager::calcProgress()
{
    QFETCH(qlonglong, value);
    QFETCH(qlonglong, total);
    QFETCH(int, percent);
    ProbeManager manager;
    QSignalSpy spy(&manager, &HttpsAccessManager::progress);
    manager.calcProgress(value, total);
    if (percent < 0) {
        QCOMPARE(spy.count(), 0);
    } else {
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toInt(), percent);
    }
}

QTEST_GUILESS_MAIN(tst_HttpsAccessManager)
#include "tst_httpsaccessmanager.moc"
