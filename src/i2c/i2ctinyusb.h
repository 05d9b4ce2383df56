#ifndef I2CTINYUSB_H
#define I2CTINYUSB_H

#include <QByteArray>
#include <QtGlobal>

class I2CTinyUsbPrivate;

// Driver of the i2c-tiny-usb adapter (USB 0403:c631): every I2C operation is
// one control transfer followed by a one-byte status query. The adapter's
// handle is shared by all instances of the process and closed with the last
// one. Slave addresses are 7-bit and sent unshifted.
class I2CTinyUsb
{
public:
    static constexpr quint16 VendorId = 0x0403;
    static constexpr quint16 ProductId = 0xC631;

    // Opens the adapter if no instance has it open yet; a missing adapter
    // leaves the driver usable but closed.
    I2CTinyUsb();
    ~I2CTinyUsb();

    I2CTinyUsb(const I2CTinyUsb &) = delete;
    I2CTinyUsb &operator=(const I2CTinyUsb &) = delete;

    // True when the slave acknowledges an address-only transaction. While the
    // adapter is closed a probe rescans the bus and returns false, even when
    // it just opened the adapter.
    bool i2cProbe(quint8 address);
    // Returns data.size() on success, 0 on failure.
    qint32 i2cWrite(quint8 address, const QByteArray &data, qint32 timeout);
    // Returns size on success, 0 on failure; data holds size bytes either way
    // (zeros where the adapter delivered nothing).
    qint32 i2cRead(quint8 address, quint16 size, QByteArray &data, qint32 timeout);

private:
    I2CTinyUsbPrivate *d;
};

#endif // I2CTINYUSB_H
