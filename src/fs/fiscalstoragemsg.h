#ifndef FISCALSTORAGEMSG_H
#define FISCALSTORAGEMSG_H

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDebug>

// One frame exchanged with the fiscal storage:
//   04 | length (2, LE: code byte + data) | code | data | CRC-16 (2, LE)
// The checksum covers everything between the start marker and itself.
class FiscalStorageMsg
{
public:
    static constexpr quint8 StartMarker = 0x04;
    // Frame size without data: marker, length, code, checksum.
    static constexpr int FrameOverhead = 5;
    // The length field counts the code byte, so data may be at most this long.
    static constexpr int MaxDataSize = 0xFFFF - 1;

    // Results of fromByteArray(); the typed decoders add DataMismatch.
    enum FrameResult : quint8 {
        FrameOk = 0,
        BadStartMarker = 1,
        FrameTooShort = 2,
        SizeMismatch = 3,
        BadChecksum = 4,
        DataMismatch = 5,
        NotParsed = 255
    };

    FiscalStorageMsg();
    FiscalStorageMsg(quint8 code, const QByteArray &data);
    virtual ~FiscalStorageMsg();

    virtual bool isValid() const = 0;
    virtual QByteArray toByteArray() const;
    virtual quint8 fromByteArray(const QByteArray &frame);
    virtual bool hasData() const;

    quint8 code() const { return m_code; }
    QByteArray data() const { return m_data; }
    void setCode(quint8 code) { m_code = code; }
    void setData(const QByteArray &data) { m_data = data; }

protected:
    FiscalStorageMsg(const FiscalStorageMsg &) = default;
    FiscalStorageMsg &operator=(const FiscalStorageMsg &) = default;

    quint8 m_code = 0x7F;
    QByteArray m_data;
};

// Date-time in storage data: 5 bytes, year - 2000, month, day, hour, minute.
// Empty for an invalid date-time or one in the year 2000 or earlier (or past
// 2255, which the year byte cannot hold).
QByteArray dateTimeToFs(const QDateTime &dateTime);
// Needs exactly 5 bytes; bytes are read as signed, so 0x80 and above make
// the result invalid. Wrong size gives a null QDateTime.
QDateTime dateTimeFromFs(const QByteArray &bytes);
// The date-time of a decoded date and time; invalid (not null) when either is
// invalid, where QDateTime itself would read an invalid time as midnight.
QDateTime fsDateTime(const QDate &date, const QTime &time);
// Date in storage data: 3 bytes, year - 2000, month, day.
QDate dateFromFs(const QByteArray &bytes);

QDebug operator<<(QDebug debug, const FiscalStorageMsg &msg);

#endif // FISCALSTORAGEMSG_H
