#ifndef EMULATEDSTORAGE_H
#define EMULATEDSTORAGE_H

#include "usb/usbemu.h"

#include <QHash>
#include <QJsonObject>

namespace usbemu {

// The fiscal storage (or MGM) model: takes one command frame, gives back one
// answer frame and how long it needs to prepare it. Knows nothing of USB.
class EmulatedStorage
{
public:
    EmulatedStorage();

    // A fresh MGM in the readiness phase; faults and canned answers cleared.
    void reset();

    // The answer frame to a command frame (faults applied), the time the
    // storage needs for it (NeverReady for never), and whether the storage's
    // kept state changed.
    QByteArray handleFrame(const QByteArray &frame, int *latency, bool *changed);

    QJsonObject toJson() const;
    bool fromJson(const QJsonObject &object);

    bool registerDirectly(const Registration &registration, bool confirmed, Document *created);
    int unconfirmedCount() const;

    // Kept state.
    StorageKind kind = StorageKind::Mgm;
    QByteArray serial;
    QByteArray version;
    quint8 phase = PhaseReadiness;
    LifeTime life;
    quint32 lastDocNumber = 0;
    QDateTime lastDocDt;
    quint8 openDocType = 0;
    bool documentHasData = false;
    QList<QByteArray> tlvs;
    QList<Document> docs;
    bool connected = false;
    bool reading = false;
    bool messageRead = false;

    // Test switches, not kept in the state file.
    int defaultLatency = 0;
    QHash<int, int> latencies;
    FrameFault anyFault = FrameFault::None;
    QHash<int, FrameFault> faults;
    struct Canned
    {
        quint8 code;
        QByteArray data;
    };
    QHash<int, Canned> canned;
    QList<Command> received;

private:
    struct Result
    {
        quint8 code;
        QByteArray data;
        bool changed;
    };
    Result execute(quint8 code, const QByteArray &data);
    Result closeReport(const QByteArray &data);
    Result takeReceipt(const QByteArray &data);
    Result eraseMgm(const QByteArray &data);
    QByteArray statusData() const;
    QByteArray transportData() const;
    int oldestUnconfirmed() const;
    QByteArray buildFrame(quint8 code, const QByteArray &data, FrameFault fault) const;
    Document closeDocument(const QDateTime &dt, const QByteArray &dateTimeBytes,
        const QByteArray &inn, const QByteArray &regNumber, quint8 taxes, quint8 workMode,
        bool confirmed);
};

} // namespace usbemu

#endif // EMULATEDSTORAGE_H
