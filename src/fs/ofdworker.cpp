#include "fs/ofdworker.h"

#include "fs/fsstate.h"
#include "fs/ofdmessage.h"
#include "regnumber.h"
#include "tessarocore/logging.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

using tessaro::logbinary;
using tessaro::logtab;

namespace {

// Looks at the socket again at least this often while waiting for a reply, so
// that the wait ends on time even when no event arrives.
constexpr int ReplyPollInterval = 50;
// How long sendDocument gives a connection that is not up yet.
constexpr int SendOpenWait = 5000;
// How long dropping the socket waits for the disconnection.
constexpr int DropWait = 5000;

} // namespace

OfdWorker::OfdWorker()
{
    setObjectName(QStringLiteral("OfdWorker"));
    qRegisterMetaType<QAbstractSocket::SocketState>();
    qRegisterMetaType<QAbstractSocket::SocketError>();
}

OfdWorker::~OfdWorker()
{
    if (m_socket) {
        m_socket->blockSignals(true);
        delete m_socket.data();
    }
}

bool OfdWorker::onStart()
{
    onStop();
    open(0);
    return true;
}

bool OfdWorker::onStop()
{
    if (m_socket) {
        QTcpSocket *socket = m_socket.data();
        m_socket = nullptr;
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->waitForDisconnected(DropWait);
        socket->blockSignals(true);
        socket->deleteLater();
    }
    return true;
}

void OfdWorker::setOfdInn(QString ofdInn)
{
    const QString inn = ofdInn.trimmed();
    if (!m_ofdInn.isEmpty() && !inn.isEmpty() && inn != m_ofdInn && m_socket) {
        m_socket->disconnectFromHost();
        m_ofd = OfdInfo();
    }
    m_ofdInn = inn;
}

bool OfdWorker::selectOfd(const OfdInfo *info)
{
    if (info)
        m_ofd = *info;
    if (!m_ofd.isValid() && isInnValid(m_ofdInn.toLatin1())) {
        if (const OfdInfo *found = findOfdInfo(m_ofdInn))
            m_ofd = *found;
    }
    return m_ofd.isValid();
}

bool OfdWorker::open(int wait)
{
    m_fsNumber = currentFsState().fsNumber();

    if (!m_socket) {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::stateChanged, this, &OfdWorker::socketStateChanged);
        connect(m_socket, &QTcpSocket::readyRead, this, &OfdWorker::socketReadyRead);
        connect(m_socket, &QTcpSocket::errorOccurred, this, &OfdWorker::socketError);
    }
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        return true;

    if (!selectOfd())
        return false;

    const QString host = m_ofd.addr().trimmed();
    // The resolved address only goes into the log: the socket connects by the host text.
    const QHostInfo lookup = QHostInfo::fromName(host);
    const QString resolved
        = lookup.addresses().isEmpty() ? QString() : lookup.addresses().constFirst().toString();
    qWarning() << "OFD" << host << m_ofd.port() << logtab << resolved << m_socket->proxy().type()
               << m_socket->socketOption(QAbstractSocket::SendBufferSizeSocketOption)
               << m_socket->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption);

    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_socket->connectToHost(
        host, m_ofd.port(), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);

    if (wait > 0)
        return m_socket->waitForConnected(wait);
    return true;
}

void OfdWorker::close(int wait)
{
    if (!m_socket)
        return;
    m_socket->disconnectFromHost();
    if (wait >= 0 && m_socket && m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(wait);
}

bool OfdWorker::prepareSend()
{
    if (m_fsNumber.isEmpty())
        m_fsNumber = currentFsState().fsNumber();
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        if (!open(SendOpenWait) || !m_socket)
            return false;
    }
    return true;
}

QByteArray OfdWorker::buildContainer(const QByteArray &data) const
{
    OfdMessage message(m_fsNumber.toLatin1());
    const QByteArray container = message.toByteArray(data);
    if (container.isEmpty())
        qWarning() << "OFD container not built for storage" << m_fsNumber << "and" << data.size()
                   << "body bytes";
    return container;
}

void OfdWorker::writeContainer(const QByteArray &container)
{
    m_socket->write(container);
    m_socket->flush();
}

void OfdWorker::sendDocument(QByteArray data)
{
    if (!prepareSend())
        return;
    const QByteArray container = buildContainer(data);
    if (container.isEmpty())
        return;
    writeContainer(container);
    qWarning() << "OFD sent" << logbinary(container);
}

QByteArray OfdWorker::sendSyncDocument(QByteArray data)
{
    if (!prepareSend())
        return QByteArray();

    // The reply is read here, not by the slot. This worker does not connect
    // the two again: a later asynchronous reply needs a new socket.
    disconnect(m_socket, &QTcpSocket::readyRead, this, &OfdWorker::socketReadyRead);

    const QByteArray container = buildContainer(data);
    if (container.isEmpty())
        return QByteArray();
    writeContainer(container);
    m_socket->waitForReadyRead(1);
    qWarning() << "OFD sent" << logbinary(container);

    // Painting, timers and network events go on while waiting; the operator's
    // input stays queued, so the running procedure cannot be entered again or
    // its window closed under it.
    QTimer poll;
    poll.start(ReplyPollInterval);
    QElapsedTimer timer;
    timer.start();
    while (m_socket && m_socket->bytesAvailable() <= 0
        && m_socket->state() == QAbstractSocket::ConnectedState
        && timer.elapsed() < m_replyTimeout) {
        QCoreApplication::processEvents(
            QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    // The input held back is delivered as soon as the caller's event loop
    // runs; some event dispatchers would otherwise keep it until the next
    // event arrives.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
    return socketReadyRead();
}

QByteArray OfdWorker::socketReadyRead()
{
    if (!m_socket || m_socket->bytesAvailable() <= 0)
        return QByteArray();

    OfdMessage message(m_fsNumber.toLatin1());

    // The signature is looked for in steps of four bytes.
    QByteArray signature;
    for (;;) {
        signature = m_socket->read(4);
        if (signature.size() < 4)
            return QByteArray();
        qWarning() << "OFD reply" << logbinary(signature) << logtab
                   << logbinary(OfdMessage::signature());
        if (signature == OfdMessage::signature())
            break;
    }

    const QByteArray rest = m_socket->read(OfdMessage::HeaderSize - 4);
    const bool headerOk
        = rest.size() == OfdMessage::HeaderSize - 4 && message.parseHeader(signature + rest);
    qWarning() << "OFD reply header" << (headerOk ? "true" : "false") << logbinary(rest);
    if (!headerOk)
        return QByteArray();

    // Only what has arrived already: nothing waits for more data here.
    QByteArray body;
    while (body.size() < int(message.length())) {
        if (!m_socket || m_socket->bytesAvailable() <= 0)
            break;
        char byte = 0;
        if (!m_socket->getChar(&byte))
            break;
        body.append(byte);
    }

    const bool lenient
        = m_ofd.addr().trimmed().contains(QLatin1String("magnit"), Qt::CaseSensitive);
    const bool bodyOk = message.parseData(body, lenient);
    qWarning() << "OFD reply body" << (bodyOk ? "true" : "false") << logbinary(body);
    if (!bodyOk)
        return QByteArray();

    emit receiptRecieved(body);
    return body;
}

void OfdWorker::socketStateChanged(QAbstractSocket::SocketState state)
{
    if (state == QAbstractSocket::ConnectedState) {
        emit connectionStateChanged(true);
        if (m_socket) {
            m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            qWarning() << "OFD" << state << m_socket->peerAddress().toString()
                       << m_socket->peerName() << m_socket->peerPort();
        }
        return;
    }
    emit connectionStateChanged(false);
}

void OfdWorker::socketError(QAbstractSocket::SocketError error)
{
    qWarning() << "OFD socket error" << error << (m_socket ? m_socket->errorString() : QString());
}
