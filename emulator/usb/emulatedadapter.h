#ifndef EMULATEDADAPTER_H
#define EMULATEDADAPTER_H

#include "usb/emulatedstorage.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <chrono>
#include <functional>

#include <usb.h>

// The handle usb_open() gives out: it belongs to one plug-in of the adapter.
struct usb_dev_handle
{
    quint64 plugGeneration;
};

namespace usbemu {

// The USB side: bus list, handles, the adapter's control requests, and the
// I2C bus with the storage at address 2. One process-wide instance, guarded
// by lock(); every member function expects the caller to hold it.
class EmulatedAdapter
{
public:
    static EmulatedAdapter &instance();
    static QMutex &lock();

    EmulatedAdapter();

    void reset();
    void resetCounters();

    // libusb-0.1 entry points.
    int findBusses();
    int findDevices();
    usb_bus *busses();
    usb_dev_handle *open(struct usb_device *dev);
    int close(usb_dev_handle *handle);
    struct usb_device *deviceOf(usb_dev_handle *handle);
    int controlMsg(usb_dev_handle *handle, int requestType, int request, int value, int index,
        char *bytes, int size);

    void setPlugged(bool plugged);

    EmulatedStorage storage;

    bool plugged = true;
    bool attached = true;
    bool openFails = false;
    int statusOverride = -1;
    QHash<int, int> transferErrors;
    bool trace = false;

    // Counters.
    QHash<int, int> transfers;
    int probes = 0;
    int reads = 0;
    int writes = 0;
    int scans = 0;
    int opens = 0;
    int closes = 0;
    int handlesOpen = 0;

    // Called (under the lock) after a command changed the storage's kept state.
    std::function<void()> storageChanged;

private:
    using Clock = std::chrono::steady_clock;

    bool storageAcknowledges(int address) const;
    void storageWrite(const QByteArray &frame);

    quint64 generation = 1;
    quint8 lastStatus = StatusIdle;
    int bitDelay = 0;
    QByteArray pending; // the answer the storage sends on every read
    bool neverReady = false;
    Clock::time_point readyAt;

    usb_bus bus1 {};
    usb_bus bus2 {};
    struct usb_device hub
    { };
    struct usb_device adapterDevice
    { };
    bool listedPlugged = false;
};

} // namespace usbemu

#endif // EMULATEDADAPTER_H
