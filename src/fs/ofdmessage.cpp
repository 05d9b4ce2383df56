#include "fs/ofdmessage.h"

#include "common/crc16.h"
#include "tessarocore/logging.h"

#include <QtEndian>

using tessaro::logbinary;
using tessaro::logtab;

namespace {

void appendUInt16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
}

quint16 readUInt16(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

} // namespace

const QByteArray &OfdMessage::signature()
{
    static const QByteArray bytes = QByteArray::fromHex("2a08410a");
    return bytes;
}

const QByteArray &OfdMessage::sessionVersion()
{
    static const QByteArray bytes = QByteArray::fromHex("81a2");
    return bytes;
}

const QByteArray &OfdMessage::applicationVersion()
{
    static const QByteArray bytes = QByteArray::fromHex("0105");
    return bytes;
}

OfdMessage::OfdMessage(const QByteArray &fsNumber)
    : m_fsNumber(fsNumber)
{ }

quint16 OfdMessage::checksum(const QByteArray &bytes) { return Crc16::checksum(bytes); }

QByteArray OfdMessage::toByteArray(const QByteArray &body)
{
    // keep the bits from 3 up; bit 2 and the check mode follow the body
    m_flags &= quint16(~(CheckModeMask | BodyPresentFlag));
    if (!body.isEmpty())
        m_flags |= BodyPresentFlag | FullCheck;
    else
        m_flags |= HeaderCheck;

    if (m_fsNumber.size() != FsNumberSize)
        return QByteArray();
    // A longer body would go out with a cut length field and a header that
    // lies about what follows it.
    if (body.size() > MaxBodySize)
        return QByteArray();

    QByteArray bytes;
    bytes.reserve(HeaderSize + body.size());
    bytes.append(signature());
    bytes.append(sessionVersion());
    bytes.append(applicationVersion());
    bytes.append(m_fsNumber);
    appendUInt16(bytes, quint16(body.size()));
    appendUInt16(bytes, m_flags);

    quint16 crc = 0;
    if (checkMode() != NoCheck)
        crc = checksum((m_flags & FullCheck) ? bytes + body : bytes);
    appendUInt16(bytes, crc);
    bytes.append(body);
    return bytes;
}

bool OfdMessage::parseHeader(const QByteArray &header)
{
    m_header = header;

    const bool shapeOk = header.size() == HeaderSize && header.startsWith(signature())
        && header.mid(4, 2) == sessionVersion();
    if (!shapeOk) {
        qWarning().nospace() << "OFD header refused: signature " << logbinary(header.left(4))
                             << logtab << logbinary(signature()) << logtab << "session "
                             << logbinary(header.mid(4, 2)) << logtab << logbinary(sessionVersion())
                             << logtab << "application " << logbinary(header.mid(6, 2)) << logtab
                             << logbinary(applicationVersion()) << logtab << "storage "
                             << logbinary(header.mid(8, FsNumberSize)) << logtab
                             << logbinary(m_fsNumber);
        return false;
    }

    m_length = readUInt16(header, 24);
    m_flags = readUInt16(header, 26);
    m_crc = readUInt16(header, 28);

    switch (checkMode()) {
    case NoCheck:
    case FullCheck:
        return true; // the full value can only be judged with the body
    case HeaderCheck:
        return m_crc == checksum(header.left(CheckedHeaderSize));
    case InvalidCheck:
        break;
    }
    return false;
}

bool OfdMessage::parseData(const QByteArray &body, bool lenient)
{
    m_data = body;
    if (body.size() != int(m_length))
        return false;
    if (m_crc == 0)
        return true;

    const QByteArray checkedHeader = m_header.left(CheckedHeaderSize);
    const quint16 fullValue = checksum(checkedHeader + body);
    const quint16 headerValue = checksum(checkedHeader);
    qWarning().nospace() << "OFD check value: full " << Qt::hex << fullValue << " header "
                         << headerValue << " received " << m_crc << Qt::dec << " lenient "
                         << lenient;

    if (!lenient && fullValue != m_crc)
        return headerValue == m_crc;
    return true;
}

QDebug operator<<(QDebug debug, const OfdMessage &message)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "OfdMessage(fs " << logbinary(message.fsNumber()) << ", length "
                    << message.length() << ", flags 0x" << Qt::hex << message.flags() << ", crc 0x"
                    << message.crc() << Qt::dec << ", header " << logbinary(message.header())
                    << ", data " << logbinary(message.data()) << ')';
    return debug;
}
