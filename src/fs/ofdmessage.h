#ifndef OFDMESSAGE_H
#define OFDMESSAGE_H

#include <QByteArray>
#include <QDebug>
#include <QtGlobal>

// One container of the exchange with the fiscal data operator (OFD): a 30-byte
// header and a body. Outgoing, the body is the storage's document; incoming,
// it is the operator's receipt. All numbers little-endian:
//
//   0  4  signature            2A 08 41 0A
//   4  2  session version      81 A2
//   6  2  application version  01 05
//   8 16  storage number       16 ASCII characters, no terminator
//  24  2  body length
//  26  2  flags                bits 0-1 check mode, bit 2 body present, bit 4 always set
//  28  2  check value          CRC-16/CCITT-FALSE, or 0
//  30  .  body
//
// The class does no input or output: the OFD worker reads and writes the socket.
class OfdMessage
{
public:
    static constexpr int HeaderSize = 30;
    static constexpr int CheckedHeaderSize = 28; // bytes 0-27: everything before the check value
    static constexpr int FsNumberSize = 16;
    static constexpr int MaxBodySize = 0xFFFF; // the body length is a 16-bit field

    enum CheckMode : quint16
    {
        NoCheck = 0, // no check value
        HeaderCheck = 1, // the check value covers header bytes 0-27
        FullCheck = 2, // it covers header bytes 0-27 followed by the body
        InvalidCheck = 3, // not accepted
    };

    static constexpr quint16 CheckModeMask = 0x0003;
    static constexpr quint16 BodyPresentFlag = 0x0004;
    static constexpr quint16 BuiltFlag = 0x0010;
    static constexpr quint16 InitialFlags = 0x0011;

    // The constant byte strings of every header.
    static const QByteArray &signature();
    static const QByteArray &sessionVersion();
    static const QByteArray &applicationVersion();

    // A message for the given storage number; a default-constructed one has
    // none and builds nothing.
    explicit OfdMessage(const QByteArray &fsNumber = QByteArray());

    QByteArray fsNumber() const { return m_fsNumber; }
    quint16 flags() const { return m_flags; }
    QByteArray data() const { return m_data; }
    quint16 crc() const { return m_crc; }
    quint16 length() const { return m_length; }
    QByteArray header() const { return m_header; }
    CheckMode checkMode() const { return CheckMode(m_flags & CheckModeMask); }

    // The complete outgoing container for body (flags 0x0016 with a body,
    // 0x0011 without), or an empty array when the storage number is not
    // exactly 16 bytes long or the body does not fit the 16-bit length field.
    QByteArray toByteArray(const QByteArray &body);

    // Checks 30 received header bytes and takes length, flags and check value
    // from them. The application version and the storage number are not compared.
    bool parseHeader(const QByteArray &header);

    // Takes the received body and checks it against the header read before.
    // lenient switches the check value off.
    bool parseData(const QByteArray &body, bool lenient);

    // CRC-16/CCITT-FALSE over one range, as the container uses it.
    static quint16 checksum(const QByteArray &bytes);

private:
    QByteArray m_fsNumber;
    quint16 m_flags = InitialFlags;
    QByteArray m_data;
    quint16 m_crc = 0;
    quint16 m_length = 0;
    QByteArray m_header;
};

QDebug operator<<(QDebug debug, const OfdMessage &message);

#endif // OFDMESSAGE_H
