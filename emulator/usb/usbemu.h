#ifndef USBEMU_H
#define USBEMU_H

// Control API of the emulated i2c-tiny-usb adapter (USB 0403:c631) with a
// fiscal storage or an MGM behind it at I2C address 2.
//
// Test programs link the static library `usbemu` instead of the real
// libusb-0.1: it exports usb_init, usb_find_busses, usb_find_devices,
// usb_get_busses, usb_open, usb_close and usb_control_msg, so the program's
// adapter driver talks to this model. The functions below steer the model
// from a test: plug and unplug the adapter, attach a storage of a chosen kind
// and state, inject faults, and look at what the storage received.
//
// Every function is thread-safe; all of them act on one process-wide model.
// Nothing here includes or links the program's own classes.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace usbemu {

constexpr quint16 AdapterVendorId = 0x0403;
constexpr quint16 AdapterProductId = 0xC631;
constexpr quint8 StorageAddress = 2;

// Adapter requests (the bRequest of the control transfer).
constexpr int RequestFunctions = 1;
constexpr int RequestSetDelay = 2;
constexpr int RequestStatus = 3;
constexpr int RequestI2cTransaction = 7;

// Status bytes the adapter reports for the last I2C transaction.
constexpr quint8 StatusIdle = 0;
constexpr quint8 StatusAck = 1;
constexpr quint8 StatusNak = 2;

// Life phases of the storage (first byte of the 0x30 answer).
constexpr quint8 PhaseSetup = 0x00;
constexpr quint8 PhaseReadiness = 0x01; // ready to be registered
constexpr quint8 PhaseFiscalMode = 0x03; // registered
constexpr quint8 PhasePostFiscal = 0x07;
constexpr quint8 PhaseArchiveRead = 0x0F;

// Answer codes the model uses for its refusals.
constexpr quint8 AnswerOk = 0x00;
constexpr quint8 AnswerUnknownCommand
    = 0x01; // unknown command or bad frame; 0x60 on a fiscal storage
constexpr quint8 AnswerWrongState
    = 0x02; // command out of place (phase, open document, no reading begun)
constexpr quint8 AnswerBadDateTime = 0x07;
constexpr quint8 AnswerNoData = 0x08; // no document waiting for the OFD
constexpr quint8 AnswerBadParameters = 0x09;
constexpr quint8 AnswerTooMuchData = 0x10; // the document would exceed 65535 bytes
constexpr quint8 AnswerTicketTaken = 0x20; // receipt for a document already confirmed

// Selects every command in setLatency() and setFrameFault().
constexpr int AnyCommand = -1;
// A latency that never ends: the storage never acknowledges again after that command.
constexpr int NeverReady = -1;

enum class StorageKind
{
    FiscalStorage, // version answer's last byte 1
    Mgm // version answer's last byte 0 (debug build): erasable with 0x60
};

// Damage done to an answer frame on its way out.
enum class FrameFault
{
    None,
    BadChecksum, // the two checksum bytes are inverted
    BadStartByte, // the frame starts with 0x05 instead of 0x04
    ShortFrame // only start byte, length and code come out; the rest reads as 0xFF
};

struct LifeTime
{
    QDate expiration; // sent as year - 2000, month, day; a null date is sent as 00 00 00
    quint8 available = 0; // registrations left
    quint8 completed = 0; // registrations made
};

// A document the storage closed and keeps for the OFD.
struct Document
{
    quint32 number = 0;
    quint32 fiscalSign = 0;
    QDateTime dateTime; // the closing command's date-time, UTC, seconds 0
    QByteArray body; // the document for the OFD: one TLV with tag 1 (see README)
    bool confirmed = false; // an OFD receipt was written for it
};

// A command frame the storage took (start byte, length and checksum were sound).
struct Command
{
    quint8 code = 0;
    QByteArray data;
};

// What registerStorage() closes the report with.
struct Registration
{
    QDateTime dateTime; // UTC, seconds ignored
    QByteArray inn; // padded with spaces to 12 bytes
    QByteArray regNumber; // padded with spaces to 20 bytes
    quint8 taxes = 0x01;
    quint8 workMode = 0x00;
    QList<QByteArray> tlvs; // appended to the document as they are
};

// ---- The whole model ------------------------------------------------------

// A fresh model: adapter plugged, storage attached, a fresh MGM in the
// readiness phase with serial number DefaultSerialNumber, no documents, no
// faults, no canned answers, latency 0, counters and logs cleared. Handles
// opened while the adapter was plugged stay valid.
void reset();

extern const char DefaultSerialNumber[]; // "9999078900004321"

// Storage state (kind, serial, version, phase, lifetime, documents,
// confirmations, open report) as JSON, the format the preloadable library
// keeps in TAVRON_USBEMU_STATE. load returns false when the file cannot be
// read or parsed and leaves the model unchanged.
bool saveState(const QString &path);
bool loadState(const QString &path);

// ---- Adapter --------------------------------------------------------------

// Unplugging makes every open handle dead (transfers fail with -19) and
// removes the adapter from the bus list at the next usb_find_devices().
// Plugging it back gives a new device: old handles stay dead.
void setAdapterPlugged(bool plugged);
bool adapterPlugged();

// usb_open() returns null for the adapter (for example missing permissions).
void setOpenFails(bool fails);

// Every status query reports this byte instead of the real one; -1 restores
// the real status.
void setStatusOverride(int status);

// Control transfers with this request fail with the given negative errno-like
// value (for example -5); 0 makes them work again.
void setTransferError(int request, int error);

// Handles from usb_open() not yet closed.
int openHandles();

// ---- Counters, for tests and benchmarks ------------------------------------

void resetCounters(); // also clears receivedCommands()
int controlTransfers(int request); // by request number, failed ones included
int i2cProbes(); // request 7 without a data stage (the address alone)
int i2cWrites(); // request 7, write direction, with a data stage
int i2cReads(); // request 7, read direction, with a data stage
int busScans(); // calls of usb_find_devices()
int deviceOpens(); // successful usb_open() calls
int deviceCloses(); // usb_close() calls
QList<Command> receivedCommands(); // every command frame the storage took, in order

// ---- Storage --------------------------------------------------------------

// A detached storage never acknowledges its address.
void setStorageAttached(bool attached);
bool storageAttached();

void setStorageKind(StorageKind kind);
StorageKind storageKind();

// 16 bytes; shorter values are padded with spaces, longer ones cut.
void setSerialNumber(const QByteArray &serial);
QByteArray serialNumber();

// Software version text, 16 bytes on the wire (padded with zero bytes).
void setVersion(const QByteArray &version);
QByteArray version();

void setPhase(quint8 phase);
quint8 phase();

void setLifeTime(const LifeTime &lifeTime);
LifeTime lifeTime();

// The number of the last closed document; the next one gets this plus 1.
void setLastDocumentNumber(quint32 number);
quint32 lastDocumentNumber();

// How long the storage prepares its answer to a command, in milliseconds:
// until then it does not acknowledge its address. AnyCommand sets the default
// for commands without a latency of their own; NeverReady never ends.
void setLatency(int command, int milliseconds);

// Damage the answer frame to a command (or to every command with AnyCommand).
void setFrameFault(int command, FrameFault fault);

// The storage answers this command with this code and data instead of
// executing it, until cleared. Serves the commands the model does not
// execute (0x04, 0x05, 0x10, 0x18, 0x19, 0x40 to 0x44) and forced refusals.
void setCannedAnswer(int command, quint8 code, const QByteArray &data = QByteArray());
void clearCannedAnswer(int command);

// Type of the open document (0 for none, 0x01 registration report, 0x12 and
// 0x13 the re-registration reports).
quint8 openDocumentType();

// TLVs taken with 0x07 for the report open now, or for the last closed one.
QList<QByteArray> receivedTlvs();

// Every document closed since the storage was fresh, oldest first.
QList<Document> documents();
int unconfirmedCount();

bool transportConnected(); // last 0x21 had a non-zero byte
bool messageReading(); // between 0x22 and 0x24/0x25

// Runs a whole registration inside the model (as 0x02 kind 0, 0x07 per TLV,
// 0x03 would), without I2C traffic. Returns false and changes nothing when
// the storage is not in the readiness phase or a document is open.
// confirmed marks the new document as already acknowledged by the OFD.
bool registerStorage(const Registration &registration, bool confirmed, Document *created = nullptr);

} // namespace usbemu

#endif // USBEMU_H
