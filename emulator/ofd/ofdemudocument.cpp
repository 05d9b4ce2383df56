#include "ofdemudocument.h"

#include "ofdemucontainer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTextCodec>

namespace ofdemu {

namespace {

constexpr quint16 RegistrationReportTag = 1;
constexpr quint16 ReregistrationReportTag = 11;
constexpr quint16 DocumentNumberTag = 1040;
constexpr quint16 StorageNumberTag = 1041;
constexpr quint16 FiscalSignTag = 1077;
constexpr quint16 DateTimeTag = 1012;
constexpr quint16 OperatorSignTag = 1078;
constexpr int OperatorSignSize = 18;

quint64 readNumber(const QByteArray &value)
{
    quint64 number = 0;
    for (int i = qMin(value.size(), 8) - 1; i >= 0; --i)
        number = (number << 8) | quint8(value.at(i));
    return number;
}

QString utcText(quint32 seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC).toString(Qt::ISODate);
}

} // namespace

bool isNumericTag(quint16 tag)
{
    switch (tag) {
    case 1001:
    case 1002:
    case 1012:
    case 1040:
    case 1056:
    case 1057:
    case 1062:
    case 1077:
    case 1108:
    case 1109:
    case 1110:
    case 1126:
    case 1189:
    case 1193:
    case 1207:
    case 1209:
    case 1221:
        return true;
    default:
        return false;
    }
}

bool parseTlvs(const QByteArray &bytes, QList<Tlv> *tlvs)
{
    QList<Tlv> result;
    int offset = 0;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 4)
            return false;
        Tlv tlv;
        tlv.tag = readLe16(bytes, offset);
        const int length = readLe16(bytes, offset + 2);
        offset += 4;
        if (bytes.size() - offset < length)
            return false;
        tlv.value = bytes.mid(offset, length);
        offset += length;
        result.append(tlv);
    }
    if (tlvs)
        *tlvs = result;
    return true;
}

QByteArray encodeTlv(quint16 tag, const QByteArray &value)
{
    QByteArray bytes;
    appendLe16(bytes, tag);
    appendLe16(bytes, quint16(value.size()));
    bytes.append(value);
    return bytes;
}

RegistrationDocument RegistrationDocument::decode(const QByteArray &bytes, QString *fault)
{
    RegistrationDocument document;
    document.raw = bytes;
    QString why;
    QList<Tlv> outer;
    if (!parseTlvs(bytes, &outer) || outer.size() != 1) {
        why = QStringLiteral("not one TLV");
    } else if (outer.constFirst().tag != RegistrationReportTag
        && outer.constFirst().tag != ReregistrationReportTag) {
        why = QStringLiteral("tag %1 is not a registration report").arg(outer.constFirst().tag);
    } else if (!parseTlvs(outer.constFirst().value, &document.tlvs)) {
        why = QStringLiteral("the report's TLVs run past its end");
    } else {
        document.documentType = outer.constFirst().tag;
        bool haveNumber = false;
        bool haveStorage = false;
        for (const Tlv &tlv : qAsConst(document.tlvs)) {
            switch (tlv.tag) {
            case DocumentNumberTag:
                haveNumber = tlv.value.size() == 4;
                if (haveNumber)
                    document.documentNumber = readLe32(tlv.value, 0);
                break;
            case StorageNumberTag:
                haveStorage = !tlv.value.isEmpty();
                document.storageNumber = tlv.value;
                break;
            case FiscalSignTag:
                if (tlv.value.size() == 4)
                    document.fiscalSign = readLe32(tlv.value, 0);
                break;
            case DateTimeTag:
                if (tlv.value.size() == 4)
                    document.dateTime = readLe32(tlv.value, 0);
                break;
            default:
                break;
            }
        }
        if (!haveNumber)
            why = QStringLiteral("no document number");
        else if (!haveStorage)
            why = QStringLiteral("no storage number");
    }
    if (fault)
        *fault = why;
    return document;
}

QJsonObject RegistrationDocument::toJson() const
{
    QTextCodec *cp866 = QTextCodec::codecForName("CP866");
    QJsonArray tags;
    for (const Tlv &tlv : tlvs) {
        QJsonObject entry;
        entry.insert(QStringLiteral("tag"), int(tlv.tag));
        entry.insert(QStringLiteral("length"), tlv.value.size());
        entry.insert(QStringLiteral("hex"), QString::fromLatin1(tlv.value.toHex()));
        if (isNumericTag(tlv.tag) && tlv.value.size() <= 8)
            entry.insert(QStringLiteral("value"), double(readNumber(tlv.value)));
        else
            entry.insert(QStringLiteral("value"),
                cp866 ? cp866->toUnicode(tlv.value) : QString::fromLatin1(tlv.value));
        tags.append(entry);
    }
    QJsonObject record;
    record.insert(QStringLiteral("documentType"), int(documentType));
    record.insert(QStringLiteral("storageNumber"), QString::fromLatin1(storageNumber));
    record.insert(QStringLiteral("documentNumber"), double(documentNumber));
    record.insert(QStringLiteral("fiscalSign"), double(fiscalSign));
    record.insert(QStringLiteral("dateTime"), utcText(dateTime));
    record.insert(QStringLiteral("tags"), tags);
    return record;
}

QByteArray buildReceipt(const RegistrationDocument &document, const QDateTime &when)
{
    QByteArray number;
    appendLe32(number, document.documentNumber);
    QByteArray time;
    appendLe32(time, quint32(when.toSecsSinceEpoch()));
    const QByteArray sign
        = QCryptographicHash::hash(document.raw, QCryptographicHash::Sha256).left(OperatorSignSize);

    return encodeTlv(StorageNumberTag, document.storageNumber)
        + encodeTlv(DocumentNumberTag, number) + encodeTlv(DateTimeTag, time)
        + encodeTlv(OperatorSignTag, sign);
}

} // namespace ofdemu
