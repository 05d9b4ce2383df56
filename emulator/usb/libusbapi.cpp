// The libusb-0.1 calls the adapter driver makes, answered by the emulated
// adapter. Linked statically into tests, or preloaded into the program.

#include "usb/emulatedadapter.h"

#include <QMutexLocker>

using usbemu::EmulatedAdapter;

extern "C" {

void usb_init(void) { }

void usb_set_debug(int) { }

int usb_find_busses(void)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().findBusses();
}

int usb_find_devices(void)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().findDevices();
}

struct usb_bus *usb_get_busses(void)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().busses();
}

usb_dev_handle *usb_open(struct usb_device *dev)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().open(dev);
}

int usb_close(usb_dev_handle *dev)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().close(dev);
}

int usb_control_msg(usb_dev_handle *dev, int requesttype, int request, int value, int index,
    char *bytes, int size, int /*timeout*/)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().controlMsg(
        dev, requesttype, request, value, index, bytes, size);
}

struct usb_device *usb_device(usb_dev_handle *dev)
{
    QMutexLocker locker(&EmulatedAdapter::lock());
    return EmulatedAdapter::instance().deviceOf(dev);
}

char *usb_strerror(void)
{
    static char text[] = "emulated adapter";
    return text;
}

} // extern "C"
