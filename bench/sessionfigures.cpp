#include "sessionfigures.h"

#include <QMap>
#include <QStringList>

namespace sessionfigures {
namespace {

// What a real low-speed adapter takes per control transfer, and the share of
// it the program's own work may use.
constexpr double RealTransferUs = 1000.0;
constexpr double TargetUsPerTransfer = 20.0;
// The worker's pause between two polls of a busy storage, in milliseconds.
constexpr int PollPauseMs = 2;

QMap<QString, SessionFigures> &recorded()
{
    static QMap<QString, SessionFigures> sessions;
    return sessions;
}

QList<QString> &order()
{
    static QList<QString> names;
    return names;
}

QByteArray transfersText(const TransferCounts &counts)
{
    return QStringLiteral("%1/%2/%3/%4 = %5")
        .arg(counts.functions)
        .arg(counts.delay)
        .arg(counts.status)
        .arg(counts.i2c)
        .arg(counts.total())
        .toUtf8();
}

QByteArray perRunText(double value)
{
    return QByteArray::number(value, 'f', value == qint64(value) ? 0 : 1);
}

} // namespace

bool TransferCounts::operator==(const TransferCounts &other) const
{
    return functions == other.functions && delay == other.delay && status == other.status
        && i2c == other.i2c;
}

double SessionFigures::ownUsPerTransfer() const
{
    const qint64 transfers = measured.total();
    return transfers > 0 ? ownUs() / double(transfers) : 0.0;
}

int answerReads(quint8 code)
{
    switch (code) {
    case 0x03: // document number and fiscal sign, 8 bytes
    case 0x20: // transport state, 13 bytes
    case 0x22: // message length, 2 bytes
    case 0x23: // a block of the message
        return 2;
    default:
        return 1;
    }
}

TransferCounts countByRules(const QList<usbemu::Command> &commands, int workers)
{
    TransferCounts counts;
    // Two adapter set-ups per worker, two probes while opening.
    counts.functions = 2 * workers;
    counts.delay = 2 * workers;
    counts.status = 2 * workers;
    qint64 transactions = 2 * workers;
    for (const usbemu::Command &command : commands)
        transactions += 3 + 2 * answerReads(command.code);
    counts.i2c = transactions;
    counts.status += transactions;
    return counts;
}

qint64 countProtocolFloor(const QList<usbemu::Command> &commands, int workers)
{
    qint64 transfers = 3 * qint64(workers);
    for (const usbemu::Command &command : commands)
        transfers += 2 * (1 + answerReads(command.code));
    return transfers;
}

QString commandCodes(const QList<usbemu::Command> &commands)
{
    QStringList codes;
    for (const usbemu::Command &command : commands)
        codes << QStringLiteral("%1").arg(command.code, 2, 16, QLatin1Char('0'));
    return codes.join(QLatin1Char(' '));
}

void record(const SessionFigures &figures)
{
    if (!recorded().contains(figures.name))
        order().append(figures.name);
    recorded().insert(figures.name, figures);
}

void printSummary(std::FILE *out)
{
    if (order().isEmpty())
        return;

    std::fprintf(out,
        "\nStorage sessions against the emulated adapter (storage latency 0 unless said), per run\n"
        "(CPU: thread CPU time of the session; adapter: the part of it spent inside the\n"
        "emulated adapter and storage; own = CPU - adapter; transfers by request\n"
        "1/2/3/7; rules: what the worker's exchange rules call for; floor: a write and\n"
        "its reads with their status queries, nothing else)\n\n");
    std::fprintf(out, "%-22s %6s %9s %9s %9s %9s %5s %-24s %6s %6s %9s %7s\n", "session", "runs",
        "wall us", "CPU us", "adapter", "own us", "cmds", "transfers", "rules", "floor",
        "own us/tr", "of 1 ms");
    for (const QString &name : qAsConst(order())) {
        const SessionFigures &f = recorded()[name];
        std::fprintf(out,
            "%-22s %6lld %9.1f %9.1f %9.1f %9.1f %5s %-24s %6lld %6lld %9.2f %6.2f%%\n",
            name.toUtf8().constData(), f.runs, f.wallUs, f.cpuUs, f.adapterUs, f.ownUs(),
            perRunText(f.commands).constData(), transfersText(f.measured).constData(),
            f.rules.total(), f.floor, f.ownUsPerTransfer(),
            100.0 * f.ownUsPerTransfer() / RealTransferUs);
    }

    for (const QString &name : qAsConst(order())) {
        const SessionFigures &f = recorded()[name];
        const qint64 transfers = f.measured.total();
        std::fprintf(out, "\n%s: %s\n", name.toUtf8().constData(), f.what.toUtf8().constData());
        std::fprintf(out, "  commands: %s\n", f.commandList.toUtf8().constData());
        if (f.documentSize > 0)
            std::fprintf(out, "  OFD document read: %d bytes\n", f.documentSize);
        std::fprintf(out,
            "  I2C transactions: %s probes, %s writes, %s reads; %s bus scans; "
            "%s log lines\n",
            perRunText(f.probes).constData(), perRunText(f.writes).constData(),
            perRunText(f.reads).constData(), perRunText(f.busScans).constData(),
            perRunText(f.logLines).constData());
        if (f.latencyMs > 0)
            std::fprintf(out, "  the storage needs %d ms for every answer\n", f.latencyMs);
        const qint64 extra = transfers - f.rules.total();
        std::fprintf(out,
            "  control transfers: %lld; the worker's rules call for %lld (%s/%s/%s/%s) "
            "-> %lld %s\n",
            transfers, f.rules.total(), QByteArray::number(f.rules.functions).constData(),
            QByteArray::number(f.rules.delay).constData(),
            QByteArray::number(f.rules.status).constData(),
            QByteArray::number(f.rules.i2c).constData(), extra < 0 ? -extra : extra,
            extra == 0 ? "extra: none beyond the rules"
                       : (extra > 0 ? "MORE than the rules" : "FEWER than the rules"));
        if (f.latencyMs > 0 && extra > 0) {
            std::fprintf(out,
                "  the %lld more are the polls of a busy storage: %.1f rounds of two "
                "probes (4 transfers) and a %d ms pause, %.1f per command\n",
                extra, double(extra) / 4.0, PollPauseMs,
                f.commands > 0 ? double(extra) / 4.0 / f.commands : 0.0);
        }
        std::fprintf(out,
            "  least a write/read exchange could do: %lld transfers; the other %lld are "
            "the probes and set-ups of the worker's rules\n",
            f.floor, transfers - f.floor);
        std::fprintf(out,
            "  own CPU per control transfer: %.2f us = %.2f %% of the %.0f us a real "
            "adapter takes (target below %.0f us): %s\n",
            f.ownUsPerTransfer(), 100.0 * f.ownUsPerTransfer() / RealTransferUs, RealTransferUs,
            TargetUsPerTransfer,
            f.ownUsPerTransfer() < TargetUsPerTransfer ? "within the target" : "OVER the target");
        std::fprintf(out,
            "  on a real adapter: about %.0f ms of transfers, plus %.2f ms of our CPU\n",
            double(transfers) * RealTransferUs / 1000.0, f.ownUs() / 1000.0);
    }
    std::fflush(out);
}

} // namespace sessionfigures
