// Inputs the fuzz targets (fuzz/) found, kept as regression cases: each row
// is an input that once made a target report, fed through the same program
// code as the target did, with what the program must make of it.

#include "mgr/appsession.h"
#include "mgr/loginaccessmanager.h"
#include "mgr/loginhttpshandler.h"
#include "network/httperrorcode.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QtTest>

namespace {

// A finished reply that serves its body from memory.
class BufferReply : public QNetworkReply
{
public:
    explicit BufferReply(const QByteArray &body)
        : m_body(body)
    {
        setUrl(QUrl(QStringLiteral("https://127.0.0.1:1/vendrel/api/LoginSession")));
        setOperation(QNetworkAccessManager::GetOperation);
        open(QIODevice::ReadOnly);
        setFinished(true);
    }

    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return m_body.size() - m_position + QNetworkReply::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = qMin<qint64>(maxSize, m_body.size() - m_position);
        if (count <= 0)
            return -1;
        memcpy(data, m_body.constData() + m_position, size_t(count));
        m_position += count;
        return count;
    }

private:
    QByteArray m_body;
    qint64 m_position = 0;
};

} // namespace

class tst_FuzzRegressions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sessionFromJson_data();
    void sessionFromJson();
    void loginAnswer_data();
    void loginAnswer();
};

void tst_FuzzRegressions::initTestCase() { qRegisterMetaType<AppSession>("AppSession"); }

// fuzz_appsession: Qt's JSON reader frees nothing of a value that a later
// duplicate key replaces (a leak inside Qt, suppressed in fuzz/lsan.supp).
// The program must still read such an answer: the last value wins.
void tst_FuzzRegressions::sessionFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("idSession");
    QTest::addColumn<qint64>("idDealer");

    QTest::newRow("duplicate key over an array (leak found by fuzz_appsession)")
        << QByteArray(R"({"a":[{}],"a":0})") << QString() << qint64(-1);
    QTest::newRow("duplicate session id, an object first")
        << QByteArray(R"({"idSession":{"x":[1]},"idSession":"abc","idDealer":7})")
        << QStringLiteral("abc") << qint64(7);
    QTest::newRow("duplicate dealer, a text last")
        << QByteArray(R"({"idDealer":[5],"idDealer":"12"})") << QString() << qint64(12);
}

void tst_FuzzRegressions::sessionFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, idSession);
    QFETCH(qint64, idDealer);

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const AppSession session(document.toVariant().toMap());
    QCOMPARE(session.idSession(), idSession);
    QCOMPARE(session.idDealer(), idDealer);
    QCOMPARE(session.toSessionMap().value(QStringLiteral("idDealer")).toString(),
        QString::number(idDealer));
}

// fuzz_httpsreply through the login handler: the same answers as a server
// would send them, on to the stored session.
void tst_FuzzRegressions::loginAnswer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("granted");
    QTest::addColumn<QString>("idSession");
    QTest::addColumn<int>("errorCode");

    QTest::newRow("duplicate session id, the valid one last")
        << QByteArray(R"({"idSession":[{}],"idSession":"s1","idUser":3})") << true
        << QStringLiteral("s1") << 0;
    QTest::newRow("duplicate session id, the valid one first")
        << QByteArray(R"({"idSession":"s1","idSession":[{}]})") << false << QString()
        << int(NotAuthorized);
    QTest::newRow("duplicate key over an array, no session")
        << QByteArray(R"({"a":[{}],"a":0})") << false << QString() << int(NotAuthorized);
}

void tst_FuzzRegressions::loginAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, granted);
    QFETCH(QString, idSession);
    QFETCH(int, errorCode);

    storeSession(AppSession::OperatorLogin, AppSession());
    LoginAccessManager login(QStringLiteral("127.0.0.1"), 1, QSslConfiguration());
    auto *handler = new LoginHttpsHandler(AppSession::OperatorLogin, &login);
    QVERIFY(connect(
        handler, SIGNAL(loginSuccess(QVariantMap)), &login, SLOT(onLoginSuccess(QVariantMap))));
    QSignalSpy success(&login, &LoginAccessManager::loginSuccess);
    QSignalSpy failure(handler, &AbstractHttpsReplyHandler::error);
    QVERIFY(success.isValid());
    QVERIFY(failure.isValid());

    BufferReply reply(body);
    QCOMPARE(handler->prepareReply(&reply), granted);
    QCOMPARE(success.count(), granted ? 1 : 0);
    QCOMPARE(failure.count(), granted ? 0 : 1);
    QCOMPARE(storedSession(AppSession::OperatorLogin).idSession(), idSession);
    if (!granted)
        QCOMPARE(handler->errorMap().value(QStringLiteral("result")).toInt(), errorCode);
}

QTEST_MAIN(tst_FuzzRegressions)
#include "tst_fuzzregressions.moc"
