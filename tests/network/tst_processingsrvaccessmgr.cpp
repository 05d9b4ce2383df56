#include "mgr/loginaccessmanager.h"
#include "mgr/processingsrvaccessmgr.h"
#include "network/httpsreplyhandler.h"
#include "networktestsupport.h"
#include "processingserveremulator.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QtTest>

using Scenario = ProcessingServerEmulator::Scenario;

namespace {
constexpr int Patience = 15000; // ms: a bound against hanging, not a speed check

// The records as JSON text: numbers compare the same whatever their C++ type.
QByteArray asJson(const QVariantList &records)
{
    return QJsonDocument::fromVariant(records).toJson(QJsonDocument::Compact);
}
} // namespace

class tst_ProcessingSrvAccessMgr : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestBody_data();
    void requestBody();
    void modelsHandedOnInOrder();
    void hardwareMissingOrEmpty_data();
    void hardwareMissingOrEmpty();
    void failures_data();
    void failures();
    void loginThenModels();

private:
    ProcessingSrvAccessMgr *newManager();
    void storeOpenSession();

    ProcessingServerEmulator *m_emulator = nullptr;
};

void tst_ProcessingSrvAccessMgr::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt has no TLS backend");
}

void tst_ProcessingSrvAccessMgr::init()
{
    m_emulator = new ProcessingServerEmulator(this);
    QVERIFY(NetworkTest::startEmulator(*m_emulator));
}

void tst_ProcessingSrvAccessMgr::cleanup()
{
    delete m_emulator;
    m_emulator = nullptr;
}

ProcessingSrvAccessMgr *tst_ProcessingSrvAccessMgr::newManager()
{
    auto *manager = new ProcessingSrvAccessMgr(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa(), this);
    manager->setScheme(QStringLiteral("HTTPS"));
    return manager;
}

void tst_ProcessingSrvAccessMgr::storeOpenSession()
{
    AppSession session;
    session.setIdSession(m_emulator->openSession());
    session.setIdDealer(m_emulator->dealerId());
    session.setIdUser(m_emulator->userId());
    storeSession(AppSession::OperatorLogin, session);
}

void tst_ProcessingSrvAccessMgr::requestBody_data()
{
    QTest::addColumn<QString>("idSession");
    QTest::addColumn<qint64>("idDealer");
    QTest::addColumn<qint64>("idUser");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("granted session")
        << "S1" << qint64(7) << qint64(9)
        << QByteArray("{\"session\":{\"idDealer\":\"7\",\"idSession\":\"S1\",\"idUser\":\"9\"},"
                      "\"web\":{\"afterChId\":{\"hardware\":0,\"hardwareType\":0,"
                      "\"kktAllowedSerialRange\":0}}}");
    QTest::newRow("default record")
        << QString() << qint64(-1) << qint64(-1)
        << QByteArray("{\"session\":{\"idDealer\":\"-1\",\"idSession\":\"\",\"idUser\":\"-1\"},"
                      "\"web\":{\"afterChId\":{\"hardware\":0,\"hardwareType\":0,"
                      "\"kktAllowedSerialRange\":0}}}");
}

void tst_ProcessingSrvAccessMgr::requestBody()
{
    QFETCH(QString, idSession);
    QFETCH(qint64, idDealer);
    QFETCH(qint64, idUser);
    QFETCH(QByteArray, body);

    AppSession session;
    session.setIdSession(idSession);
    session.setIdDealer(idDealer);
    session.setIdUser(idUser);
    storeSession(AppSession::OperatorLogin, session);

    ProcessingSrvAccessMgr *manager = newManager();
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QSignalSpy loaded(manager, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    QVERIFY(manager->requestSupportedModels());
    // The emulator knows no such session and answers with an error report.
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, Patience);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(errors.first().first().toMap().value(QStringLiteral("result")).toLongLong(),
        qint64(0x7F000002));

    const auto requests = m_emulator->requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method(), QByteArray("POST"));
    QCOMPARE(requests.first().path(), QStringLiteral("/vendrel/api/WebDataPackPost"));
    QVERIFY(requests.first().queryItems().isEmpty());
    QCOMPARE(requests.first().header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(requests.first().header("Content-Length"), QByteArray::number(body.size()));
    QCOMPARE(requests.first().body(), body);
}

void tst_ProcessingSrvAccessMgr::modelsHandedOnInOrder()
{
    storeOpenSession();
    ProcessingSrvAccessMgr *manager = newManager();
    QSignalSpy loaded(manager, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    HttpsReplyHandler *handler = manager->requestSupportedModels();
    QVERIFY(handler);
    QCOMPARE(handler->expectedType(), QVariant::Map);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, Patience);
    QCOMPARE(errors.count(), 0);

    const QVariantList records = loaded.first().first().toList();
    QCOMPARE(records.size(), m_emulator->hardware().size());
    QCOMPARE(asJson(records), asJson(m_emulator->hardware()));
    // The records that a window must filter out are handed on as well.
    QCOMPARE(records.at(3).toMap().value(QStringLiteral("idHardwareType")).toInt(), 2);
    QCOMPARE(records.first().toMap().value(QStringLiteral("name")).toString(),
        QStringLiteral("  Меридиан-Ф  "));
}

void tst_ProcessingSrvAccessMgr::hardwareMissingOrEmpty_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("empty hardware array") << QByteArray("{\"hardware\":[]}");
    QTest::newRow("no hardware key") << QByteArray("{\"hardwareType\":[]}");
    QTest::newRow("hardware not an array") << QByteArray("{\"hardware\":{\"name\":\"x\"}}");
    QTest::newRow("hardware as text") << QByteArray("{\"hardware\":\"x\"}");
}

void tst_ProcessingSrvAccessMgr::hardwareMissingOrEmpty()
{
    QFETCH(QByteArray, answer);
    m_emulator->setScenario(Scenario::RawAnswer);
    m_emulator->setRawAnswer(answer);
    storeOpenSession();
    ProcessingSrvAccessMgr *manager = newManager();
    QSignalSpy loaded(manager, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(manager->requestSupportedModels());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, Patience);
    QCOMPARE(errors.count(), 0);
    QVERIFY(loaded.first().first().toList().isEmpty());
}

void tst_ProcessingSrvAccessMgr::failures_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("text"); // "*": any non-empty text

    QTest::newRow("array at the top")
        << int(Scenario::TopLevelArray) << qint64(-1)
        << "Incorrect result type: QVariantList. QVariantMap expected";
    QTest::newRow("server error report")
        << int(Scenario::ResultEnvelope) << qint64(0x7F000003) << "Ошибка обработки запроса";
    QTest::newRow("invalid JSON") << int(Scenario::InvalidJson) << qint64(JsonParseError) << "*";
    QTest::newRow("gzip without its header")
        << int(Scenario::GzipWithoutHeader) << qint64(JsonParseError) << "*";
    QTest::newRow("HTTP 500") << int(Scenario::HttpError)
                              << qint64(QNetworkReply::InternalServerError) << "*";
    QTest::newRow("connection closed")
        << int(Scenario::CloseBeforeAnswer) << qint64(QNetworkReply::RemoteHostClosedError) << "*";
}

void tst_ProcessingSrvAccessMgr::failures()
{
    QFETCH(int, scenario);
    QFETCH(qint64, code);
    QFETCH(QString, text);
    m_emulator->setScenario(Scenario(scenario));
    storeOpenSession();
    ProcessingSrvAccessMgr *manager = newManager();
    QSignalSpy loaded(manager, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(manager->requestSupportedModels());
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, Patience);
    QCOMPARE(loaded.count(), 0);
    const QVariantMap err = errors.first().first().toMap();
    QCOMPARE(err.value(QStringLiteral("result")).toLongLong(), code);
    const QString description = err.value(QStringLiteral("resultDescription")).toString();
    if (text == QLatin1String("*"))
        QVERIFY(!description.isEmpty());
    else
        QCOMPARE(description, text);
}

void tst_ProcessingSrvAccessMgr::loginThenModels()
{
    // The order of the main window: store the credentials, log in, store the
    // granted session, ask for the models, and again later.
    AppSession credentials;
    credentials.setLogin(m_emulator->login());
    credentials.setPassword(m_emulator->password());
    storeSession(AppSession::OperatorLogin, credentials);

    LoginAccessManager login(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa());
    login.setScheme(QStringLiteral("HTTPS"));
    ProcessingSrvAccessMgr *data = newManager();
    QSignalSpy loaded(data, &ProcessingSrvAccessMgr::supportedModelsLoaded);
    connect(&login, &LoginAccessManager::loginSuccess, this, [data](AppSession session) {
        storeSession(AppSession::OperatorLogin, session);
        data->requestSupportedModels();
    });
    QVERIFY(login.login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, Patience);
    QVERIFY(data->requestSupportedModels());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 2, Patience);
    QCOMPARE(asJson(loaded.at(1).first().toList()), asJson(m_emulator->hardware()));

    const auto requests = m_emulator->requests();
    QCOMPARE(requests.size(), 3);
    const QString session = m_emulator->sessions().first();
    const QByteArray cookie = m_emulator->cookieName();
    const QJsonDocument body = QJsonDocument::fromJson(requests.at(1).body());
    QCOMPARE(body.object()
                 .value(QStringLiteral("session"))
                 .toObject()
                 .value(QStringLiteral("idSession"))
                 .toString(),
        session);
    // The login's cookie stays with the login manager; the data manager
    // sends the one its own first answer set.
    QVERIFY(!requests.at(1).cookies().contains(cookie));
    QCOMPARE(requests.at(2).cookies().value(cookie), session.toLatin1());
}

QTEST_GUILESS_MAIN(tst_ProcessingSrvAccessMgr)
#include "tst_processingsrvaccessmgr.moc"
