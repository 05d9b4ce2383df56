#include "fs/fiscalstoragemsg.h"

#include "common/crc16.h"

FiscalStorageMsg::FiscalStorageMsg() = default;

FiscalStorageMsg::FiscalStorageMsg(quint8 code, const QByteArray &data)
    : m_code(code)
    , m_data(data)
{
}

FiscalStorageMsg::~FiscalStorageMsg() = default;

QByteArray FiscalStorageMsg::toByteArray() const
{
    // A length that does not fit the 16-bit field is never sent wrapped.
    if (m_data.size() > MaxDataSize)
        return QByteArray();

    // Built in place: every command of a registration passes through here.
    const quint16 length = quint16(m_data.size() + 1);
    QByteArray frame;
    frame.reserve(m_data.size() + FrameOverhead);
    frame.append(char(StartMarker));
    frame.append(char(length & 0xFF));
    frame.append(char(length >> 8));
    frame.append(char(m_code));
    frame.append(m_data);
    // The checksum covers everything after the start marker; read in place.
    const quint16 crc
        = Crc16::checksum(QByteArray::fromRawData(frame.constData() + 1, frame.size() - 1));
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

quint8 FiscalStorageMsg::fromByteArray(const QByteArray &frame)
{
    m_data.clear();
    if (frame.size() <= FrameOverhead)
        return FrameTooShort;
    if (quint8(frame.at(0)) != StartMarker)
        return BadStartMarker;

    const quint16 length = quint16(quint8(frame.at(1)) | (quint8(frame.at(2)) << 8));
    if (frame.size() != length + FrameOverhead)
        return SizeMismatch;

    const quint16 computed
        = Crc16::checksum(QByteArray::fromRawData(frame.constData() + 1, frame.size() - 3));
    m_code = quint8(frame.at(3));
    if (length > 1)
        m_data = frame.mid(4, length - 1);

    const int at = 3 + length;
    const quint16 stored = quint16(quint8(frame.at(at)) | (quint8(frame.at(at + 1)) << 8));
    return stored == computed ? FrameOk : BadChecksum;
}

bool FiscalStorageMsg::hasData() const
{
    return !m_data.isEmpty();
}

QByteArray dateTimeToFs(const QDateTime &dateTime)
{
    // A year past 2255 would not fit the year byte.
    if (!dateTime.isValid() || dateTime.date().year() <= 2000 || dateTime.date().year() > 2255)
        return QByteArray();
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    QByteArray bytes;
    bytes.append(char(date.year() - 2000));
    bytes.append(char(date.month()));
    bytes.append(char(date.day()));
    bytes.append(char(time.hour()));
    bytes.append(char(time.minute()));
    return bytes;
}

QDateTime dateTimeFromFs(const QByteArray &bytes)
{
    if (bytes.size() != 5)
        return QDateTime();
    const auto at = [&bytes](int i) { return int(qint8(bytes.at(i))); };
    return fsDateTime(QDate(2000 + at(0), at(1), at(2)), QTime(at(3), at(4), 0));
}

QDateTime fsDateTime(const QDate &date, const QTime &time)
{
    // QDateTime would take an invalid time for midnight; a time the storage
    // could not have sent makes the whole date-time invalid instead.
    // The result is invalid but not null, unlike the one for a wrong size.
    if (!date.isValid() || !time.isValid())
        return QDateTime(QDate(), QTime(0, 0));
    return QDateTime(date, time);
}

QDate dateFromFs(const QByteArray &bytes)
{
    if (bytes.size() != 3)
        return QDate();
    const auto at = [&bytes](int i) { return int(qint8(bytes.at(i))); };
    return QDate(2000 + at(0), at(1), at(2));
}

QDebug operator<<(QDebug debug, const FiscalStorageMsg &msg)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << "FiscalStorageMsg(code 0x" << QString::number(msg.code(), 16).rightJustified(2, '0')
                              << ", data " << msg.data().toHex(' ') << ')';
    return debug;
}
