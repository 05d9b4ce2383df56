#ifndef OFDSERVEREMULATOR_H
#define OFDSERVEREMULATOR_H

#include "ofdemustate.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class QThread;

namespace ofdemu {
class Listener;
}

// A fiscal data operator (OFD) on the loopback: it reads the storage's
// document in the OFD container, records it and answers with a receipt that
// the storage accepts, or misbehaves as the scenario says. It serves in a
// thread of its own, so a client that blocks the caller's thread is still
// answered. Signals arrive in the owner's thread.
class OfdServerEmulator : public QObject
{
    Q_OBJECT
public:
    explicit OfdServerEmulator(QObject *parent = nullptr);
    ~OfdServerEmulator() override;

    // Settings may change at any time; they apply to what happens next.
    void setScenario(ofdemu::Scenario scenario);
    ofdemu::Scenario scenario() const;
    void setDelay(int ms);
    void setHoldTime(int ms);
    void setSocks5Front(bool enabled);
    // One JSON line per received document: a file name (appended to), or "-"
    // for the standard output. Takes effect at start().
    void setRecordFile(const QString &path);

    // Listens on address:port (port 0: an ephemeral one). False when the port
    // cannot be taken; errorString() says why.
    bool start(
        const QHostAddress &address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    void stop();
    bool isRunning() const { return m_thread != nullptr; }

    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // What happened so far; safe to read while the emulator serves.
    QList<QJsonObject> records() const;
    int connectionCount() const;
    // "host:port" of every SOCKS5 connect request, in order.
    QStringList requestedHosts() const;

signals:
    void connectionAccepted();
    void documentReceived(const QJsonObject &record);
    void answerSent(const QByteArray &bytes);
    void containerRefused(const QString &reason);

private:
    void updateSettings(const std::function<void(ofdemu::Settings &)> &change);

    ofdemu::SharedState m_state;
    QThread *m_thread = nullptr;
    ofdemu::Listener *m_listener = nullptr;
    QString m_recordPath;
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_error;
};

#endif // OFDSERVEREMULATOR_H
