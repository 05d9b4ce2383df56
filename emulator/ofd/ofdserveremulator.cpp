#include "ofdserveremulator.h"

#include "ofdemulistener.h"

#include <QThread>

#include <functional>

using namespace ofdemu;

OfdServerEmulator::OfdServerEmulator(QObject *parent)
    : QObject(parent)
{ }

OfdServerEmulator::~OfdServerEmulator() { stop(); }

void OfdServerEmulator::updateSettings(const std::function<void(Settings &)> &change)
{
    Settings settings = m_state.settings();
    change(settings);
    m_state.setSettings(settings);
}

void OfdServerEmulator::setScenario(Scenario scenario)
{
    updateSettings([scenario](Settings &s) { s.scenario = scenario; });
    if (m_listener)
        QMetaObject::invokeMethod(m_listener, "updateListening", Qt::BlockingQueuedConnection);
}

Scenario OfdServerEmulator::scenario() const { return m_state.settings().scenario; }

void OfdServerEmulator::setDelay(int ms)
{
    updateSettings([ms](Settings &s) { s.delayMs = ms; });
}

void OfdServerEmulator::setHoldTime(int ms)
{
    updateSettings([ms](Settings &s) { s.holdMs = ms; });
}

void OfdServerEmulator::setSocks5Front(bool enabled)
{
    updateSettings([enabled](Settings &s) { s.socks5 = enabled; });
}

void OfdServerEmulator::setRecordFile(const QString &path) { m_recordPath = path; }

bool OfdServerEmulator::start(const QHostAddress &address, quint16 port)
{
    stop();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("OfdServerEmulator"));
    m_listener = new Listener(&m_state);
    m_listener->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_listener, &QObject::deleteLater);
    connect(
        m_listener, &Listener::connectionAccepted, this, &OfdServerEmulator::connectionAccepted);
    connect(m_listener, &Listener::documentReceived, this, &OfdServerEmulator::documentReceived);
    connect(m_listener, &Listener::answerSent, this, &OfdServerEmulator::answerSent);
    connect(m_listener, &Listener::containerRefused, this, &OfdServerEmulator::containerRefused);
    m_thread->start();

    bool listening = false;
    QMetaObject::invokeMethod(m_listener, "listen", Qt::BlockingQueuedConnection,
        Q_RETURN_ARG(bool, listening), Q_ARG(QString, address.toString()), Q_ARG(quint16, port),
        Q_ARG(QString, m_recordPath));
    m_address = address;
    m_port = m_listener->port();
    m_error = m_listener->errorString();
    if (!listening) {
        stop();
        return false;
    }
    return true;
}

void OfdServerEmulator::stop()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_listener, "shutdown", Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_listener = nullptr; // deleted in its thread as the thread finished
}

QList<QJsonObject> OfdServerEmulator::records() const { return m_state.records(); }

int OfdServerEmulator::connectionCount() const { return m_state.connections(); }

QStringList OfdServerEmulator::requestedHosts() const { return m_state.requestedHosts(); }
