#include "mgr/loginaccessmanager.h"
#include "mgr/loginhttpshandler.h"
#include "mgr/processingserver.h"
#include "networktestsupport.h"
#include "processingserveremulator.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

using NetworkTest::LogCapture;
using Scenario = ProcessingServerEmulator::Scenario;

namespace {
constexpr int Patience = 15000; // ms: a bound against hanging, not a speed check

class ProbeLogin : public LoginAccessManager
{
public:
    using LoginAccessManager::LoginAccessManager;
    using LoginAccessManager::networkManager;
};

AppSession credentials(const QString &login, const QString &password)
{
    AppSession session;
    session.setLogin(login);
    session.setPassword(password);
    return session;
}
} // namespace

class tst_LoginAccessManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loginSucceeds_data();
    void loginSucceeds();
    void sessionFromMinimalAnswer();
    void nothingStoredSendsEmptyCredentials();
    void loginFails_data();
    void loginFails();
    void silentOnNonObjectAnswer_data();
    void silentOnNonObjectAnswer();
    void loginAnswerNeedsALoginHandler();
    void untrustedServerNeverSeesCredentials();
    void builtInTrustDecidesAboutTheTestServer();
    void trustingAnExtraCaKeepsTheSystemCas();
    void logHasNoPassword_data();
    void logHasNoPassword();

private:
    ProbeLogin *newManager();

    ProcessingServerEmulator *m_emulator = nullptr;
};

void tst_LoginAccessManager::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt has no TLS backend");
}

void tst_LoginAccessManager::init()
{
    m_emulator = new ProcessingServerEmulator(this);
    QVERIFY(NetworkTest::startEmulator(*m_emulator));
    storeSession(
        AppSession::OperatorLogin, credentials(m_emulator->login(), m_emulator->password()));
}

void tst_LoginAccessManager::cleanup()
{
    delete m_emulator;
    m_emulator = nullptr;
}

ProbeLogin *tst_LoginAccessManager::newManager()
{
    auto *manager = new ProbeLogin(
        QStringLiteral("127.0.0.1"), m_emulator->serverPort(), NetworkTest::trustingTestCa(), this);
    manager->setScheme(QStringLiteral("HTTPS"));
    return manager;
}

void tst_LoginAccessManager::loginSucceeds_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<quint32>("idHardSoft");

    QTest::newRow("the account's example credentials") << "2604715837"
                                                       << "37294052" << 1u;
    QTest::newRow("characters that a query must escape") << "user+1 &x=y"
                                                         << "p%2B=&#q +" << 77u;
    QTest::newRow("Cyrillic login") << "оператор"
                                    << "пароль" << 4294967295u;
}

void tst_LoginAccessManager::loginSucceeds()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(quint32, idHardSoft);

    m_emulator->setAccount(login, password);
    storeSession(AppSession::OperatorLogin, credentials(login, password));
    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(success.isValid());

    LoginHttpsHandler *handler = manager->login(AppSession::OperatorLogin, idHardSoft);
    QVERIFY(handler);
    QCOMPARE(handler->sessionType(), AppSession::OperatorLogin);
    QTRY_COMPARE_WITH_TIMEOUT(success.count(), 1, Patience);
    QCOMPARE(errors.count(), 0);

    const auto requests = m_emulator->requests();
    QCOMPARE(requests.size(), 1);
    const EmulatedRequest &request = requests.first();
    QCOMPARE(request.method(), QByteArray("GET"));
    QCOMPARE(request.path(), QStringLiteral("/vendrel/api/LoginSession"));
    const QList<QPair<QString, QString>> expected { { "idHardSoft", QString::number(idHardSoft) },
        { "login", login }, { "password", password } };
    QCOMPARE(request.queryItems(), expected);
    QCOMPARE(request.header("Accept-Encoding"), QByteArray("gzip"));
    QVERIFY(!request.hasHeader("Cookie"));

    const AppSession session = success.first().first().value<AppSession>();
    QCOMPARE(m_emulator->sessions().size(), 1);
    QCOMPARE(session.idSession(), m_emulator->sessions().first());
    QCOMPARE(session.idDealer(), m_emulator->dealerId());
    QCOMPARE(session.idUser(), m_emulator->userId());
    QCOMPARE(session.flags(), 0);
    // The answer carries no credentials, so the stored record has none.
    QVERIFY(session.login().isEmpty());
    QVERIFY(storedSession(AppSession::OperatorLogin) == session);
}

void tst_LoginAccessManager::sessionFromMinimalAnswer()
{
    m_emulator->setScenario(Scenario::RawAnswer);
    m_emulator->setRawAnswer(QByteArrayLiteral("{\"idSession\":\"abc\"}"));
    const auto type = AppSession::SessionType(9);
    storeSession(type, credentials(QStringLiteral("a"), QStringLiteral("b")));
    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QVERIFY(manager->login(type, 1));
    QTRY_COMPARE_WITH_TIMEOUT(success.count(), 1, Patience);

    const AppSession session = success.first().first().value<AppSession>();
    QCOMPARE(session.idSession(), QStringLiteral("abc"));
    QCOMPARE(session.idDealer(), qint64(-1));
    QCOMPARE(session.idUser(), qint64(-1));
    QVERIFY(storedSession(type) == session);
    // Another type's record is left alone.
    QCOMPARE(storedSession(AppSession::OperatorLogin).login(), m_emulator->login());
}

void tst_LoginAccessManager::nothingStoredSendsEmptyCredentials()
{
    const auto never = AppSession::SessionType(201);
    QVERIFY(!hasStoredSession(never));
    ProbeLogin *manager = newManager();
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(manager->login(never, 1));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, Patience);
    const QList<QPair<QString, QString>> expected { { "idHardSoft", "1" }, { "login", "" },
        { "password", "" } };
    QCOMPARE(m_emulator->requests().first().queryItems(), expected);
    QVERIFY(!hasStoredSession(never));
}

void tst_LoginAccessManager::loginFails_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("dealerBlocked");
    QTest::addColumn<bool>("userBlocked");
    QTest::addColumn<qint64>("code");
    QTest::addColumn<QString>("text"); // "*": any non-empty text

    const QString right = QStringLiteral("37294052");
    const int normal = int(Scenario::Normal);
    const int raw = int(Scenario::RawAnswer);
    QTest::newRow("wrong password: empty idSession, no flags")
        << normal << QByteArray() << "00000000" << false << false << qint64(ServerUnaccessible)
        << "Server Is Unaccessable";
    QTest::newRow("dealer blocked") << normal << QByteArray() << right << true << false
                                    << qint64(AgentBlocked) << "Agent is blocked";
    QTest::newRow("user blocked") << normal << QByteArray() << right << false << true
                                  << qint64(UserBlocked) << "User is blocked";
    QTest::newRow("dealer and user blocked: the dealer wins")
        << normal << QByteArray() << right << true << true << qint64(AgentBlocked)
        << "Agent is blocked";
    QTest::newRow("dealer flag as text is not a boolean")
        << raw << QByteArray("{\"idSession\":\"\",\"blockedDealer\":\"yes\",\"blockedUser\":true}")
        << right << false << false << qint64(UserBlocked) << "User is blocked";
    QTest::newRow("idSession is a number")
        << raw << QByteArray("{\"idSession\":5}") << right << false << false
        << qint64(NotAuthorized) << "User is not autorized";
    QTest::newRow("idSession missing") << raw << QByteArray("{\"idUser\":9}") << right << false
                                       << false << qint64(NotAuthorized) << "User is not autorized";
    QTest::newRow("session together with result is an error report")
        << raw << QByteArray("{\"idSession\":\"abc\",\"result\":0}") << right << false << false
        << qint64(0x7F000000) << "";
    QTest::newRow("server error report")
        << int(Scenario::ResultEnvelope) << QByteArray() << right << false << false
        << qint64(0x7F000003) << "Ошибка обработки запроса";
    QTest::newRow("empty body") << int(Scenario::EmptyBody) << QByteArray() << right << false
                                << false << qint64(JsonParseError) << "*";
    QTest::newRow("invalid JSON") << int(Scenario::InvalidJson) << QByteArray() << right << false
                                  << false << qint64(JsonParseError) << "*";
    QTest::newRow("damaged gzip") << int(Scenario::DamagedGzip) << QByteArray() << right << false
                                  << false << qint64(JsonParseError) << "*";
    QTest::newRow("HTTP 503") << int(Scenario::HttpError) << QByteArray() << right << false << false
                              << qint64(QNetworkReply::ServiceUnavailableError) << "*";
    QTest::newRow("connection closed before the answer")
        << int(Scenario::CloseBeforeAnswer) << QByteArray() << right << false << false
        << qint64(QNetworkReply::RemoteHostClosedError) << "*";
}

void tst_LoginAccessManager::loginFails()
{
    QFETCH(int, scenario);
    QFETCH(QByteArray, raw);
    QFETCH(QString, password);
    QFETCH(bool, dealerBlocked);
    QFETCH(bool, userBlocked);
    QFETCH(qint64, code);
    QFETCH(QString, text);

    m_emulator->setScenario(Scenario(scenario));
    m_emulator->setRawAnswer(raw);
    m_emulator->setHttpErrorStatus(503);
    m_emulator->setDealerBlocked(dealerBlocked);
    m_emulator->setUserBlocked(userBlocked);
    const AppSession before = credentials(m_emulator->login(), password);
    storeSession(AppSession::OperatorLogin, before);

    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    LoginHttpsHandler *handler = manager->login(AppSession::OperatorLogin, 1);
    QVERIFY(handler);
    QSignalSpy handlerErrors(handler, &AbstractHttpsReplyHandler::error);
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, Patience);

    QCOMPARE(success.count(), 0);
    QCOMPARE(handlerErrors.count(), 1);
    const QVariantMap err = errors.first().first().toMap();
    QCOMPARE(err, handlerErrors.first().first().toMap());
    QCOMPARE(err.value(QStringLiteral("result")).toLongLong(), code);
    const QString description = err.value(QStringLiteral("resultDescription")).toString();
    if (text == QLatin1String("*"))
        QVERIFY(!description.isEmpty());
    else
        QCOMPARE(description, text);
    // Nothing granted, nothing stored.
    QVERIFY(storedSession(AppSession::OperatorLogin) == before);
}

void tst_LoginAccessManager::silentOnNonObjectAnswer_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QByteArray>("raw");

    QTest::newRow("empty array") << int(Scenario::RawAnswer) << QByteArray("[]");
    QTest::newRow("array of records") << int(Scenario::TopLevelArray) << QByteArray();
}

void tst_LoginAccessManager::silentOnNonObjectAnswer()
{
    QFETCH(int, scenario);
    QFETCH(QByteArray, raw);
    m_emulator->setScenario(Scenario(scenario));
    m_emulator->setRawAnswer(raw);

    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(manager->login(AppSession::OperatorLogin, 1));
    QPointer<QNetworkAccessManager> network = manager->networkManager();
    // The refused answer discards the network manager: that is when the
    // reply has been handled.
    QTRY_VERIFY_WITH_TIMEOUT(network.isNull(), Patience);
    QCOMPARE(m_emulator->requests().size(), 1);
    QCOMPARE(success.count(), 0);
    QCOMPARE(errors.count(), 0);
}

void tst_LoginAccessManager::loginAnswerNeedsALoginHandler()
{
    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    const AppSession before = storedSession(AppSession::OperatorLogin);

    // Called with no login handler behind it.
    const QVariantMap forged { { "idSession", "forged" } };
    QVERIFY(QMetaObject::invokeMethod(manager, "onLoginSuccess", Q_ARG(QVariantMap, forged)));

    QCOMPARE(success.count(), 0);
    QCOMPARE(errors.count(), 1);
    const QVariantMap err = errors.first().first().toMap();
    QCOMPARE(err.value(QStringLiteral("result")).toLongLong(), qint64(UnknownError));
    QCOMPARE(
        err.value(QStringLiteral("resultDescription")).toString(), QStringLiteral("Null handler"));
    QVERIFY(storedSession(AppSession::OperatorLogin) == before);
}

void tst_LoginAccessManager::untrustedServerNeverSeesCredentials()
{
    ProcessingServerEmulator untrusted;
    QVERIFY(NetworkTest::startEmulator(untrusted, true));
    ProbeLogin manager(
        QStringLiteral("127.0.0.1"), untrusted.serverPort(), NetworkTest::trustingTestCa());
    manager.setScheme(QStringLiteral("HTTPS"));
    QSignalSpy success(&manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(&manager, &HttpsAccessManager::error);
    QVERIFY(manager.login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, Patience);

    QCOMPARE(success.count(), 0);
    QCOMPARE(errors.first().first().toMap().value(QStringLiteral("result")).toInt(),
        int(QNetworkReply::SslHandshakeFailedError));
    QTRY_VERIFY_WITH_TIMEOUT(untrusted.handshakeFailures() > 0, Patience);
    QVERIFY(untrusted.requests().isEmpty());
}

void tst_LoginAccessManager::builtInTrustDecidesAboutTheTestServer()
{
    // The production constructor trusts the system's CAs and the built-in
    // one; the test server is trusted only if the build compiled its CA in.
    const QList<QSslCertificate> builtIn = ProcessingServer::builtInCaCertificates();
    const bool trusted = builtIn.contains(NetworkTest::testCa().first());

    LoginAccessManager manager(QStringLiteral("127.0.0.1"), m_emulator->serverPort());
    manager.setScheme(QStringLiteral("HTTPS"));
    QCOMPARE(manager.sslConfiguration().caCertificates().contains(NetworkTest::testCa().first()),
        trusted);
    QSignalSpy success(&manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(&manager, &HttpsAccessManager::error);
    QVERIFY(manager.login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(success.count() + errors.count(), 1, Patience);
    QCOMPARE(success.count(), trusted ? 1 : 0);
    QCOMPARE(m_emulator->requests().size(), trusted ? 1 : 0);
}

void tst_LoginAccessManager::trustingAnExtraCaKeepsTheSystemCas()
{
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    const QSslConfiguration ssl = ProcessingServer::sslConfigurationTrusting(NetworkTest::testCa());
    const QList<QSslCertificate> cas = ssl.caCertificates();
    QVERIFY(cas.contains(NetworkTest::testCa().first()));
    QCOMPARE(cas.size(), system.size() + 1);
    for (const QSslCertificate &certificate : system)
        QVERIFY(cas.contains(certificate));

    LoginAccessManager manager(QStringLiteral("localhost"), m_emulator->serverPort(), ssl);
    manager.setScheme(QStringLiteral("HTTPS"));
    QSignalSpy success(&manager, &LoginAccessManager::loginSuccess);
    QVERIFY(manager.login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(success.count(), 1, Patience);
}

void tst_LoginAccessManager::logHasNoPassword_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("granted login") << int(Scenario::Normal) << true;
    QTest::newRow("HTTP error quoting the URL") << int(Scenario::HttpError) << false;
    QTest::newRow("server error report") << int(Scenario::ResultEnvelope) << false;
    QTest::newRow("connection closed") << int(Scenario::CloseBeforeAnswer) << false;
    QTest::newRow("parse error") << int(Scenario::InvalidJson) << false;
}

void tst_LoginAccessManager::logHasNoPassword()
{
    QFETCH(int, scenario);
    QFETCH(bool, succeeds);
    const QString password = QStringLiteral("Qx7secret42");
    m_emulator->setAccount(QStringLiteral("2604715837"), password);
    m_emulator->setScenario(Scenario(scenario));
    storeSession(AppSession::OperatorLogin, credentials(QStringLiteral("2604715837"), password));

    LogCapture log;
    ProbeLogin *manager = newManager();
    QSignalSpy success(manager, &LoginAccessManager::loginSuccess);
    QSignalSpy errors(manager, &HttpsAccessManager::error);
    QVERIFY(manager->login(AppSession::OperatorLogin, 1));
    QTRY_COMPARE_WITH_TIMEOUT(success.count() + errors.count(), 1, Patience);
    QCOMPARE(success.count(), succeeds ? 1 : 0);

    // The password went to the server, but not into the log or an error map.
    QCOMPARE(m_emulator->requests().first().queryValue(QStringLiteral("password")), password);
    QVERIFY(log.anyContains(QStringLiteral(
        "/vendrel/api/LoginSession?idHardSoft=1&login=2604715837&password=********")));
    QVERIFY2(!log.anyContains(password), qPrintable(log.lines().join(QLatin1Char('\n'))));
    if (!succeeds) {
        const QVariantMap err = errors.first().first().toMap();
        QVERIFY(!err.value(QStringLiteral("resultDescription")).toString().contains(password));
    }
}

QTEST_GUILESS_MAIN(tst_LoginAccessManager)
#include "tst_loginaccessmanager.moc"
