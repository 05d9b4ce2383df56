#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets.
namespace fuzzsupport {

// Creates the process's QCoreApplication once, with libFuzzer's arguments, and
// routes Qt's log lines away: the program logs every frame it handles, which
// would slow fuzzing down to a crawl. TAVRON_FUZZ_LOG=1 keeps them.
// A qFatal() still ends the run as a crash.
void initApplication(int *argc, char ***argv);

// The input as a byte array (a deep copy, so a read past the end of the
// QByteArray is still seen by AddressSanitizer as a read past the input).
QByteArray bytes(const uint8_t *data, size_t size);

// Ends the run as a crash with a message; for broken invariants.
[[noreturn]] void fail(const char *what);

} // namespace fuzzsupport

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzzsupport::fail(#condition);                                                       \
    } while (false)

#endif // FUZZSUPPORT_H
