#ifndef SESSIONFIGURES_H
#define SESSIONFIGURES_H

#include "usb/usbemu.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdio>

// What one storage session (a whole registration, a storage check, an MGM
// erase) costs per run, and how many USB control transfers it makes against
// how many the worker's exchange rules call for.
namespace sessionfigures {

// Control transfers by adapter request.
struct TransferCounts
{
    qint64 functions = 0; // request 1, adapter functions (set-up)
    qint64 delay = 0; // request 2, I2C bit delay (set-up)
    qint64 status = 0; // request 3, status query after each transaction
    qint64 i2c = 0; // request 7, one I2C transaction (probe, write or read)

    qint64 total() const { return functions + delay + status + i2c; }
    bool operator==(const TransferCounts &other) const;
};

struct SessionFigures
{
    QString name;
    QString what;
    qint64 runs = 0;
    int workers = 0; // storage workers one run creates
    int latencyMs = 0; // how long the storage prepares each answer
    // Per run, microseconds, without the benchmark's own clock readings.
    double wallUs = 0;
    double cpuUs = 0; // thread CPU time of the whole session
    double adapterUs = 0; // of that, inside the emulated adapter and storage
    double libusbCalls = 0; // per run, of every kind
    // Per run, counted by the emulated adapter and storage.
    TransferCounts measured;
    double probes = 0;
    double writes = 0;
    double reads = 0;
    double busScans = 0;
    double commands = 0;
    double logLines = 0;
    int documentSize = 0; // bytes of the OFD document read, 0 for none
    // For the commands of the last run.
    TransferCounts rules; // what the worker's exchange rules call for
    qint64 floor = 0; // write and read(s) with their status queries, one set-up per worker
    QString commandList; // the command codes in order, hex

    double ownUs() const { return cpuUs - adapterUs; }
    double ownUsPerTransfer() const;
};

// The transfers that the worker's exchange rules make for these commands,
// with none of them finding the storage busy (no extra polls), for the
// given number of storage workers:
//  - each worker sets the adapter up twice (once when it is made, once when
//    it starts and opens the adapter afresh): requests 1, 2 and 3 each time,
//    and probes the storage twice while opening;
//  - each command: a probe before anything is sent, a probe before the
//    write, the write, then per read a probe and the read; every I2C
//    transaction (request 7) is followed by one status query (request 3);
//  - an answer is read once when it fits the first read, else twice.
TransferCounts countByRules(const QList<usbemu::Command> &commands, int workers);

// The least a command exchange can do with this adapter: the write and the
// read(s), each with its status query, and one adapter set-up per worker.
qint64 countProtocolFloor(const QList<usbemu::Command> &commands, int workers);

// Reads of one command's answer under the worker's rules: 1 when the answer
// fits the first read (the status reads ask for their whole answer, an
// answer without data fits 6 bytes), 2 for the answers with data that come
// with a 6-byte first read (0x03, 0x20, 0x22, 0x23).
int answerReads(quint8 code);

QString commandCodes(const QList<usbemu::Command> &commands);

void record(const SessionFigures &figures);
// Prints every recorded session and the derived figures.
void printSummary(std::FILE *out);

} // namespace sessionfigures

#endif // SESSIONFIGURES_H
