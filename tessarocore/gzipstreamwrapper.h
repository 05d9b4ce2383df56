#ifndef TESSARO_GZIPSTREAMWRAPPER_H
#define TESSARO_GZIPSTREAMWRAPPER_H

#include <QByteArray>

namespace tessaro {

class GzipStreamWrapper
{
public:
    // Largest inflated result gzuncompress hands back; a stream that inflates
    // to more is refused, so a small hostile body cannot exhaust memory.
    static constexpr qint64 MaxInflatedSize = 64 * 1024 * 1024;

    // Inflates one whole gzip stream. A damaged or truncated stream, or one
    // that inflates beyond maxSize bytes, gives an empty array.
    static QByteArray gzuncompress(const QByteArray &data, qint64 maxSize = MaxInflatedSize);

    // Deflates data into one gzip stream (used by tests and tools).
    static QByteArray gzcompress(const QByteArray &data);
};

} // namespace tessaro

#endif // TESSARO_GZIPSTREAMWRAPPER_H
