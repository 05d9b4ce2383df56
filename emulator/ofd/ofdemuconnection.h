#ifndef OFDEMUCONNECTION_H
#define OFDEMUCONNECTION_H

#include "ofdemustate.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace ofdemu {

// One client of the emulated operator: reads containers, records each
// document and answers according to the scenario. Lives in the emulator's
// thread and deletes itself when the client is gone.
class Connection : public QObject
{
    Q_OBJECT
public:
    Connection(QTcpSocket *socket, SharedState *state, QObject *parent = nullptr);

signals:
    void documentReceived(const QJsonObject &record);
    void answerSent(const QByteArray &bytes);
    void containerRefused(const QString &reason);

private:
    enum class Phase
    {
        SocksGreeting,
        SocksRequest,
        Containers,
        Closed
    };

    void onReadyRead();
    void onDisconnected();
    bool takeSocksGreeting();
    bool takeSocksRequest();
    bool takeContainer();
    void refuse(const QString &reason, const QByteArray &received);
    void answer(
        const QByteArray &headerFsNumber, const QByteArray &receipt, const Settings &settings);
    void sendPieces(const QList<QByteArray> &pieces, int firstDelayMs, int gapMs);
    void writePiece(const QByteArray &piece, const QByteArray &announce);

    QTcpSocket *m_socket;
    SharedState *m_state;
    Phase m_phase = Phase::Containers;
    QByteArray m_buffer;
    QString m_requestedHost;
};

} // namespace ofdemu

#endif // OFDEMUCONNECTION_H
