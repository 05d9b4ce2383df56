#ifndef OFDTESTDOCUMENT_H
#define OFDTESTDOCUMENT_H

// Small builders for the storage's registration document, as the tests feed
// it to the OFD worker: tag 1 around the document's own TLVs, little-endian.

#include <QByteArray>
#include <QtGlobal>

namespace ofdtest {

inline QByteArray le16(quint16 value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF)).append(char(value >> 8));
    return bytes;
}

inline QByteArray le32(quint32 value)
{
    return le16(quint16(value & 0xFFFF)) + le16(quint16(value >> 16));
}

inline QByteArray tlv(quint16 tag, const QByteArray &value)
{
    return le16(tag) + le16(quint16(value.size())) + value;
}

// A registration document with the fields the emulated operator needs.
inline QByteArray registrationDocument(
    const QByteArray &fsNumber, quint32 number, quint32 fiscalSign = 0x0A0B0C0D)
{
    const QByteArray inner = tlv(1040, le32(number)) + tlv(1041, fsNumber)
        + tlv(1077, le32(fiscalSign)) + tlv(1012, le32(1700000000u))
        + tlv(1018, QByteArray("7707083893  ")) + tlv(1062, QByteArray(1, '\x01'));
    return tlv(1, inner);
}

} // namespace ofdtest

#endif // OFDTESTDOCUMENT_H
