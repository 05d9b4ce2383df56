#include "processingserveremulator.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTextStream>
#include <QTimer>

#include <zlib.h>

const QString ProcessingServerEmulator::LoginPath = QStringLiteral("/vendrel/api/LoginSession");
const QString ProcessingServerEmulator::DataPackPath
    = QStringLiteral("/vendrel/api/WebDataPackPost");

namespace {

constexpr int MaxHeadSize = 64 * 1024;
constexpr qint64 MaxBodySize = 1024 * 1024;
const char EndedProperty[] = "emulatorConnectionEnded";
const char EncryptedProperty[] = "emulatorConnectionEncrypted";

// One whole gzip stream (deflate with the gzip wrapper: windowBits 15 + 16).
QByteArray gzip(const QByteArray &data)
{
    z_stream stream = {};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY)
        != Z_OK)
        return QByteArray();
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 32, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = deflate(&stream, Z_FINISH);
    const int produced = out.size() - int(stream.avail_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        return QByteArray();
    out.resize(produced);
    return out;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QVariantMap record(int idHardware, int idHardwareType, const QString &name, int officialModel,
    const QString &officialName, const QString &officialVersion)
{
    QVariantMap r;
    r.insert(QStringLiteral("idHardware"), idHardware);
    r.insert(QStringLiteral("idHardwareType"), idHardwareType);
    r.insert(QStringLiteral("name"), name);
    r.insert(QStringLiteral("officialModel"), officialModel);
    r.insert(QStringLiteral("officialName"), officialName);
    r.insert(QStringLiteral("officialVersion"), officialVersion);
    return r;
}

struct ScenarioName
{
    const char *name;
    ProcessingServerEmulator::Scenario scenario;
};

const ScenarioName scenarioTable[] = {
    { "normal", ProcessingServerEmulator::Scenario::Normal },
    { "result-envelope", ProcessingServerEmulator::Scenario::ResultEnvelope },
    { "invalid-json", ProcessingServerEmulator::Scenario::InvalidJson },
    { "empty-body", ProcessingServerEmulator::Scenario::EmptyBody },
    { "damaged-gzip", ProcessingServerEmulator::Scenario::DamagedGzip },
    { "gzip-without-header", ProcessingServerEmulator::Scenario::GzipWithoutHeader },
    { "top-level-array", ProcessingServerEmulator::Scenario::TopLevelArray },
    { "http-error", ProcessingServerEmulator::Scenario::HttpError },
    { "close-before-answer", ProcessingServerEmulator::Scenario::CloseBeforeAnswer },
    { "slow-answer", ProcessingServerEmulator::Scenario::SlowAnswer },
    { "raw-answer", ProcessingServerEmulator::Scenario::RawAnswer },
};

} // namespace

ProcessingServerEmulator::ProcessingServerEmulator(QObject *parent)
    : QTcpServer(parent)
    , m_hardware(defaultHardware())
{ }

ProcessingServerEmulator::~ProcessingServerEmulator()
{
    close();
    const auto sockets = m_buffers.keys();
    for (QSslSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

QVariantList ProcessingServerEmulator::defaultHardware()
{
    // Cash registers (type 1) with official model codes 200..255 qualify; the
    // others are here so that a client shows it filters them out.
    return {
        record(101, 1, QStringLiteral("  Меридиан-Ф  "), 200, QStringLiteral(" МЕРИДИАН-Ф "),
            QStringLiteral("001 ")),
        record(102, 1, QStringLiteral("Каскад 02Ф"), 231, QStringLiteral("КАСКАД 02Ф"),
            QStringLiteral("002")),
        record(103, 1, QStringLiteral("Старая касса"), 199, QStringLiteral("СТАРАЯ"),
            QStringLiteral("001")),
        record(104, 2, QStringLiteral("Фискальный накопитель 15"), 230, QStringLiteral("ФН-15"),
            QStringLiteral("001")),
        record(105, 1, QStringLiteral("Вершина-255"), 255, QStringLiteral("ВЕРШИНА"),
            QStringLiteral("003")),
        record(106, 1, QStringLiteral("Будущая модель"), 256, QStringLiteral("БУДУЩАЯ"),
            QStringLiteral("001")),
    };
}

bool ProcessingServerEmulator::scenarioFromName(const QString &name, Scenario *scenario)
{
    for (const auto &entry : scenarioTable) {
        if (name == QLatin1String(entry.name)) {
            *scenario = entry.scenario;
            return true;
        }
    }
    return false;
}

QStringList ProcessingServerEmulator::scenarioNames()
{
    QStringList names;
    for (const auto &entry : scenarioTable)
        names << QString::fromLatin1(entry.name);
    return names;
}

bool ProcessingServerEmulator::setCertificateFiles(const QString &certFile, const QString &keyFile)
{
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(
        certFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    QFile file(keyFile);
    if (certificates.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QSslKey key(&file, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        return false;
    setCertificate(certificates.first(), key);
    return true;
}

void ProcessingServerEmulator::setCertificate(
    const QSslCertificate &certificate, const QSslKey &key)
{
    m_certificate = certificate;
    m_key = key;
}

bool ProcessingServerEmulator::start(const QHostAddress &address, quint16 port)
{
    return listen(address, port);
}

void ProcessingServerEmulator::setAccount(const QString &login, const QString &password)
{
    m_login = login;
    m_password = password;
}

QString ProcessingServerEmulator::openSession()
{
    const quint64 a = QRandomGenerator::global()->generate64();
    const QString id = QStringLiteral("S%1").arg(a, 16, 16, QLatin1Char('0')).toUpper();
    m_sessions.insert(id);
    m_sessionOrder.append(id);
    return id;
}

void ProcessingServerEmulator::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++m_connections;
    m_buffers.insert(socket, QByteArray());
    socket->setLocalCertificate(m_certificate);
    socket->setPrivateKey(m_key);
    socket->setProtocol(QSsl::TlsV1_2OrLater);

    auto ended = [this, socket]() {
        if (socket->property(EndedProperty).toBool())
            return;
        socket->setProperty(EndedProperty, true);
        m_buffers.remove(socket);
        if (!socket->property(EncryptedProperty).toBool()) {
            ++m_handshakeFailures;
            emit handshakeFailed();
        }
        socket->deleteLater();
    };
    connect(socket, &QSslSocket::encrypted, this,
        [socket]() { socket->setProperty(EncryptedProperty, true); });
    connect(socket, &QSslSocket::readyRead, this, [this, socket]() { readFrom(socket); });
    connect(socket, &QSslSocket::disconnected, this, ended);
    connect(socket, &QAbstractSocket::errorOccurred, this, [socket, ended]() {
        // A handshake that fails leaves the socket connected but useless.
        if (!socket->isEncrypted())
            ended();
    });
    socket->startServerEncryption();
}

void ProcessingServerEmulator::readFrom(QSslSocket *socket)
{
    if (!m_buffers.contains(socket))
        return;
    QByteArray &buffer = m_buffers[socket];
    buffer.append(socket->readAll());

    QPointer<QSslSocket> guard(socket);
    while (guard && m_buffers.contains(socket)) {
        QByteArray &pending = m_buffers[socket];
        const int headEnd = pending.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (pending.size() > MaxHeadSize) {
                send(socket, EmulatedRequest(), { 431, QByteArray(), {} });
                socket->disconnectFromHost();
            }
            return;
        }
        EmulatedRequest request;
        if (!request.parseHead(pending.left(headEnd))) {
            send(socket, EmulatedRequest(), { 400, QByteArray(), {} });
            socket->disconnectFromHost();
            return;
        }
        const qint64 length = request.contentLength();
        if (length < 0 || length > MaxBodySize) {
            send(socket, EmulatedRequest(), { length < 0 ? 400 : 413, QByteArray(), {} });
            socket->disconnectFromHost();
            return;
        }
        if (pending.size() < headEnd + 4 + length)
            return;
        request.setBody(pending.mid(headEnd + 4, int(length)));
        pending.remove(0, headEnd + 4 + int(length));
        serve(socket, request);
    }
}

void ProcessingServerEmulator::serve(QSslSocket *socket, const EmulatedRequest &request)
{
    m_requests.append(request);
    emit requestReceived(request);

    if (m_scenario == Scenario::CloseBeforeAnswer) {
        socket->disconnectFromHost();
        return;
    }

    // The faults that replace the answer as a whole come without side
    // effects (no session is opened for them).
    const bool answered = m_scenario == Scenario::Normal || m_scenario == Scenario::SlowAnswer
        || m_scenario == Scenario::DamagedGzip || m_scenario == Scenario::GzipWithoutHeader;
    Answer answer;
    if (answered)
        answer = route(request);

    switch (m_scenario) {
    case Scenario::Normal:
    case Scenario::CloseBeforeAnswer:
        break;
    case Scenario::SlowAnswer: {
        QPointer<QSslSocket> guard(socket);
        QTimer::singleShot(m_slowDelay, this, [this, guard, request, answer]() {
            if (guard && guard->state() == QAbstractSocket::ConnectedState)
                send(guard, request, answer);
        });
        return;
    }
    case Scenario::ResultEnvelope:
        answer = errorEnvelope(m_resultCode, QStringLiteral("Ошибка обработки запроса"));
        break;
    case Scenario::InvalidJson:
        answer = { 200, QByteArrayLiteral("{\"idSession\": \"S1\", \"hardware\": ["), {} };
        break;
    case Scenario::EmptyBody:
        answer = { 200, QByteArray(), {} };
        break;
    case Scenario::DamagedGzip: {
        // A stream whose CRC-32 (the first four bytes of the 8-byte trailer)
        // does not match the data.
        QByteArray body = gzip(answer.body);
        body[body.size() - 8] = char(body.at(body.size() - 8) ^ 0x5A);
        answer.body = body;
        answer.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
        break;
    }
    case Scenario::GzipWithoutHeader:
        answer.body = gzip(answer.body);
        answer.sendAsIs = true;
        break;
    case Scenario::TopLevelArray:
        answer = jsonAnswer(m_hardware);
        break;
    case Scenario::HttpError:
        answer = { m_httpErrorStatus, QByteArrayLiteral("{\"message\":\"emulated failure\"}"), {} };
        break;
    case Scenario::RawAnswer:
        answer = { 200, m_rawAnswer, {} };
        break;
    }
    send(socket, request, answer);
}

ProcessingServerEmulator::Answer ProcessingServerEmulator::route(const EmulatedRequest &request)
{
    if (request.path() == LoginPath)
        return request.method() == "GET" ? answerLogin(request) : Answer { 405, QByteArray(), {} };
    if (request.path() == DataPackPath)
        return request.method() == "POST" ? answerDataPack(request)
                                          : Answer { 405, QByteArray(), {} };
    return { 404, QByteArray(), {} };
}

ProcessingServerEmulator::Answer ProcessingServerEmulator::answerLogin(
    const EmulatedRequest &request)
{
    QVariantMap reply;
    const bool known = request.queryValue(QStringLiteral("login")) == m_login
        && request.queryValue(QStringLiteral("password")) == m_password
        && request.hasQueryItem(QStringLiteral("idHardSoft"));
    if (!known || m_dealerBlocked || m_userBlocked) {
        reply.insert(QStringLiteral("idSession"), QString());
        reply.insert(QStringLiteral("blockedDealer"), known && m_dealerBlocked);
        reply.insert(QStringLiteral("blockedUser"), known && m_userBlocked);
        return jsonAnswer(reply);
    }
    const QString id = openSession();
    reply.insert(QStringLiteral("idSession"), id);
    reply.insert(QStringLiteral("idDealer"), m_dealerId);
    reply.insert(QStringLiteral("idUser"), m_userId);
    reply.insert(QStringLiteral("idAccessKind"), QStringLiteral("workshop"));
    reply.insert(QStringLiteral("nameDealer"), QStringLiteral("Мастерская «Эталон»"));
    reply.insert(QStringLiteral("nameUser"), QStringLiteral("Оператор 1"));
    reply.insert(QStringLiteral("blockedDealer"), false);
    reply.insert(QStringLiteral("blockedUser"), false);
    reply.insert(QStringLiteral("idHardSoft"),
        request.queryValue(QStringLiteral("idHardSoft")).toLongLong());
    Answer answer = jsonAnswer(reply);
    answer.headers.append(
        { "Set-Cookie", m_cookieName + '=' + id.toLatin1() + "; Path=/; Secure; HttpOnly" });
    return answer;
}

ProcessingServerEmulator::Answer ProcessingServerEmulator::answerDataPack(
    const EmulatedRequest &request)
{
    if (!request.header("content-type").startsWith("application/json"))
        return errorEnvelope(5, QStringLiteral("Ожидается JSON"));
    const QJsonDocument document = QJsonDocument::fromJson(request.body());
    const QJsonObject body = document.object();
    const QJsonObject session = body.value(QStringLiteral("session")).toObject();
    const QString id = session.value(QStringLiteral("idSession")).toString();
    if (!document.isObject() || !m_sessions.contains(id)
        || session.value(QStringLiteral("idDealer")).toString() != QString::number(m_dealerId)
        || session.value(QStringLiteral("idUser")).toString() != QString::number(m_userId)) {
        return errorEnvelope(2, QStringLiteral("Сессия не найдена"));
    }
    if (!body.value(QStringLiteral("web")).toObject().value(QStringLiteral("afterChId")).isObject())
        return errorEnvelope(5, QStringLiteral("Не указаны наборы данных"));

    QVariantMap reply;
    reply.insert(QStringLiteral("hardware"), m_hardware);
    reply.insert(QStringLiteral("hardwareType"),
        QVariantList { QVariantMap { { QStringLiteral("idHardwareType"), 1 },
                           { QStringLiteral("name"), QStringLiteral("ККТ") } },
            QVariantMap { { QStringLiteral("idHardwareType"), 2 },
                { QStringLiteral("name"), QStringLiteral("ФН") } } });
    reply.insert(QStringLiteral("kktAllowedSerialRange"), QVariantList());
    Answer answer = jsonAnswer(reply);
    answer.headers.append(
        { "Set-Cookie", m_cookieName + '=' + id.toLatin1() + "; Path=/; Secure; HttpOnly" });
    return answer;
}

ProcessingServerEmulator::Answer ProcessingServerEmulator::jsonAnswer(const QVariant &value)
{
    return { 200, QJsonDocument::fromVariant(value).toJson(QJsonDocument::Compact), {} };
}

ProcessingServerEmulator::Answer ProcessingServerEmulator::errorEnvelope(
    qint64 code, const QString &text)
{
    QVariantMap reply;
    reply.insert(QStringLiteral("result"), code);
    reply.insert(QStringLiteral("resultDescription"), text);
    return jsonAnswer(reply);
}

void ProcessingServerEmulator::send(
    QSslSocket *socket, const EmulatedRequest &request, Answer answer)
{
    bool encoded = answer.sendAsIs;
    for (const auto &header : answer.headers) {
        if (header.first.compare("Content-Encoding", Qt::CaseInsensitive) == 0)
            encoded = true;
    }
    if (!encoded && !answer.body.isEmpty() && request.header("accept-encoding").contains("gzip")) {
        answer.body = gzip(answer.body);
        answer.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' '
        + reasonPhrase(answer.status) + "\r\n";
    head += "Content-Type: application/json; charset=utf-8\r\n";
    head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    const bool close = request.header("connection").toLower() == "close";
    head += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto &header : answer.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    socket->write(head + answer.body);
    if (close)
        socket->disconnectFromHost();
}
