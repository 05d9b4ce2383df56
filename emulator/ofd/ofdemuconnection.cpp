#include "ofdemuconnection.h"

#include "ofdemucontainer.h"
#include "ofdemudocument.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>

namespace ofdemu {

namespace {

QString nowText() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

} // namespace

Connection::Connection(QTcpSocket *socket, SharedState *state, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_state(state)
{
    m_socket->setParent(this);
    const Settings settings = m_state->settings();
    m_phase = settings.socks5 ? Phase::SocksGreeting : Phase::Containers;
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &Connection::onDisconnected);

    if (settings.scenario == Scenario::CloseAfterConnect) {
        m_phase = Phase::Closed;
        m_socket->disconnectFromHost();
        return;
    }
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &Connection::onReadyRead);
}

void Connection::onReadyRead()
{
    if (m_phase == Phase::Closed) {
        m_socket->readAll();
        return;
    }
    m_buffer.append(m_socket->readAll());
    for (;;) {
        bool progressed = false;
        switch (m_phase) {
        case Phase::SocksGreeting:
            progressed = takeSocksGreeting();
            break;
        case Phase::SocksRequest:
            progressed = takeSocksRequest();
            break;
        case Phase::Containers:
            progressed = takeContainer();
            break;
        case Phase::Closed:
            break;
        }
        if (!progressed || m_phase == Phase::Closed)
            return;
    }
}

void Connection::onDisconnected()
{
    if (m_phase == Phase::Containers && !m_buffer.isEmpty()) {
        QJsonObject record;
        record.insert(QStringLiteral("receivedAt"), nowText());
        record.insert(QStringLiteral("error"),
            QStringLiteral("connection closed inside a container after %1 bytes")
                .arg(m_buffer.size()));
        record.insert(QStringLiteral("received"), QString::fromLatin1(m_buffer.toHex()));
        m_state->addRecord(record);
        emit documentReceived(record);
    }
    m_phase = Phase::Closed;
    deleteLater();
}

// SOCKS5 greeting: 05, the number of methods, the methods. Answer 05 00 (no
// authentication).
bool Connection::takeSocksGreeting()
{
    if (m_buffer.size() < 2)
        return false;
    const int methods = quint8(m_buffer.at(1));
    if (m_buffer.size() < 2 + methods)
        return false;
    if (m_buffer.at(0) != 0x05) {
        refuse(QStringLiteral("not a SOCKS5 greeting"), m_buffer);
        return false;
    }
    m_buffer.remove(0, 2 + methods);
    m_socket->write(QByteArray("\x05\x00", 2));
    m_phase = Phase::SocksRequest;
    return true;
}

// SOCKS5 connect request: 05 01 00, address type, address, port (big-endian).
// The emulator answers success and then plays the operator itself.
bool Connection::takeSocksRequest()
{
    if (m_buffer.size() < 5)
        return false;
    const int type = quint8(m_buffer.at(3));
    int addressSize = 0;
    int addressStart = 4;
    if (type == 0x01) {
        addressSize = 4;
    } else if (type == 0x04) {
        addressSize = 16;
    } else if (type == 0x03) {
        addressSize = quint8(m_buffer.at(4));
        addressStart = 5;
    } else {
        refuse(QStringLiteral("SOCKS5 address type %1").arg(type), m_buffer);
        return false;
    }
    const int total = addressStart + addressSize + 2;
    if (m_buffer.size() < total)
        return false;
    if (m_buffer.at(0) != 0x05 || m_buffer.at(1) != 0x01) {
        refuse(QStringLiteral("not a SOCKS5 connect request"), m_buffer);
        return false;
    }
    const QByteArray address = m_buffer.mid(addressStart, addressSize);
    const int port = (quint8(m_buffer.at(total - 2)) << 8) | quint8(m_buffer.at(total - 1));
    QString host;
    if (type == 0x03) {
        host = QString::fromLatin1(address);
    } else {
        QStringList parts;
        for (const char c : address)
            parts.append(QString::number(quint8(c), type == 0x01 ? 10 : 16));
        host = parts.join(type == 0x01 ? QLatin1Char('.') : QLatin1Char(':'));
    }
    m_requestedHost = QStringLiteral("%1:%2").arg(host).arg(port);
    m_state->addRequestedHost(m_requestedHost);
    m_buffer.remove(0, total);
    m_socket->write(QByteArray("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
    m_phase = Phase::Containers;
    return true;
}

bool Connection::takeContainer()
{
    if (m_buffer.size() < HeaderSize)
        return false;
    QString fault;
    const ContainerHeader header = ContainerHeader::parse(m_buffer.left(HeaderSize), &fault);
    if (!fault.isEmpty()) {
        refuse(fault, m_buffer);
        return false;
    }
    if (m_buffer.size() < HeaderSize + int(header.length))
        return false;

    const QByteArray body = m_buffer.mid(HeaderSize, header.length);
    const QByteArray received = m_buffer.left(HeaderSize + header.length);
    fault = header.bodyFault(body);
    if (!fault.isEmpty()) {
        refuse(fault, received);
        return false;
    }
    m_buffer.remove(0, HeaderSize + header.length);

    const RegistrationDocument document = RegistrationDocument::decode(body, &fault);
    if (!fault.isEmpty()) {
        refuse(fault, received);
        return false;
    }

    const Settings settings = m_state->settings();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray receipt = buildReceipt(document, now);

    QJsonObject record = document.toJson();
    record.insert(QStringLiteral("receivedAt"), now.toString(Qt::ISODateWithMs));
    record.insert(QStringLiteral("headerStorageNumber"), QString::fromLatin1(header.fsNumber));
    record.insert(QStringLiteral("document"), QString::fromLatin1(body.toHex()));
    record.insert(QStringLiteral("receipt"), QString::fromLatin1(receipt.toHex()));
    record.insert(QStringLiteral("scenario"), scenarioName(settings.scenario));
    if (!m_requestedHost.isEmpty())
        record.insert(QStringLiteral("requestedHost"), m_requestedHost);
    m_state->addRecord(record);
    emit documentReceived(record);

    answer(header.fsNumber, receipt, settings);
    return true;
}

void Connection::refuse(const QString &reason, const QByteArray &received)
{
    QJsonObject record;
    record.insert(QStringLiteral("receivedAt"), nowText());
    record.insert(QStringLiteral("error"), reason);
    record.insert(QStringLiteral("received"), QString::fromLatin1(received.toHex()));
    m_state->addRecord(record);
    emit documentReceived(record);
    emit containerRefused(reason);
    m_phase = Phase::Closed;
    m_buffer.clear();
    m_socket->disconnectFromHost();
}

void Connection::answer(
    const QByteArray &headerFsNumber, const QByteArray &receipt, const Settings &settings)
{
    ContainerFaults faults;
    switch (settings.scenario) {
    case Scenario::WrongCheckValue:
        faults.corruptCrc = true;
        break;
    case Scenario::HeaderOnlyCheck:
        faults.crcOverHeaderOnly = true;
        break;
    case Scenario::WrongSignature:
        faults.signature = QByteArray("\x2a\x08\x41\x0b", 4);
        break;
    case Scenario::WrongSessionVersion:
        faults.sessionVersion = QByteArray("\x81\xa3", 2);
        break;
    case Scenario::CheckMode3:
        faults.checkMode = 3;
        break;
    default:
        break;
    }
    const QByteArray container = buildContainer(headerFsNumber, receipt, faults);

    switch (settings.scenario) {
    case Scenario::NoAnswer:
        if (settings.holdMs >= 0) {
            QTimer::singleShot(settings.holdMs, this, [this] {
                m_phase = Phase::Closed;
                m_socket->disconnectFromHost();
            });
        }
        return;
    case Scenario::LateAnswer:
        sendPieces({ container }, settings.delayMs, 0);
        return;
    case Scenario::SplitAnswer:
        sendPieces(
            { container.left(10), container.mid(10, HeaderSize - 10), container.mid(HeaderSize) },
            0, settings.delayMs);
        return;
    case Scenario::Garbage2:
        sendPieces({ QByteArray("\x5a\xa5", 2) + container }, 0, 0);
        return;
    case Scenario::Garbage4:
        sendPieces({ QByteArray("\x5a\xa5\x5a\xa5", 4) + container }, 0, 0);
        return;
    case Scenario::ShortBody:
        sendPieces({ container.left(container.size() - 1) }, 0, 0);
        return;
    case Scenario::ShortBodyRestLater:
        sendPieces(
            { container.left(container.size() - 1), container.right(1) }, 0, settings.delayMs);
        return;
    default:
        sendPieces({ container }, 0, 0);
        return;
    }
}

// Writes piece i at firstDelayMs + i * gapMs; a delay of 0 writes at once.
void Connection::sendPieces(const QList<QByteArray> &pieces, int firstDelayMs, int gapMs)
{
    QByteArray whole;
    for (const QByteArray &piece : pieces)
        whole.append(piece);
    for (int i = 0; i < pieces.size(); ++i) {
        const int at = firstDelayMs + i * gapMs;
        const QByteArray announce = i == pieces.size() - 1 ? whole : QByteArray();
        const QByteArray piece = pieces.at(i);
        if (at <= 0)
            writePiece(piece, announce);
        else
            QTimer::singleShot(at, this, [this, piece, announce] { writePiece(piece, announce); });
    }
}

void Connection::writePiece(const QByteArray &piece, const QByteArray &announce)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(piece);
    m_socket->flush();
    if (!announce.isEmpty())
        emit answerSent(announce);
}

} // namespace ofdemu
