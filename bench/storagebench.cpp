// Whole storage sessions against the emulated adapter with zero storage
// latency: a registration as the registration form runs it, the storage
// check, the MGM erase, and the OFD leg with a 2500-byte document.

#include "benchfixtures.h"
#include "benchlog.h"
#include "sessionfigures.h"
#include "usbaccounting.h"

#include "fs/fiscalstorageanswer.h"
#include "fs/fsstate.h"
#include "fs/fsworker.h"
#include "fs/ofdmessage.h"
#include "registrationwidget.h"
#include "usb/usbemu.h"

#include <benchmark/benchmark.h>

#include <QDateTime>

#include <memory>

using sessionfigures::SessionFigures;

namespace {

// A fresh MGM in the readiness phase, and no status known to the program.
void prepareFreshMgm()
{
    usbemu::reset();
    setCurrentFsState(FsState());
}

// The MGM after a registration whose document the OFD has not confirmed,
// made inside the model without I2C traffic. extraTlvs go into the document.
bool prepareRegisteredMgm(const QList<QByteArray> &tlvs)
{
    prepareFreshMgm();
    usbemu::Registration registration;
    registration.dateTime = benchfixtures::registrationTime();
    registration.inn = QByteArray("7700001235").leftJustified(12, ' ');
    registration.regNumber
        = benchfixtures::fullRecord().regNumber().toLatin1().leftJustified(20, ' ');
    registration.taxes = 0x3F;
    registration.workMode = 0x39;
    registration.tlvs = tlvs;
    return usbemu::registerStorage(registration, false);
}

// Measures the timed part of each run and collects what the emulated adapter
// counted, for one storage session benchmark.
class SessionMeter
{
public:
    SessionMeter(benchmark::State &state, const QString &name, const QString &what, int workers)
        : m_state(state)
    {
        m_figures.name = name;
        m_figures.what = what;
        m_figures.workers = workers;
    }

    // Right before the timed part; the model has just been reset, which
    // clears its counters.
    void begin()
    {
        m_logStart = benchlog::lines();
        const usbaccounting::Totals usb = usbaccounting::totals();
        m_adapterStart = usb.nanoseconds;
        m_callsStart = usb.calls;
        m_wallStart = usbaccounting::wallNanoseconds();
        m_cpuStart = usbaccounting::threadCpuNanoseconds();
    }

    // Right after the timed part, with the timing paused.
    void end()
    {
        const qint64 cpu = usbaccounting::threadCpuNanoseconds();
        const qint64 wall = usbaccounting::wallNanoseconds();
        m_cpuNs += cpu - m_cpuStart;
        m_wallNs += wall - m_wallStart;
        const usbaccounting::Totals usb = usbaccounting::totals();
        m_adapterNs += usb.nanoseconds - m_adapterStart;
        m_calls += usb.calls - m_callsStart;
        m_logLines += benchlog::lines() - m_logStart;
        ++m_runs;

        m_transfers.functions += usbemu::controlTransfers(usbemu::RequestFunctions);
        m_transfers.delay += usbemu::controlTransfers(usbemu::RequestSetDelay);
        m_transfers.status += usbemu::controlTransfers(usbemu::RequestStatus);
        m_transfers.i2c += usbemu::controlTransfers(usbemu::RequestI2cTransaction);
        m_probes += usbemu::i2cProbes();
        m_writes += usbemu::i2cWrites();
        m_reads += usbemu::i2cReads();
        m_busScans += usbemu::busScans();
        m_lastCommands = usbemu::receivedCommands();
        m_commands += m_lastCommands.size();
    }

    void setDocumentSize(int size) { m_figures.documentSize = size; }
    void setLatency(int milliseconds) { m_figures.latencyMs = milliseconds; }

    // After the loop: the per-run figures as benchmark counters, and for the
    // summary.
    void finish()
    {
        if (m_runs == 0)
            return;
        const double runs = double(m_runs);
        SessionFigures &f = m_figures;
        f.runs = m_runs;
        // Each timed libusb call read the clock twice: one reading inside the
        // interval measured around the adapter, one outside. Both are taken
        // off. The adapter's time is measured on the wall clock; its share of
        // the session's wall time is its share of the session's CPU time
        // (the same on a quiet machine, and preemption hits both alike). A
        // session that sleeps while the storage is busy takes the adapter's
        // wall time as it is: the adapter's calls are short and do not sleep.
        const double clock = usbaccounting::clockReadNanoseconds();
        const double instrumentation = 2.0 * clock * double(m_calls);
        const double wall = double(m_wallNs) - instrumentation;
        const double adapterWall = double(m_adapterNs) - clock * double(m_calls);
        const double cpu = double(m_cpuNs) - instrumentation;
        const double adapterShare = wall > 0 ? qBound(0.0, adapterWall / wall, 1.0) : 0.0;
        f.wallUs = wall / runs / 1000.0;
        f.cpuUs = cpu / runs / 1000.0;
        f.adapterUs = f.latencyMs > 0 ? qBound(0.0, adapterWall / runs / 1000.0, f.cpuUs)
                                      : adapterShare * f.cpuUs;
        f.libusbCalls = double(m_calls) / runs;
        f.measured.functions = qRound64(double(m_transfers.functions) / runs);
        f.measured.delay = qRound64(double(m_transfers.delay) / runs);
        f.measured.status = qRound64(double(m_transfers.status) / runs);
        f.measured.i2c = qRound64(double(m_transfers.i2c) / runs);
        f.probes = double(m_probes) / runs;
        f.writes = double(m_writes) / runs;
        f.reads = double(m_reads) / runs;
        f.busScans = double(m_busScans) / runs;
        f.commands = double(m_commands) / runs;
        f.logLines = double(m_logLines) / runs;
        f.rules = sessionfigures::countByRules(m_lastCommands, f.workers);
        f.floor = sessionfigures::countProtocolFloor(m_lastCommands, f.workers);
        f.commandList = sessionfigures::commandCodes(m_lastCommands);
        sessionfigures::record(f);

        m_state.counters["transfers"] = double(f.measured.total());
        m_state.counters["by_rules"] = double(f.rules.total());
        m_state.counters["req7_i2c"] = double(f.measured.i2c);
        m_state.counters["req3_status"] = double(f.measured.status);
        m_state.counters["req1_2_setup"] = double(f.measured.functions + f.measured.delay);
        m_state.counters["own_us_per_tr"] = f.ownUsPerTransfer();
    }

private:
    benchmark::State &m_state;
    SessionFigures m_figures;
    qint64 m_runs = 0;
    qint64 m_cpuStart = 0;
    qint64 m_wallStart = 0;
    qint64 m_adapterStart = 0;
    qint64 m_logStart = 0;
    qint64 m_callsStart = 0;
    qint64 m_calls = 0;
    qint64 m_cpuNs = 0;
    qint64 m_wallNs = 0;
    qint64 m_adapterNs = 0;
    qint64 m_logLines = 0;
    sessionfigures::TransferCounts m_transfers;
    qint64 m_probes = 0;
    qint64 m_writes = 0;
    qint64 m_reads = 0;
    qint64 m_busScans = 0;
    qint64 m_commands = 0;
    QList<usbemu::Command> m_lastCommands;
};

// One storage worker for one attempt, as the registration form holds it:
// started at once, stopped and deleted at the end.
class AttemptWorker
{
public:
    AttemptWorker()
        : m_worker(new FsWorker)
    {
        m_worker->start();
    }
    ~AttemptWorker() { m_worker->stop(); }
    FsWorker *operator->() const { return m_worker.get(); }

private:
    std::unique_ptr<FsWorker> m_worker;
};

quint32 uint32At(const QByteArray &data, int at)
{
    return quint32(quint8(data.at(at))) | quint32(quint8(data.at(at + 1))) << 8
        | quint32(quint8(data.at(at + 2))) << 16 | quint32(quint8(data.at(at + 3))) << 24;
}

// The fiscalization attempt on the storage: opening, one TLV per parameter,
// closing. False with the step that failed.
bool fiscalizeOnStorage(
    RegistrationParams &params, const QString &acceptedFsNumber, QString &failure)
{
    AttemptWorker worker;
    if (currentFsState().fsNumber() != acceptedFsNumber) {
        failure = QStringLiteral("another storage");
        return false;
    }
    quint8 error = 0;
    worker->beginRegistration(0, error);
    if (error != 0) {
        failure = QStringLiteral("opening refused");
        return false;
    }
    const QMap<quint16, QByteArray> tlvs = params.toTlvMap();
    for (auto it = tlvs.cbegin(); it != tlvs.cend(); ++it) {
        if (!worker->sendDocumentData(it.value(), error)) {
            failure = QStringLiteral("TLV %1 refused").arg(it.key());
            return false;
        }
    }
    const QDateTime regDate = QDateTime::currentDateTime();
    FiscalStorageAnswer answer;
    const quint8 workMode = quint8(params.regFlags() & RegistrationParams::WorkModeByteMask);
    if (!worker->finishRegistration(regDate, params.userInn().trimmed(),
            params.regNumber().trimmed(), params.taxes(), workMode, answer)
        || answer.fsError() != 0 || answer.data().size() != 8) {
        failure = QStringLiteral("closing refused");
        return false;
    }
    params.setFsNumber(currentFsState().fsNumber());
    params.setRegDate(regDate);
    params.setRegDocNumber(uint32At(answer.data(), 0));
    params.setFiscalCode(uint32At(answer.data(), 4));
    return true;
}

// The OFD attempt on the storage: the storage's document is read, put into
// the OFD container, the OFD's reply container is taken apart and its
// receipt written into the storage. The network is left out: reply is the
// container the OFD would answer with.
bool deliverOnStorage(const QByteArray &reply, int &documentSize, QString &failure)
{
    AttemptWorker worker;
    worker->setTransportConnected(1);
    QByteArray message;
    if (!worker->readOfdMessage(message)) {
        failure = QStringLiteral("no message for the OFD");
        return false;
    }
    documentSize = message.size();
    OfdMessage outgoing(currentFsState().fsNumber().toLatin1());
    const QByteArray container = outgoing.toByteArray(message);
    benchmark::DoNotOptimize(container.constData());
    if (container.size() != OfdMessage::HeaderSize + message.size()) {
        failure = QStringLiteral("container not built");
        return false;
    }

    OfdMessage incoming(currentFsState().fsNumber().toLatin1());
    if (!incoming.parseHeader(reply.left(OfdMessage::HeaderSize))
        || !incoming.parseData(reply.mid(OfdMessage::HeaderSize), false)) {
        failure = QStringLiteral("reply container refused");
        return false;
    }
    FiscalStorageAnswer ticketAnswer;
    if (!worker->sendOfdTicket(incoming.data(), ticketAnswer)) {
        failure = QStringLiteral("receipt refused");
        return false;
    }
    FiscalStorageAnswer stateAnswer;
    worker->readTransportState(stateAnswer);
    FiscalStorageAnswer answer;
    if (!worker->readTransportState(answer)
        || currentFsState().transport().offlineDocsCount() != 0) {
        failure = QStringLiteral("documents left unconfirmed");
        return false;
    }
    return true;
}

// The OFD's reply container carrying the receipt for document 1 of the
// emulated storage.
QByteArray replyForFirstDocument()
{
    const QByteArray fsNumber(usbemu::DefaultSerialNumber);
    OfdMessage reply(fsNumber);
    return reply.toByteArray(benchfixtures::ofdReceipt(fsNumber, 1));
}

// A whole registration at storage level, as the registration form runs it
// after the operator's confirmation: the fiscalization attempt, then the OFD
// attempt. Kept a function of its own so that a profiler can select it.
Q_NEVER_INLINE bool runRegistration(
    RegistrationParams params, const QByteArray &reply, int &documentSize, QString &failure)
{
    // The hand-over: the storage the operator agreed to (what checkFs stored).
    const QString accepted = QString::fromLatin1(usbemu::DefaultSerialNumber);
    return fiscalizeOnStorage(params, accepted, failure)
        && deliverOnStorage(reply, documentSize, failure);
}

void BM_Registration(benchmark::State &state)
{
    const RegistrationParams params = benchfixtures::fullRecord();
    const QByteArray reply = replyForFirstDocument();
    SessionMeter meter(state, QStringLiteral("registration"),
        QStringLiteral("status refresh, opening, every TLV of a full record, "
                       "closing; then the OFD leg: reading the document, "
                       "writing the receipt, transport state"),
        2);
    int documentSize = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepareFreshMgm();
        meter.begin();
        state.ResumeTiming();

        QString failure;
        const bool ok = runRegistration(params, reply, documentSize, failure);

        state.PauseTiming();
        meter.end();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError(failure.toUtf8().constData());
            break;
        }
    }
    meter.setDocumentSize(documentSize);
    meter.finish();
}

Q_NEVER_INLINE bool runOfdLeg(const QByteArray &reply, int &documentSize, QString &failure)
{
    return deliverOnStorage(reply, documentSize, failure);
}

// The OFD leg alone, for a document of exactly 2500 bytes (three blocks of
// 1024, 1024 and 452 bytes).
void BM_OfdLeg2500(benchmark::State &state)
{
    constexpr int DocumentSize = 2500;
    // How much the model's document holds besides the TLVs of the registration.
    prepareRegisteredMgm({});
    const int overhead = usbemu::documents().value(0).body.size();
    const QList<QByteArray> tlvs { benchfixtures::tlv(
        1084, benchfixtures::patternBytes(DocumentSize - overhead - 4)) };
    const QByteArray reply = replyForFirstDocument();

    SessionMeter meter(state, QStringLiteral("ofd-leg-2500"),
        QStringLiteral("a worker start with its status refresh, reading a "
                       "2500-byte document, writing the receipt, transport state"),
        1);
    int documentSize = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool prepared = prepareRegisteredMgm(tlvs);
        meter.begin();
        state.ResumeTiming();

        QString failure = QStringLiteral("storage not prepared");
        const bool ok = prepared && runOfdLeg(reply, documentSize, failure);

        state.PauseTiming();
        meter.end();
        state.ResumeTiming();
        if (!ok || documentSize != DocumentSize) {
            state.SkipWithError(ok ? "document of another size" : failure.toUtf8().constData());
            break;
        }
    }
    meter.setDocumentSize(documentSize);
    meter.finish();
}

Q_NEVER_INLINE bool runStorageCheck(QString &error) { return RegistrationWidget::checkFs(error); }

// The main window's storage check: a worker start with its status refresh,
// then the refresh the check runs itself.
void runStorageCheckSession(benchmark::State &state, const QString &name,
    const QString &description, int latencyMs)
{
    SessionMeter meter(state, name, description, 1);
    if (latencyMs > 0)
        meter.setLatency(latencyMs);
    for (auto _ : state) {
        state.PauseTiming();
        prepareFreshMgm();
        if (latencyMs > 0)
            usbemu::setLatency(usbemu::AnyCommand, latencyMs);
        meter.begin();
        state.ResumeTiming();

        QString error;
        const bool ok = runStorageCheck(error);

        state.PauseTiming();
        meter.end();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError(error.toUtf8().constData());
            break;
        }
    }
    meter.finish();
}

void BM_StorageCheck(benchmark::State &state)
{
    runStorageCheckSession(state, QStringLiteral("storage-check"),
        QStringLiteral("the form's checkFs: a worker start with its status "
                       "refresh, and the check's own refresh"),
        0);
}

// The same check with a storage that needs a few milliseconds for every
// answer: how many transfers the worker's polling adds.
void BM_StorageCheckBusy(benchmark::State &state)
{
    runStorageCheckSession(state, QStringLiteral("storage-check-busy"),
        QStringLiteral("the storage check with a storage that prepares every "
                       "answer for a while"),
        5);
}

Q_NEVER_INLINE bool runMgmErase(RegistrationWidget &form, QString &error)
{
    return form.resetMgm(error);
}

// The main window's "Стереть МГМ" on a registered MGM whose document waits
// for the OFD: erase with its own worker, then the storage check.
void BM_MgmErase(benchmark::State &state)
{
    RegistrationWidget form;
    const QList<QByteArray> tlvs = benchfixtures::fullRecord().toTlvMap().values();
    SessionMeter meter(state, QStringLiteral("mgm-erase"),
        QStringLiteral("the form's resetMgm: a worker start, the erase (0x24, "
                       "0x06, 0x60, refresh), then checkFs"),
        2);
    for (auto _ : state) {
        state.PauseTiming();
        const bool prepared = prepareRegisteredMgm(tlvs);
        meter.begin();
        state.ResumeTiming();

        QString error = QStringLiteral("storage not prepared");
        const bool ok = prepared && runMgmErase(form, error);

        state.PauseTiming();
        meter.end();
        state.ResumeTiming();
        if (!ok || usbemu::phase() != usbemu::PhaseReadiness) {
            state.SkipWithError(ok ? "storage not erased" : error.toUtf8().constData());
            break;
        }
    }
    meter.finish();
}

} // namespace

BENCHMARK(BM_Registration)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OfdLeg2500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StorageCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MgmErase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StorageCheckBusy)->Unit(benchmark::kMillisecond);
