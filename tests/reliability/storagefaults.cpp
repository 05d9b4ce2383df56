#include "storagefaults.h"

#include "usb/usbemu.h"

#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <cstdio>

namespace {

StorageFaults *current = nullptr;

// How long the storage "works" on a command whose answer is to be lost to a
// pulled adapter: far longer than the watcher needs, shorter than the
// program's budget, so nothing waits on it when all goes as planned.
constexpr int UnplugHold = 1500;

usbemu::FrameFault frameFaultOf(StorageFaults::Kind kind)
{
    switch (kind) {
    case StorageFaults::Kind::CorruptChecksum:
        return usbemu::FrameFault::BadChecksum;
    case StorageFaults::Kind::CorruptStart:
        return usbemu::FrameFault::BadStartByte;
    case StorageFaults::Kind::CorruptShort:
        return usbemu::FrameFault::ShortFrame;
    default:
        return usbemu::FrameFault::None;
    }
}

int countOf(quint8 command)
{
    int count = 0;
    const QList<usbemu::Command> commands = usbemu::receivedCommands();
    for (const usbemu::Command &c : commands)
        count += c.code == command ? 1 : 0;
    return count;
}

} // namespace

StorageFaults::StorageFaults()
{
    m_clock.start();
    m_echo = qEnvironmentVariableIntValue("TAVRON_TEST_LOG") != 0;
    current = this;
    m_previous = qInstallMessageHandler(&StorageFaults::handler);
}

StorageFaults::~StorageFaults()
{
    joinWatcher();
    qInstallMessageHandler(m_previous);
    current = nullptr;
    restoreStorage();
}

int StorageFaults::readBudget(quint8 command)
{
    switch (command) {
    case 0x23:
    case 0x25:
    case 0x26:
        return 10000;
    case 0x04:
    case 0x05:
    case 0x60:
        return 20000;
    default:
        return 2000;
    }
}

void StorageFaults::arm(Kind kind, quint8 command, int tag, int skip, int after)
{
    m_kind = kind;
    m_command = command;
    m_tag = tag;
    m_skip = skip;
    m_after = after;
    m_armed = kind != Kind::None;
    m_fired = false;
}

void StorageFaults::unplugNow()
{
    m_fired = true;
    usbemu::setAdapterPlugged(false);
}

void StorageFaults::clear()
{
    m_armed = false;
    joinWatcher();
    restoreStorage();
    usbemu::setAdapterPlugged(true);
    // A busy storage finishes on its own; the operator's retry comes after.
    const qint64 left = m_busyUntilMs - m_clock.elapsed();
    if (left > 0)
        QTest::qWait(int(left) + 50);
    m_busyUntilMs = 0;
}

QStringList StorageFaults::frames() const { return m_frames; }

QStringList StorageFaults::log() const { return m_log; }

void StorageFaults::handler(
    QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (current) {
        current->onLogLine(message);
        if (current->m_echo && current->m_previous)
            current->m_previous(type, context, message);
    }
    if (type == QtFatalMsg)
        abort();
}

void StorageFaults::onLogLine(const QString &line)
{
    m_log << line;
    if (m_log.size() > 4000)
        m_log.erase(m_log.begin(), m_log.begin() + 2000);

    // The driver's line for a frame it is about to write: the frame in hex,
    // quoted. A frame starts with 04 and its length field matches its size.
    static const QRegularExpression hexLine(QStringLiteral("^\"?(04[0-9a-f]{10,})\"?$"));
    const QRegularExpressionMatch match = hexLine.match(line.trimmed());
    if (!match.hasMatch()) {
        // Any other line after a damaged or delayed answer: the exchange
        // it belonged to is over.
        return;
    }
    const QByteArray frame = QByteArray::fromHex(match.captured(1).toLatin1());
    const int length = quint8(frame.at(1)) | (quint8(frame.at(2)) << 8);
    if (frame.size() != length + 5)
        return;
    onFrame(frame);
}

void StorageFaults::onFrame(const QByteArray &frame)
{
    // The exchange before this one is over: the damage or delay put on it
    // is taken off before this frame goes out.
    if (m_restorePending) {
        joinWatcher();
        restoreStorage();
    }

    const quint8 code = quint8(frame.at(3));
    const QByteArray data = frame.mid(4, frame.size() - 6);
    int tag = -1;
    if (code == 0x07 && data.size() >= 2)
        tag = quint8(data.at(0)) | (quint8(data.at(1)) << 8);
    m_frames << (tag >= 0 ? QStringLiteral("%1:%2").arg(code, 2, 16, QLatin1Char('0')).arg(tag)
                          : QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')));

    if (!m_armed)
        return;
    if (m_after >= 0) {
        if (code == m_after)
            m_after = -1;
        return;
    }
    if (code != m_command || (m_tag >= 0 && tag != m_tag))
        return;
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    m_armed = false;
    m_fired = true;
    m_restorePending = true;

    switch (m_kind) {
    case Kind::Unplug: {
        usbemu::setLatency(code, UnplugHold);
        m_busyUntilMs = 0;
        const int before = countOf(code);
        m_stopWatcher = false;
        m_watcher = std::thread([this, code, before]() {
            // Pull the adapter once the storage has taken the frame.
            for (int i = 0; i < 10000 && !m_stopWatcher; ++i) {
                if (countOf(code) > before) {
                    usbemu::setAdapterPlugged(false);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        break;
    }
    case Kind::Busy: {
        const int latency = readBudget(code) + BusyOvershoot;
        usbemu::setLatency(code, latency);
        m_busyUntilMs = int(m_clock.elapsed()) + latency;
        break;
    }
    case Kind::CorruptChecksum:
    case Kind::CorruptStart:
    case Kind::CorruptShort:
        usbemu::setFrameFault(code, frameFaultOf(m_kind));
        break;
    case Kind::None:
        break;
    }
}

void StorageFaults::restoreStorage()
{
    if (!m_restorePending)
        return;
    m_restorePending = false;
    usbemu::setLatency(m_command, 0);
    usbemu::setFrameFault(m_command, usbemu::FrameFault::None);
}

void StorageFaults::joinWatcher()
{
    m_stopWatcher = true;
    if (m_watcher.joinable())
        m_watcher.join();
}
