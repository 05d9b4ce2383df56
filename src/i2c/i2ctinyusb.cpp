#include "i2c/i2ctinyusb.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <usb.h>

namespace {

// Request type bytes: class request to the device, in and out; vendor request out.
constexpr int TypeClassIn = 0xA0;
constexpr int TypeClassOut = 0x20;
constexpr int TypeVendorOut = 0x40;

// Adapter requests.
constexpr int CmdGetFunctions = 1;
constexpr int CmdSetDelay = 2;
constexpr int CmdGetStatus = 3;
constexpr int CmdI2cTransaction = 7; // start, address, data, stop

constexpr int ValueRead = 1;
constexpr int BitDelay = 10;
constexpr int SetupTimeout = 1000; // ms
constexpr int StatusAddressAck = 1;

// Shared by every driver of the process; touched only under adapterLock.
QMutex adapterLock;
usb_dev_handle *adapterHandle = nullptr;
qint32 instanceCount = 0;

// Scans the buses and opens the first adapter found. Caller holds adapterLock.
void discoverAdapter()
{
    usb_init();
    usb_find_busses();
    usb_find_devices();

    for (usb_bus *bus = usb_get_busses(); bus; bus = bus->next) {
        for (struct usb_device *dev = bus->devices; dev; dev = dev->next) {
            if (dev->descriptor.idVendor != I2CTinyUsb::VendorId
                || dev->descriptor.idProduct != I2CTinyUsb::ProductId) {
                continue;
            }
            adapterHandle = usb_open(dev);
            break; // the first adapter of a bus only; a failed open moves on to the next bus
        }
        if (adapterHandle) {
            // Set-up; the answers do not matter, the adapter is kept either way.
            char functions[4] = {};
            usb_control_msg(adapterHandle, TypeClassIn, CmdGetFunctions, 0, 0, functions,
                sizeof(functions), SetupTimeout);
            usb_control_msg(
                adapterHandle, TypeVendorOut, CmdSetDelay, BitDelay, 0, nullptr, 0, SetupTimeout);
            char status = 0;
            usb_control_msg(
                adapterHandle, TypeClassIn, CmdGetStatus, 0, 0, &status, 1, SetupTimeout);
            return;
        }
    }
}

// The status of the last I2C transaction: true only when the slave
// acknowledged its address. Caller holds adapterLock.
bool transactionAcknowledged()
{
    char status = 0;
    const int result
        = usb_control_msg(adapterHandle, TypeClassIn, CmdGetStatus, 0, 0, &status, 1, SetupTimeout);
    return result >= 0 && status == StatusAddressAck;
}

} // namespace

class I2CTinyUsbPrivate
{
public:
    explicit I2CTinyUsbPrivate(I2CTinyUsb *owner)
        : q(owner)
    { }

    I2CTinyUsb *q;
};

I2CTinyUsb::I2CTinyUsb()
    : d(new I2CTinyUsbPrivate(this))
{
    QMutexLocker locker(&adapterLock);
    if (!adapterHandle)
        discoverAdapter();
    ++instanceCount;
}

I2CTinyUsb::~I2CTinyUsb()
{
    {
        QMutexLocker locker(&adapterLock);
        --instanceCount;
        if (instanceCount <= 0) {
            qDebug() << "DESTROY";
            if (adapterHandle) {
                usb_close(adapterHandle);
                adapterHandle = nullptr;
            }
        }
    }
    delete d;
}

bool I2CTinyUsb::i2cProbe(quint8 address)
{
    QMutexLocker locker(&adapterLock);
    if (!adapterHandle) {
        // The call that opens the adapter does not report the slave; the next probe does.
        discoverAdapter();
        return false;
    }
    if (usb_control_msg(
            adapterHandle, TypeClassIn, CmdI2cTransaction, 0, address, nullptr, 0, SetupTimeout)
        < 0) {
        return false;
    }
    return transactionAcknowledged();
}

qint32 I2CTinyUsb::i2cWrite(quint8 address, const QByteArray &data, qint32 timeout)
{
    // The quoted hex string, put together here: streamed as a byte array it
    // would be checked for characters to escape one by one, and hex digits
    // never need it.
    const QByteArray hex = data.toHex();
    QByteArray quoted;
    quoted.reserve(hex.size() + 2);
    quoted.append('"').append(hex).append('"');
    qWarning().noquote() << quoted;

    QMutexLocker locker(&adapterLock);
    if (!adapterHandle)
        return 0;
    // The data stage is only read by the transfer; libusb-0.1 takes a non-const pointer.
    QByteArray bytes = data;
    const int result = usb_control_msg(adapterHandle, TypeClassOut, CmdI2cTransaction, 0, address,
        bytes.data(), bytes.size(), timeout);
    if (result > 0 && transactionAcknowledged())
        return data.size();
    return 0;
}

qint32 I2CTinyUsb::i2cRead(quint8 address, quint16 size, QByteArray &data, qint32 timeout)
{
    data.clear();
    QByteArray buffer(size, '\0');
    bool ok = false;
    {
        QMutexLocker locker(&adapterLock);
        if (adapterHandle) {
            const int result = usb_control_msg(adapterHandle, TypeClassIn, CmdI2cTransaction,
                ValueRead, address, buffer.data(), size, timeout);
            ok = result > 0 && transactionAcknowledged();
        }
    }
    data = buffer;
    return ok ? qint32(size) : 0;
}
