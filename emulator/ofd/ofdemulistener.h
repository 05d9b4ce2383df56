#ifndef OFDEMULISTENER_H
#define OFDEMULISTENER_H

#include "ofdemustate.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

class QFile;
class QTcpServer;

namespace ofdemu {

// The listening side of the emulated operator, living in the emulator's thread.
class Listener : public QObject
{
    Q_OBJECT
public:
    explicit Listener(SharedState *state, QObject *parent = nullptr);
    ~Listener() override;

    // Called through queued-blocking invocations from the owner's thread.
    Q_INVOKABLE bool listen(const QString &address, quint16 port, const QString &recordPath);
    Q_INVOKABLE void updateListening();
    Q_INVOKABLE void shutdown();

    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

signals:
    void connectionAccepted();
    void documentReceived(const QJsonObject &record);
    void answerSent(const QByteArray &bytes);
    void containerRefused(const QString &reason);

private:
    bool openServer();
    void closeServer();
    void onNewConnection();
    void writeRecord(const QJsonObject &record);

    SharedState *m_state;
    QTcpServer *m_server = nullptr;
    QFile *m_record = nullptr;
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace ofdemu

#endif // OFDEMULISTENER_H
