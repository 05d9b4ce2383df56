// The main window against every misbehaviour of the emulated processing
// server, once at the login and once at the model list. For each: no crash,
// the failure is reported as an error map (and logged), the window does not
// take a failed answer for a model list and stays waiting (it has no retry of
// its own), and once the server behaves, a new start of the window logs in
// and shows the models.

#include "appbench.h"

#include "mainwidget.h"
#include "network/httperrorcode.h"
#include "processingserveremulator.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QtTest>

using Scenario = ProcessingServerEmulator::Scenario;

namespace {

// The error maps the request layer logs: "<handler class> <map as JSON>".
class ErrorLog
{
public:
    ErrorLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&ErrorLog::handler);
    }
    ~ErrorLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }

    QList<qint64> codes() const { return m_codes; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        static const QRegularExpression line(
            QStringLiteral("^(?:LoginHttpsHandler|HttpsReplyHandler) (\\{.*\\})$"));
        const QRegularExpressionMatch match = line.match(message);
        if (s_current && match.hasMatch()) {
            const QJsonObject map = QJsonDocument::fromJson(match.captured(1).toUtf8()).object();
            s_current->m_codes << qint64(map.value(QStringLiteral("result")).toDouble());
        }
        if (qEnvironmentVariableIntValue("TAVRON_TEST_LOG") && s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }

    static ErrorLog *s_current;
    QtMessageHandler m_previous = nullptr;
    QList<qint64> m_codes;
};

ErrorLog *ErrorLog::s_current = nullptr;

enum class At
{
    Login,
    ModelList
};

// No error map at all: the login handler drops an answer that is no object.
constexpr qint64 Silent = 0;

} // namespace

Q_DECLARE_METATYPE(At)

class tst_ProcessingScenarios : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void scenario_data();
    void scenario();
    void everyScenarioTried();

private:
    ProcessingServerEmulator m_server;
    QStringList m_tried;
};

void tst_ProcessingScenarios::initTestCase() { QVERIFY(appbench::startProcessing(m_server)); }

void tst_ProcessingScenarios::scenario_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<At>("at");
    QTest::addColumn<QByteArray>("raw"); // the body of a raw answer
    QTest::addColumn<qint64>("code"); // the error map's "result"; Silent: none
    QTest::addColumn<bool>("ready"); // the window takes the answer and is ready

    const qint64 serverResult = qint64(HttpResult::ServerResultBase) + 3;
    const qint64 json = JsonParseError;
    const struct
    {
        const char *name;
        Scenario scenario;
        QByteArray raw;
        qint64 login;
        qint64 models;
    } rows[] = {
        { "result envelope", Scenario::ResultEnvelope, {}, serverResult, serverResult },
        { "invalid JSON", Scenario::InvalidJson, {}, json, json },
        { "empty body", Scenario::EmptyBody, {}, json, json },
        { "damaged gzip", Scenario::DamagedGzip, {}, json, json },
        { "gzip without its header", Scenario::GzipWithoutHeader, {}, json, json },
        { "array instead of an object", Scenario::TopLevelArray, {}, Silent,
            HttpResult::WrongType },
        { "HTTP 500", Scenario::HttpError, {}, QNetworkReply::InternalServerError,
            QNetworkReply::InternalServerError },
        { "closed before the answer", Scenario::CloseBeforeAnswer, {},
            QNetworkReply::RemoteHostClosedError, QNetworkReply::RemoteHostClosedError },
        { "hostile raw answer", Scenario::RawAnswer,
            QByteArrayLiteral(R"({"idSession":"","blockedUser":true,"hardware":{"x":[1,2]}})"),
            UserBlocked, -2 },
    };
    for (const auto &row : rows) {
        QTest::newRow(qPrintable(QStringLiteral("login, %1").arg(QLatin1String(row.name))))
            << row.scenario << At::Login << row.raw << row.login << false;
        // -2: the model answer is read, as a list of no models.
        QTest::newRow(qPrintable(QStringLiteral("model list, %1").arg(QLatin1String(row.name))))
            << row.scenario << At::ModelList << row.raw << (row.models == -2 ? Silent : row.models)
            << (row.models == -2);
    }
    QTest::newRow("login, slow answer")
        << Scenario::SlowAnswer << At::Login << QByteArray() << Silent << true;
    QTest::newRow("model list, slow answer")
        << Scenario::SlowAnswer << At::ModelList << QByteArray() << Silent << true;
    QTest::newRow("normal") << Scenario::Normal << At::Login << QByteArray() << Silent << true;
}

void tst_ProcessingScenarios::scenario()
{
    QFETCH(Scenario, scenario);
    QFETCH(At, at);
    QFETCH(QByteArray, raw);
    QFETCH(qint64, code);
    QFETCH(bool, ready);
    m_tried << QString::fromLatin1(QMetaEnum::fromType<Scenario>().valueToKey(int(scenario)));

    ErrorLog errors;
    m_server.setScenario(Scenario::Normal);
    m_server.setRawAnswer(raw);
    m_server.setSlowDelay(300);
    m_server.clearRequests();
    const QString faulty = at == At::Login ? ProcessingServerEmulator::LoginPath
                                           : ProcessingServerEmulator::DataPackPath;
    // The fault is put on the chosen request as it arrives.
    const QMetaObject::Connection onRequest = connect(&m_server,
        &ProcessingServerEmulator::requestReceived, this, [&](const EmulatedRequest &request) {
            m_server.setScenario(request.path() == faulty ? scenario : Scenario::Normal);
        });

    std::unique_ptr<MainWidget> window = appbench::openWindow(m_server);
    auto *models = window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    QVERIFY(models);
    auto answered = [&]() {
        const QList<EmulatedRequest> requests = m_server.requests();
        for (const EmulatedRequest &request : requests) {
            if (request.path() == faulty)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered(), 10000);

    if (ready) {
        QTRY_VERIFY_WITH_TIMEOUT(window->isEnabled(), 10000);
    } else if (code != Silent) {
        QTRY_COMPARE_WITH_TIMEOUT(errors.codes(), QList<qint64> { code }, 10000);
    } else {
        // Nothing to wait for but the answer's way through the event loop.
        QTest::qWait(500);
    }
    if (code == Silent)
        QVERIFY(errors.codes().isEmpty());

    // A failed answer is never taken for a model list.
    QCOMPARE(window->isEnabled(), ready);
    // The hostile model answer holds no list: the window is ready with none.
    if (!ready || scenario == Scenario::RawAnswer)
        QCOMPARE(models->count(), 0);
    if (at == At::Login && !ready) {
        const QList<EmulatedRequest> requests = m_server.requests();
        for (const EmulatedRequest &request : requests)
            QVERIFY(request.path() != ProcessingServerEmulator::DataPackPath);
    }
    disconnect(onRequest);

    // The server behaves again: the window, started anew, gets its models.
    m_server.setScenario(Scenario::Normal);
    window = appbench::openWindow(m_server);
    models = window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    QTRY_VERIFY_WITH_TIMEOUT(window->isEnabled() && models->count() > 0, 10000);
}

// The table holds every scenario the emulator has.
void tst_ProcessingScenarios::everyScenarioTried()
{
    QStringList all;
    const QMetaEnum scenarios = QMetaEnum::fromType<Scenario>();
    for (int i = 0; i < scenarios.keyCount(); ++i)
        all << QString::fromLatin1(scenarios.key(i));
    all.sort();
    QStringList tried = m_tried;
    tried.removeDuplicates();
    tried.sort();
    QCOMPARE(tried, all);
}

QTEST_MAIN(tst_ProcessingScenarios)
#include "tst_processingscenarios.moc"
