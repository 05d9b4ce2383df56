// GzipStreamWrapper::gzuncompress on arbitrary bytes, with the default limit
// and with small limits; and the round trip of the rest through gzcompress.
//
// Input: one mode byte, then the rest.
//   mode bit 0 set: the limit is 1 + (mode >> 1) * 97 bytes, else the default.
#include "fuzzsupport.h"

#include "tessarocore/gzipstreamwrapper.h"

using tessaro::GzipStreamWrapper;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const quint8 mode = data[0];
    const QByteArray rest = fuzzsupport::bytes(data + 1, size - 1);
    const qint64 limit
        = (mode & 1) ? 1 + qint64(mode >> 1) * 97 : GzipStreamWrapper::MaxInflatedSize;

    const QByteArray inflated = GzipStreamWrapper::gzuncompress(rest, limit);
    FUZZ_CHECK(inflated.size() <= limit);

    // Whatever is deflated inflates back to itself, and a stream cut short
    // by one byte is refused, never taken for a shorter text.
    const QByteArray deflated = GzipStreamWrapper::gzcompress(rest);
    FUZZ_CHECK(!deflated.isEmpty());
    FUZZ_CHECK(GzipStreamWrapper::gzuncompress(deflated) == rest);
    FUZZ_CHECK(GzipStreamWrapper::gzuncompress(deflated.left(deflated.size() - 1)).isEmpty());
    if (rest.size() > limit)
        FUZZ_CHECK(GzipStreamWrapper::gzuncompress(deflated, limit).isEmpty());
    return 0;
}
