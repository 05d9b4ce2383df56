#ifndef OFDEMUDOCUMENT_H
#define OFDEMUDOCUMENT_H

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// The storage's registration document as the emulated operator reads it, and
// the receipt it answers with. A TLV is tag (2 bytes), length (2 bytes),
// value, little-endian.
namespace ofdemu {

struct Tlv
{
    quint16 tag = 0;
    QByteArray value;
};

// Splits bytes into TLVs; false when one of them runs past the end.
bool parseTlvs(const QByteArray &bytes, QList<Tlv> *tlvs);
QByteArray encodeTlv(quint16 tag, const QByteArray &value);

// The decoded registration document: tag 1 (registration report) or tag 11
// (re-registration report) around its TLVs.
struct RegistrationDocument
{
    QByteArray raw;
    quint16 documentType = 0;
    QList<Tlv> tlvs;
    quint32 documentNumber = 0;
    QByteArray storageNumber; // tag 1041 as received
    quint32 fiscalSign = 0;
    quint32 dateTime = 0;

    // An empty text when bytes hold one registration report with a document
    // number (1040) and a storage number (1041); otherwise why not.
    static RegistrationDocument decode(const QByteArray &bytes, QString *fault);

    // One record line: storage and document numbers, fiscal sign, date-time
    // and every tag with its length, its bytes in hex and its value (a number
    // for numeric tags, the CP866 text for the others).
    QJsonObject toJson() const;
};

// The receipt for a document: 1041 storage number, 1040 document number,
// 1012 the receipt's date-time, 1078 the operator's sign (18 bytes from a
// hash of the document).
QByteArray buildReceipt(const RegistrationDocument &document, const QDateTime &when);

// Whether the emulator shows the tag's value as a little-endian number.
bool isNumericTag(quint16 tag);

} // namespace ofdemu

#endif // OFDEMUDOCUMENT_H
