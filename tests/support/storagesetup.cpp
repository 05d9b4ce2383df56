#include "storagesetup.h"

#include "fs/fsstate.h"
#include "usb/usbemu.h"

namespace testsupport {

const QByteArray SetupInn("7700001235  ");
const QByteArray SetupRegNumber("0000000001012345    ");

QDateTime setupRegistrationTime() { return QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC); }

namespace {

void registerModel(bool confirmed)
{
    usbemu::Registration registration;
    registration.dateTime = setupRegistrationTime();
    registration.inn = SetupInn;
    registration.regNumber = SetupRegNumber;
    registration.taxes = 0x01;
    registration.workMode = 0x00;
    registration.tlvs.append(tlv(1048, QByteArray("OOO TEST USER")));
    usbemu::registerStorage(registration, confirmed);
}

} // namespace

void resetStorage(StorageSetup setup)
{
    usbemu::reset();
    setCurrentFsState(FsState());

    switch (setup) {
    case StorageSetup::NoAdapter:
        usbemu::setAdapterPlugged(false);
        break;
    case StorageSetup::NoStorage:
        usbemu::setStorageAttached(false);
        break;
    case StorageSetup::FreshMgm:
        break;
    case StorageSetup::FreshFs:
        usbemu::setStorageKind(usbemu::StorageKind::FiscalStorage);
        break;
    case StorageSetup::RegisteredMgm:
        registerModel(true);
        break;
    case StorageSetup::RegisteredFs:
        usbemu::setStorageKind(usbemu::StorageKind::FiscalStorage);
        registerModel(true);
        break;
    case StorageSetup::MgmAwaitingReceipt:
        registerModel(false);
        break;
    case StorageSetup::FsAwaitingReceipt:
        usbemu::setStorageKind(usbemu::StorageKind::FiscalStorage);
        registerModel(false);
        break;
    }
}

QByteArray tlv(quint16 tag, const QByteArray &value)
{
    QByteArray out;
    out.append(char(tag & 0xFF));
    out.append(char(tag >> 8));
    out.append(char(value.size() & 0xFF));
    out.append(char((value.size() >> 8) & 0xFF));
    out.append(value);
    return out;
}

QByteArray tlvUInt32(quint16 tag, quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return tlv(tag, bytes);
}

QByteArray ofdReceipt(const QByteArray &serialNumber, quint32 docNumber, bool withExtras)
{
    QByteArray receipt = tlv(1041, serialNumber) + tlvUInt32(1040, docNumber);
    if (withExtras) {
        receipt += tlvUInt32(1012, quint32(setupRegistrationTime().toSecsSinceEpoch()));
        QByteArray sign;
        for (int i = 0; i < 18; ++i)
            sign.append(char(0xA0 + i));
        receipt += tlv(1078, sign);
    }
    return receipt;
}

} // namespace testsupport
