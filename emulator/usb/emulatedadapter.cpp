#include "usb/emulatedadapter.h"

#include <cerrno>
#include <cstdio>

namespace usbemu {

namespace {

constexpr int TypeClassIn = 0xA0;
constexpr int TypeClassOut = 0x20;
constexpr int TypeVendorOut = 0x40;

// Function flags the adapter reports: plain I2C and SMBus quick commands.
constexpr quint32 AdapterFunctions = 0x00000001 | 0x00010000;

void name(char *field, const char *text) { std::snprintf(field, LIBUSB_PATH_MAX + 1, "%s", text); }

} // namespace

EmulatedAdapter &EmulatedAdapter::instance()
{
    static EmulatedAdapter adapter;
    return adapter;
}

QMutex &EmulatedAdapter::lock()
{
    static QMutex mutex;
    return mutex;
}

EmulatedAdapter::EmulatedAdapter()
{
    name(bus1.dirname, "001");
    bus1.location = 1;
    bus1.next = &bus2;
    name(bus2.dirname, "002");
    bus2.location = 2;
    bus2.prev = &bus1;

    name(hub.filename, "001");
    hub.bus = &bus1;
    hub.devnum = 1;
    hub.descriptor.bLength = USB_DT_DEVICE_SIZE;
    hub.descriptor.bDescriptorType = USB_DT_DEVICE;
    hub.descriptor.bDeviceClass = USB_CLASS_HUB;
    hub.descriptor.idVendor = 0x1D6B;
    hub.descriptor.idProduct = 0x0002;
    bus1.devices = &hub;
    bus1.root_dev = &hub;

    name(adapterDevice.filename, "002");
    adapterDevice.bus = &bus2;
    adapterDevice.devnum = 2;
    adapterDevice.descriptor.bLength = USB_DT_DEVICE_SIZE;
    adapterDevice.descriptor.bDescriptorType = USB_DT_DEVICE;
    adapterDevice.descriptor.bDeviceClass = USB_CLASS_VENDOR_SPEC;
    adapterDevice.descriptor.idVendor = AdapterVendorId;
    adapterDevice.descriptor.idProduct = AdapterProductId;
    adapterDevice.descriptor.bNumConfigurations = 1;

    reset();
}

void EmulatedAdapter::reset()
{
    storage.reset();
    if (!plugged)
        setPlugged(true);
    attached = true;
    openFails = false;
    statusOverride = -1;
    transferErrors.clear();
    lastStatus = StatusIdle;
    pending.clear();
    neverReady = false;
    readyAt = Clock::now();
    resetCounters();
}

void EmulatedAdapter::resetCounters()
{
    transfers.clear();
    probes = reads = writes = scans = opens = closes = 0;
    storage.received.clear();
}

void EmulatedAdapter::setPlugged(bool value)
{
    if (plugged == value)
        return;
    plugged = value;
    // Every plug-in is a new device for the host: old handles stay dead.
    ++generation;
    lastStatus = StatusIdle;
}

int EmulatedAdapter::findBusses() { return 0; }

int EmulatedAdapter::findDevices()
{
    ++scans;
    const int changes = listedPlugged != plugged ? 1 : 0;
    listedPlugged = plugged;
    bus2.devices = plugged ? &adapterDevice : nullptr;
    return changes;
}

usb_bus *EmulatedAdapter::busses() { return &bus1; }

usb_dev_handle *EmulatedAdapter::open(struct usb_device *dev)
{
    if (dev != &adapterDevice || !plugged || openFails)
        return nullptr;
    ++opens;
    ++handlesOpen;
    return new usb_dev_handle { generation };
}

int EmulatedAdapter::close(usb_dev_handle *handle)
{
    if (!handle)
        return -EINVAL;
    ++closes;
    --handlesOpen;
    delete handle;
    return 0;
}

struct usb_device *EmulatedAdapter::deviceOf(usb_dev_handle *handle)
{
    return handle ? &adapterDevice : nullptr;
}

bool EmulatedAdapter::storageAcknowledges(int address) const
{
    return address == StorageAddress && attached && !neverReady && Clock::now() >= readyAt;
}

void EmulatedAdapter::storageWrite(const QByteArray &frame)
{
    int latency = 0;
    bool changed = false;
    pending = storage.handleFrame(frame, &latency, &changed);
    neverReady = latency == NeverReady;
    readyAt = Clock::now() + std::chrono::milliseconds(qMax(0, latency));
    if (trace) {
        std::fprintf(stderr, "usbemu: command %s -> answer %s\n", frame.toHex(' ').constData(),
            pending.toHex(' ').constData());
    }
    if (changed && storageChanged)
        storageChanged();
}

int EmulatedAdapter::controlMsg(usb_dev_handle *handle, int requestType, int request, int value,
    int index, char *bytes, int size)
{
    ++transfers[request];
    if (!handle || handle->plugGeneration != generation || !plugged)
        return -ENODEV;
    const auto error = transferErrors.constFind(request);
    if (error != transferErrors.constEnd())
        return *error;
    if (size < 0 || (size > 0 && !bytes))
        return -EINVAL;

    switch (request) {
    case RequestFunctions: {
        if (requestType != TypeClassIn)
            return -EPIPE;
        const int n = qMin(size, 4);
        for (int i = 0; i < n; ++i)
            bytes[i] = char((AdapterFunctions >> (8 * i)) & 0xFF);
        return n;
    }
    case RequestSetDelay:
        if (requestType != TypeVendorOut)
            return -EPIPE;
        bitDelay = value;
        return 0;
    case RequestStatus:
        if (requestType != TypeClassIn)
            return -EPIPE;
        if (size < 1)
            return 0;
        bytes[0] = char(statusOverride >= 0 ? quint8(statusOverride) : lastStatus);
        return 1;
    case RequestI2cTransaction: {
        // Value bit 0 is the I2C direction; without a data stage the
        // transaction is the address alone (a probe).
        const bool readDirection = value & 1;
        if (requestType != TypeClassIn && requestType != TypeClassOut)
            return -EPIPE;
        if (size > 0 && readDirection != (requestType == TypeClassIn))
            return -EPIPE;
        const bool ack = storageAcknowledges(index);
        lastStatus = ack ? StatusAck : StatusNak;
        if (size == 0) {
            ++probes;
            return 0;
        }
        if (readDirection) {
            ++reads;
            if (ack) {
                for (int i = 0; i < size; ++i)
                    bytes[i] = i < pending.size() ? pending.at(i) : char(0xFF);
            }
            return size;
        }
        ++writes;
        if (ack)
            storageWrite(QByteArray(bytes, size));
        return size;
    }
    default:
        return -EPIPE;
    }
}

} // namespace usbemu
