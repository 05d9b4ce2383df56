#ifndef STORAGESETUP_H
#define STORAGESETUP_H

// Helpers for tests that work against the emulated USB adapter and storage
// (link `testsupport`, which brings `usbemu` along, instead of the real libusb).

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>

namespace testsupport {

enum class StorageSetup
{
    NoAdapter, // no adapter on the USB bus
    NoStorage, // adapter plugged, nothing at I2C address 2
    FreshMgm, // MGM in the readiness phase (0x01), no documents
    FreshFs, // fiscal storage in the readiness phase (0x01), no documents
    RegisteredMgm, // MGM in fiscal mode (0x03), its registration confirmed by the OFD
    RegisteredFs, // fiscal storage in fiscal mode, registration confirmed
    MgmAwaitingReceipt, // MGM in fiscal mode, registration document not yet confirmed
    FsAwaitingReceipt // fiscal storage in fiscal mode, registration document not yet confirmed
};

// The values the registered setups were registered with.
// (The fiscal sign is the model's own: read it from usbemu::documents().)
extern const QByteArray SetupInn; // "7700001235  ", a valid 10-digit INN padded to 12 bytes
extern const QByteArray SetupRegNumber; // "0000000001012345    ", padded to 20 bytes
QDateTime setupRegistrationTime(); // 2024-03-05 14:07 UTC

// Puts the emulated adapter and storage into a fresh model in the given setup
// (no faults, latency 0, counters cleared) and the program's latest storage
// status back to the default record. Serial number: usbemu::DefaultSerialNumber.
void resetStorage(StorageSetup setup);

// One TLV: tag (2, LE), length (2, LE), value.
QByteArray tlv(quint16 tag, const QByteArray &value);
QByteArray tlvUInt32(quint16 tag, quint32 value);

// The OFD's receipt for a document, in the form the storage takes with 0x26:
// 1041 storage number, 1040 document number, then (withExtras) 1012 receipt
// time and 1078 an 18-byte operator sign.
QByteArray ofdReceipt(const QByteArray &serialNumber, quint32 docNumber, bool withExtras = true);

} // namespace testsupport

// For data-driven tests: QTest::addColumn<testsupport::StorageSetup>("setup").
Q_DECLARE_METATYPE(testsupport::StorageSetup)

#endif // STORAGESETUP_H
