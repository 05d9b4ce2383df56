#include "usbaccounting.h"

#include <time.h>
#include <usb.h>

namespace usbaccounting {
namespace {

Totals running;

qint64 nanosecondsOf(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Adds the wall time of one libusb call to the totals.
class CallTimer
{
public:
    explicit CallTimer(bool control)
        : m_start(wallNanoseconds())
    {
        ++running.calls;
        if (control)
            ++running.controlTransfers;
    }
    ~CallTimer() { running.nanoseconds += wallNanoseconds() - m_start; }
    CallTimer(const CallTimer &) = delete;
    CallTimer &operator=(const CallTimer &) = delete;

private:
    qint64 m_start;
};

} // namespace

void reset() { running = Totals(); }

Totals totals() { return running; }

qint64 threadCpuNanoseconds() { return nanosecondsOf(CLOCK_THREAD_CPUTIME_ID); }

qint64 wallNanoseconds() { return nanosecondsOf(CLOCK_MONOTONIC); }

double clockReadNanoseconds()
{
    static const double cost = [] {
        constexpr int Batch = 20000;
        double least = 1e9;
        for (int round = 0; round < 10; ++round) {
            const qint64 start = wallNanoseconds();
            qint64 sink = 0;
            for (int i = 0; i < Batch; ++i)
                sink += wallNanoseconds();
            const qint64 elapsed = wallNanoseconds() - start;
            if (sink != 0)
                least = qMin(least, double(elapsed) / Batch);
        }
        return least;
    }();
    return cost;
}

} // namespace usbaccounting

using usbaccounting::CallTimer;

// The linker sends the driver's calls of usb_xxx to __wrap_usb_xxx and
// __real_usb_xxx to the emulated adapter's usb_xxx.
extern "C" {

void __real_usb_init(void);
int __real_usb_find_busses(void);
int __real_usb_find_devices(void);
struct usb_bus *__real_usb_get_busses(void);
usb_dev_handle *__real_usb_open(struct usb_device *dev);
int __real_usb_close(usb_dev_handle *dev);
int __real_usb_control_msg(usb_dev_handle *dev, int requesttype, int request, int value, int index,
    char *bytes, int size, int timeout);

void __wrap_usb_init(void)
{
    CallTimer timer(false);
    __real_usb_init();
}

int __wrap_usb_find_busses(void)
{
    CallTimer timer(false);
    return __real_usb_find_busses();
}

int __wrap_usb_find_devices(void)
{
    CallTimer timer(false);
    return __real_usb_find_devices();
}

struct usb_bus *__wrap_usb_get_busses(void)
{
    CallTimer timer(false);
    return __real_usb_get_busses();
}

usb_dev_handle *__wrap_usb_open(struct usb_device *dev)
{
    CallTimer timer(false);
    return __real_usb_open(dev);
}

int __wrap_usb_close(usb_dev_handle *dev)
{
    CallTimer timer(false);
    return __real_usb_close(dev);
}

int __wrap_usb_control_msg(usb_dev_handle *dev, int requesttype, int request, int value, int index,
    char *bytes, int size, int timeout)
{
    CallTimer timer(true);
    return __real_usb_control_msg(dev, requesttype, request, value, index, bytes, size, timeout);
}

} // extern "C"
