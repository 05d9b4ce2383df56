#include "ofdemulistener.h"

#include "ofdemuconnection.h"

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

namespace ofdemu {

Listener::Listener(SharedState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{ }

Listener::~Listener() { shutdown(); }

bool Listener::listen(const QString &address, quint16 port, const QString &recordPath)
{
    m_address = QHostAddress(address);
    m_port = port;
    if (!recordPath.isEmpty()) {
        m_record = new QFile(this);
        bool opened = false;
        if (recordPath == QLatin1String("-")) {
            opened = m_record->open(stdout, QIODevice::WriteOnly | QIODevice::Text);
        } else {
            m_record->setFileName(recordPath);
            opened = m_record->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        }
        if (!opened) {
            m_error = QStringLiteral("cannot write the record to %1: %2")
                          .arg(recordPath, m_record->errorString());
            delete m_record;
            m_record = nullptr;
            return false;
        }
    }
    // A refusing emulator still takes its port first, so that an ephemeral
    // port is known, and lets it go at once.
    if (!openServer())
        return false;
    updateListening();
    return true;
}

void Listener::updateListening()
{
    const bool refuse = m_state->settings().scenario == Scenario::Refuse;
    if (refuse && m_server)
        closeServer();
    else if (!refuse && !m_server && m_port != 0)
        openServer();
}

void Listener::shutdown()
{
    closeServer();
    const QList<Connection *> connections
        = findChildren<Connection *>(QString(), Qt::FindDirectChildrenOnly);
    for (Connection *connection : connections)
        delete connection;
    if (m_record) {
        m_record->close();
        delete m_record;
        m_record = nullptr;
    }
}

bool Listener::openServer()
{
    m_server = new QTcpServer(this);
    if (!m_server->listen(m_address, m_port)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    m_port = m_server->serverPort();
    connect(m_server, &QTcpServer::newConnection, this, &Listener::onNewConnection);
    return true;
}

void Listener::closeServer()
{
    if (!m_server)
        return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

void Listener::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        m_state->addConnection();
        emit connectionAccepted();
        auto *connection = new Connection(socket, m_state, this);
        connect(connection, &Connection::documentReceived, this, [this](const QJsonObject &record) {
            writeRecord(record);
            emit documentReceived(record);
        });
        connect(connection, &Connection::answerSent, this, &Listener::answerSent);
        connect(connection, &Connection::containerRefused, this, &Listener::containerRefused);
    }
}

void Listener::writeRecord(const QJsonObject &record)
{
    if (!m_record)
        return;
    m_record->write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    m_record->write("\n");
    m_record->flush();
}

} // namespace ofdemu
