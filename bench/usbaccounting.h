#ifndef USBACCOUNTING_H
#define USBACCOUNTING_H

#include <QtGlobal>

// Time spent below the adapter driver. The benchmark links the adapter
// driver's libusb-0.1 calls through shims (the linker's --wrap) that count
// them and add up the wall time each call spends in the emulated adapter and
// storage, so that the program's own CPU time can be told apart from the
// model's. Single-threaded use: the storage sessions run on one thread.
namespace usbaccounting {

struct Totals
{
    qint64 calls = 0; // libusb calls of any kind
    qint64 controlTransfers = 0; // usb_control_msg calls
    qint64 nanoseconds = 0; // wall time measured around the emulated adapter's calls
};

void reset();
Totals totals();

// Thread CPU time in nanoseconds (CLOCK_THREAD_CPUTIME_ID).
qint64 threadCpuNanoseconds();
// Monotonic wall time in nanoseconds.
qint64 wallNanoseconds();

// What one reading of the wall clock costs, in nanoseconds (the least of a
// few batches). Each timed libusb call reads the clock twice: about one
// reading falls inside the measured interval and one outside it.
double clockReadNanoseconds();

} // namespace usbaccounting

#endif // USBACCOUNTING_H
