#include "tessarocore/gzipstreamwrapper.h"

#include <zlib.h>

#include <limits>

namespace tessaro {

namespace {
// windowBits 15 plus 16: zlib reads and writes the gzip wrapper, not zlib's own.
constexpr int GzipWindowBits = 15 + 16;
constexpr int ChunkSize = 64 * 1024;
} // namespace

QByteArray GzipStreamWrapper::gzuncompress(const QByteArray &data, qint64 maxSize)
{
    if (data.isEmpty() || maxSize <= 0)
        return QByteArray();
    maxSize = qMin<qint64>(maxSize, std::numeric_limits<int>::max() - ChunkSize);

    z_stream stream = {};
    if (inflateInit2(&stream, GzipWindowBits) != Z_OK)
        return QByteArray();

    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());

    QByteArray result;
    char chunk[ChunkSize];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = ChunkSize;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        const int produced = ChunkSize - static_cast<int>(stream.avail_out);
        if (result.size() + qint64(produced) > maxSize) {
            status = Z_MEM_ERROR;
            break;
        }
        result.append(chunk, produced);
        // No input left and no progress means the stream was cut short.
        if (status == Z_OK && stream.avail_in == 0 && produced == 0) {
            status = Z_BUF_ERROR;
            break;
        }
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? result : QByteArray();
}

QByteArray GzipStreamWrapper::gzcompress(const QByteArray &data)
{
    z_stream stream = {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, GzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();

    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());

    QByteArray result;
    char chunk[ChunkSize];
    int status = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = ChunkSize;
        status = deflate(&stream, Z_FINISH);
        result.append(chunk, ChunkSize - static_cast<int>(stream.avail_out));
    } while (status == Z_OK);
    deflateEnd(&stream);
    return status == Z_STREAM_END ? result : QByteArray();
}

} // namespace tessaro
