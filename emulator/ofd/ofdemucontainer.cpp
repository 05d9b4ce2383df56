#include "ofdemucontainer.h"

namespace ofdemu {

QByteArray signatureBytes() { return QByteArray("\x2a\x08\x41\x0a", 4); }

QByteArray sessionVersionBytes() { return QByteArray("\x81\xa2", 2); }

QByteArray applicationVersionBytes() { return QByteArray("\x01\x05", 2); }

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint16(quint8(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

quint16 readLe16(const QByteArray &bytes, int offset)
{
    return quint16(quint8(bytes.at(offset)) | (quint8(bytes.at(offset + 1)) << 8));
}

quint32 readLe32(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

void appendLe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF)).append(char(value >> 8));
}

void appendLe32(QByteArray &bytes, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

ContainerHeader ContainerHeader::parse(const QByteArray &header, QString *fault)
{
    ContainerHeader result;
    result.raw = header;
    QString why;
    if (header.size() != HeaderSize) {
        why = QStringLiteral("header of %1 bytes").arg(header.size());
    } else {
        result.fsNumber = header.mid(8, FsNumberSize);
        result.length = readLe16(header, 24);
        result.flags = readLe16(header, 26);
        result.crc = readLe16(header, 28);
        if (header.left(4) != signatureBytes())
            why = QStringLiteral("wrong signature %1")
                      .arg(QString::fromLatin1(header.left(4).toHex()));
        else if (header.mid(4, 2) != sessionVersionBytes())
            why = QStringLiteral("wrong session version %1")
                      .arg(QString::fromLatin1(header.mid(4, 2).toHex()));
        else if (header.mid(6, 2) != applicationVersionBytes())
            why = QStringLiteral("wrong application version %1")
                      .arg(QString::fromLatin1(header.mid(6, 2).toHex()));
        else if (result.checkMode() == 3)
            why = QStringLiteral("check mode 3");
        else if (bool(result.flags & 0x4) != (result.length > 0))
            why = QStringLiteral("flags 0x%1 do not match a body of %2 bytes")
                      .arg(result.flags, 4, 16, QLatin1Char('0'))
                      .arg(result.length);
        else if (result.checkMode() == 1 && result.crc != crc16(header.left(CheckedSize)))
            why = QStringLiteral("wrong check value over the header");
    }
    if (fault)
        *fault = why;
    return result;
}

QString ContainerHeader::bodyFault(const QByteArray &body) const
{
    if (body.size() != int(length))
        return QStringLiteral("body of %1 bytes, %2 declared").arg(body.size()).arg(length);
    if (checkMode() == 2 && crc != crc16(raw.left(CheckedSize) + body))
        return QStringLiteral("wrong check value over the header and the body");
    return QString();
}

QByteArray buildContainer(
    const QByteArray &fsNumber, const QByteArray &body, const ContainerFaults &faults)
{
    QByteArray fs = fsNumber.left(FsNumberSize);
    while (fs.size() < FsNumberSize)
        fs.append(' ');

    const int mode = body.isEmpty() && faults.checkMode == 2 ? 1 : faults.checkMode;
    quint16 flags = 0x0010 | quint16(mode & 0x3);
    if (!body.isEmpty())
        flags |= 0x0004;

    QByteArray bytes;
    bytes.append(faults.signature);
    bytes.append(faults.sessionVersion);
    bytes.append(applicationVersionBytes());
    bytes.append(fs);
    appendLe16(bytes, quint16(body.size()));
    appendLe16(bytes, flags);

    const quint16 headerCrc = crc16(bytes);
    const quint16 fullCrc = crc16(bytes + body);
    quint16 crc = 0;
    if (faults.crcOverHeaderOnly)
        crc = headerCrc;
    else if (mode == 1)
        crc = headerCrc;
    else if (mode == 2 || mode == 3)
        crc = fullCrc;
    if (faults.corruptCrc) {
        // matches neither the full value nor the header value
        crc = quint16(fullCrc ^ 0xA55A);
        while (crc == fullCrc || crc == headerCrc || crc == 0)
            ++crc;
    }
    appendLe16(bytes, crc);
    bytes.append(body);
    return bytes;
}

} // namespace ofdemu
