#include "usb/usbemu.h"

#include "usb/emulatedadapter.h"

#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QSaveFile>

namespace usbemu {

const char DefaultSerialNumber[] = "9999078900004321";

namespace {

// Runs f on the model under its lock and returns what f returns.
template <typename F> auto locked(F f) -> decltype(f(EmulatedAdapter::instance()))
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return f(EmulatedAdapter::instance());
}

} // namespace

void reset()
{
    locked([](EmulatedAdapter &a) { a.reset(); });
}

bool saveState(const QString &path)
{
    const QByteArray json = locked([](EmulatedAdapter &a) {
        return QJsonDocument(a.storage.toJson()).toJson(QJsonDocument::Indented);
    });
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(json);
    return file.commit();
}

bool loadState(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return false;
    return locked(
        [&document](EmulatedAdapter &a) { return a.storage.fromJson(document.object()); });
}

// ---- Adapter ------------------------------------------------------------------

void setAdapterPlugged(bool plugged)
{
    locked([plugged](EmulatedAdapter &a) { a.setPlugged(plugged); });
}

bool adapterPlugged()
{
    return locked([](EmulatedAdapter &a) { return a.plugged; });
}

void setOpenFails(bool fails)
{
    locked([fails](EmulatedAdapter &a) { a.openFails = fails; });
}

void setStatusOverride(int status)
{
    locked([status](EmulatedAdapter &a) { a.statusOverride = status; });
}

void setTransferError(int request, int error)
{
    locked([request, error](EmulatedAdapter &a) {
        if (error == 0)
            a.transferErrors.remove(request);
        else
            a.transferErrors.insert(request, error);
    });
}

int openHandles()
{
    return locked([](EmulatedAdapter &a) { return a.handlesOpen; });
}

// ---- Counters -------------------------------------------------------------------

void resetCounters()
{
    locked([](EmulatedAdapter &a) { a.resetCounters(); });
}

int controlTransfers(int request)
{
    return locked([request](EmulatedAdapter &a) { return a.transfers.value(request); });
}

int i2cProbes()
{
    return locked([](EmulatedAdapter &a) { return a.probes; });
}

int i2cWrites()
{
    return locked([](EmulatedAdapter &a) { return a.writes; });
}

int i2cReads()
{
    return locked([](EmulatedAdapter &a) { return a.reads; });
}

int busScans()
{
    return locked([](EmulatedAdapter &a) { return a.scans; });
}

int deviceOpens()
{
    return locked([](EmulatedAdapter &a) { return a.opens; });
}

int deviceCloses()
{
    return locked([](EmulatedAdapter &a) { return a.closes; });
}

QList<Command> receivedCommands()
{
    return locked([](EmulatedAdapter &a) { return a.storage.received; });
}

// ---- Storage --------------------------------------------------------------------

void setStorageAttached(bool attached)
{
    locked([attached](EmulatedAdapter &a) { a.attached = attached; });
}

bool storageAttached()
{
    return locked([](EmulatedAdapter &a) { return a.attached; });
}

void setStorageKind(StorageKind kind)
{
    locked([kind](EmulatedAdapter &a) { a.storage.kind = kind; });
}

StorageKind storageKind()
{
    return locked([](EmulatedAdapter &a) { return a.storage.kind; });
}

void setSerialNumber(const QByteArray &serial)
{
    QByteArray value = serial.left(16);
    value.append(QByteArray(16 - value.size(), ' '));
    locked([&value](EmulatedAdapter &a) { a.storage.serial = value; });
}

QByteArray serialNumber()
{
    return locked([](EmulatedAdapter &a) { return a.storage.serial; });
}

void setVersion(const QByteArray &version)
{
    const QByteArray value = version.left(16);
    locked([&value](EmulatedAdapter &a) { a.storage.version = value; });
}

QByteArray version()
{
    return locked([](EmulatedAdapter &a) { return a.storage.version; });
}

void setPhase(quint8 phase)
{
    locked([phase](EmulatedAdapter &a) { a.storage.phase = phase; });
}

quint8 phase()
{
    return locked([](EmulatedAdapter &a) { return a.storage.phase; });
}

void setLifeTime(const LifeTime &lifeTime)
{
    locked([&lifeTime](EmulatedAdapter &a) { a.storage.life = lifeTime; });
}

LifeTime lifeTime()
{
    return locked([](EmulatedAdapter &a) { return a.storage.life; });
}

void setLastDocumentNumber(quint32 number)
{
    locked([number](EmulatedAdapter &a) { a.storage.lastDocNumber = number; });
}

quint32 lastDocumentNumber()
{
    return locked([](EmulatedAdapter &a) { return a.storage.lastDocNumber; });
}

void setLatency(int command, int milliseconds)
{
    locked([command, milliseconds](EmulatedAdapter &a) {
        if (command == AnyCommand)
            a.storage.defaultLatency = milliseconds;
        else
            a.storage.latencies.insert(command, milliseconds);
    });
}

void setFrameFault(int command, FrameFault fault)
{
    locked([command, fault](EmulatedAdapter &a) {
        if (command == AnyCommand)
            a.storage.anyFault = fault;
        else
            a.storage.faults.insert(command, fault);
    });
}

void setCannedAnswer(int command, quint8 code, const QByteArray &data)
{
    locked([command, code, &data](EmulatedAdapter &a) {
        a.storage.canned.insert(command, EmulatedStorage::Canned { code, data });
    });
}

void clearCannedAnswer(int command)
{
    locked([command](EmulatedAdapter &a) { a.storage.canned.remove(command); });
}

quint8 openDocumentType()
{
    return locked([](EmulatedAdapter &a) { return a.storage.openDocType; });
}

QList<QByteArray> receivedTlvs()
{
    return locked([](EmulatedAdapter &a) { return a.storage.tlvs; });
}

QList<Document> documents()
{
    return locked([](EmulatedAdapter &a) { return a.storage.docs; });
}

int unconfirmedCount()
{
    return locked([](EmulatedAdapter &a) { return a.storage.unconfirmedCount(); });
}

bool transportConnected()
{
    return locked([](EmulatedAdapter &a) { return a.storage.connected; });
}

bool messageReading()
{
    return locked([](EmulatedAdapter &a) { return a.storage.reading; });
}

bool registerStorage(const Registration &registration, bool confirmed, Document *created)
{
    return locked([&](EmulatedAdapter &a) {
        return a.storage.registerDirectly(registration, confirmed, created);
    });
}

} // namespace usbemu
