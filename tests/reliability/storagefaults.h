#ifndef STORAGEFAULTS_H
#define STORAGEFAULTS_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

// Puts one hardware fault on exactly one storage command of a run: the
// adapter pulled out while the storage works on it, the storage busy past
// the command's read time-out, or its answer frame damaged on the way back.
//
// The command is recognised as it goes out: the adapter driver logs every
// frame it writes as hex before writing it, and the injector watches the
// log. So the fault lands on the chosen command (and TLV) no matter how many
// commands come before it, and the emulated storage is steered exactly then:
//
// - Unplug: the storage gets a long preparation time for this command, and a
//   watcher thread pulls the adapter out as soon as the storage has taken the
//   frame. The storage has executed the command; its answer is never read.
// - Busy: the storage prepares its answer for the command's read time-out
//   plus BusyOvershoot ms; the program gives up before it is ready.
// - Corrupt: the answer frame of this one command is damaged (bad checksum,
//   bad start byte or cut short).
//
// While an injector exists it owns the Qt message handler (log lines are
// kept in log(), not printed, unless TAVRON_TEST_LOG=1).
class StorageFaults
{
public:
    enum class Kind
    {
        None,
        Unplug,
        Busy,
        CorruptChecksum,
        CorruptStart,
        CorruptShort
    };

    static constexpr int BusyOvershoot = 300;

    StorageFaults();
    ~StorageFaults();
    StorageFaults(const StorageFaults &) = delete;
    StorageFaults &operator=(const StorageFaults &) = delete;

    // Arms the fault for the next frame with this command code (and, for a
    // TLV of 0x07, this tag; -1 takes any), after skipping `skip` matching
    // frames. With after >= 0 the counting starts behind the next frame with
    // that command code.
    void arm(Kind kind, quint8 command, int tag = -1, int skip = 0, int after = -1);
    // Pulls the adapter out now (for faults between two storage commands).
    void unplugNow();
    // Takes the fault away as an operator would: plugs the adapter back in,
    // lets a busy storage finish, stops damaging frames. The storage's state
    // (documents, phase) is left as the fault left it.
    void clear();

    bool fired() const { return m_fired; }
    // Frames written since construction: "code" or "code:tag" for TLVs.
    QStringList frames() const;
    QStringList log() const;

    // The read time-out the program gives a command, in ms.
    static int readBudget(quint8 command);

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    void onLogLine(const QString &line);
    void onFrame(const QByteArray &frame);
    void restoreStorage();
    void joinWatcher();

    Kind m_kind = Kind::None;
    quint8 m_command = 0;
    int m_tag = -1;
    int m_skip = 0;
    int m_after = -1;
    bool m_armed = false;
    bool m_fired = false;
    bool m_restorePending = false;
    int m_busyUntilMs = 0;
    QElapsedTimer m_clock;
    std::thread m_watcher;
    std::atomic<bool> m_stopWatcher { false };
    QStringList m_frames;
    QStringList m_log;
    QtMessageHandler m_previous = nullptr;
    bool m_echo = false;
};

#endif // STORAGEFAULTS_H
