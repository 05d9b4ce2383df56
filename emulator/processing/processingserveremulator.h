#ifndef PROCESSINGSERVEREMULATOR_H
#define PROCESSINGSERVEREMULATOR_H

#include "emulatedrequest.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QVariantList>

class QSslSocket;

// The workshop's processing server, emulated over HTTPS (HTTP/1.1 with
// Content-Length bodies, keep-alive). It serves
//
//   GET  /vendrel/api/LoginSession?idHardSoft=..&login=..&password=..
//        the session object ("idSession", "idDealer", "idUser", ...) and a
//        session cookie for the right login and password; an empty
//        "idSession" for wrong ones or a blocked account;
//   POST /vendrel/api/WebDataPackPost
//        with a JSON body naming an open session under "session": the
//        answer object with the model records under "hardware".
//
// Answers are gzip-compressed when the request accepts gzip. A scenario
// switch turns every following answer into one fault.
class ProcessingServerEmulator : public QTcpServer
{
    Q_OBJECT
public:
    static const QString LoginPath;
    static const QString DataPackPath;

    enum class Scenario
    {
        Normal,
        ResultEnvelope, // {"result": resultCode(), "resultDescription": ...}
        InvalidJson, // a body that is not JSON
        EmptyBody, // a 200 answer without a body
        DamagedGzip, // "Content-Encoding: gzip" over a broken stream
        GzipWithoutHeader, // a gzip stream without "Content-Encoding"
        TopLevelArray, // a JSON array instead of the answer object
        HttpError, // the status httpErrorStatus() with a short body
        CloseBeforeAnswer, // reads the request and closes the connection
        SlowAnswer, // the normal answer after slowDelay() milliseconds
        RawAnswer, // rawAnswer() as the body of a 200 answer
    };
    Q_ENUM(Scenario)

    explicit ProcessingServerEmulator(QObject *parent = nullptr);
    ~ProcessingServerEmulator() override;

    // The server's certificate and key. False when the files hold none.
    bool setCertificateFiles(const QString &certFile, const QString &keyFile);
    void setCertificate(const QSslCertificate &certificate, const QSslKey &key);

    // Listens on the address; port 0 takes a free one (see serverPort()).
    bool start(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);

    // The account the login is checked against.
    void setAccount(const QString &login, const QString &password);
    QString login() const { return m_login; }
    QString password() const { return m_password; }
    void setDealerBlocked(bool blocked) { m_dealerBlocked = blocked; }
    void setUserBlocked(bool blocked) { m_userBlocked = blocked; }
    qint64 dealerId() const { return m_dealerId; }
    qint64 userId() const { return m_userId; }
    QByteArray cookieName() const { return m_cookieName; }

    // Opens a session as a login would, without one; gives its id.
    QString openSession();
    // The session ids granted so far, newest last.
    QStringList sessions() const { return m_sessionOrder; }

    // The model records of the data-pack answer; by default a list that
    // holds records a client must filter out as well as good ones.
    void setHardware(const QVariantList &records) { m_hardware = records; }
    QVariantList hardware() const { return m_hardware; }
    static QVariantList defaultHardware();

    void setScenario(Scenario scenario) { m_scenario = scenario; }
    Scenario scenario() const { return m_scenario; }
    static bool scenarioFromName(const QString &name, Scenario *scenario);
    static QStringList scenarioNames();
    void setResultCode(qint64 code) { m_resultCode = code; }
    qint64 resultCode() const { return m_resultCode; }
    void setHttpErrorStatus(int status) { m_httpErrorStatus = status; }
    int httpErrorStatus() const { return m_httpErrorStatus; }
    void setSlowDelay(int milliseconds) { m_slowDelay = milliseconds; }
    int slowDelay() const { return m_slowDelay; }
    void setRawAnswer(const QByteArray &body) { m_rawAnswer = body; }
    QByteArray rawAnswer() const { return m_rawAnswer; }

    // What arrived: every request that got through TLS and HTTP parsing.
    QList<EmulatedRequest> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    int connectionsAccepted() const { return m_connections; }
    // Connections that ended before their TLS handshake completed.
    int handshakeFailures() const { return m_handshakeFailures; }

signals:
    void requestReceived(const EmulatedRequest &request);
    void handshakeFailed();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool sendAsIs = false; // never compressed on the way out
    };

    void readFrom(QSslSocket *socket);
    void serve(QSslSocket *socket, const EmulatedRequest &request);
    Answer route(const EmulatedRequest &request);
    Answer answerLogin(const EmulatedRequest &request);
    Answer answerDataPack(const EmulatedRequest &request);
    Answer faultAnswer(const EmulatedRequest &request) const;
    void send(QSslSocket *socket, const EmulatedRequest &request, Answer answer);
    static Answer jsonAnswer(const QVariant &value);
    static Answer errorEnvelope(qint64 code, const QString &text);

    QSslCertificate m_certificate;
    QSslKey m_key;
    QString m_login = QStringLiteral("2604715837");
    QString m_password = QStringLiteral("37294052");
    bool m_dealerBlocked = false;
    bool m_userBlocked = false;
    qint64 m_dealerId = 7;
    qint64 m_userId = 9;
    QByteArray m_cookieName = QByteArrayLiteral("VendrelSession");
    QSet<QString> m_sessions;
    QStringList m_sessionOrder;
    QVariantList m_hardware;
    Scenario m_scenario = Scenario::Normal;
    qint64 m_resultCode = 3;
    int m_httpErrorStatus = 500;
    int m_slowDelay = 1000;
    QByteArray m_rawAnswer;
    QList<EmulatedRequest> m_requests;
    QHash<QSslSocket *, QByteArray> m_buffers;
    int m_connections = 0;
    int m_handshakeFailures = 0;
};

#endif // PROCESSINGSERVEREMULATOR_H
