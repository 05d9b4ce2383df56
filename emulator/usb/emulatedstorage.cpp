#include "usb/emulatedstorage.h"

#include <QJsonArray>

namespace usbemu {

namespace {

constexpr int FrameOverhead = 5; // start byte, length (2), checksum (2)
constexpr int MaxDocumentSize = 0xFFFF; // 0x22 reports the length in 16 bits

// Document tags.
constexpr quint16 TagRegistrationReport = 1;
constexpr quint16 TagReregistrationReport = 11;
constexpr quint16 TagDocumentNumber = 1040;
constexpr quint16 TagStorageNumber = 1041;
constexpr quint16 TagFiscalSign = 1077;
constexpr quint16 TagDateTime = 1012;
constexpr quint16 TagUserInn = 1018;
constexpr quint16 TagRegNumber = 1037;
constexpr quint16 TagTaxes = 1062;
// Work-mode bits 0 to 5 as flag tags.
constexpr quint16 WorkModeTags[6] = { 1056, 1002, 1001, 1109, 1110, 1108 };

// CRC-16/CCITT-FALSE: polynomial 0x1021, start 0xFFFF, MSB first, no final XOR.
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

QByteArray le16(quint16 value)
{
    QByteArray out;
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
    return out;
}

QByteArray le32(quint32 value)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

quint16 readLe16(const QByteArray &data, int at)
{
    return quint16(quint8(data.at(at)) | (quint8(data.at(at + 1)) << 8));
}

quint32 readLe32(const QByteArray &data, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(data.at(at + i));
    return value;
}

QByteArray makeTlv(quint16 tag, const QByteArray &value)
{
    return le16(tag) + le16(quint16(value.size())) + value;
}

// Splits data into TLVs; false when it is empty or does not end on a TLV boundary.
bool splitTlvs(const QByteArray &data, QList<QPair<quint16, QByteArray>> *items)
{
    if (data.isEmpty())
        return false;
    int at = 0;
    while (at < data.size()) {
        if (data.size() - at < 4)
            return false;
        const quint16 tag = readLe16(data, at);
        const int length = readLe16(data, at + 2);
        if (data.size() - at - 4 < length)
            return false;
        if (items)
            items->append(qMakePair(tag, data.mid(at + 4, length)));
        at += 4 + length;
    }
    return true;
}

// Five bytes year - 2000, month, day, hour, minute as a UTC date-time.
QDateTime dateTimeFromBytes(const QByteArray &bytes)
{
    const QDate date(2000 + quint8(bytes.at(0)), quint8(bytes.at(1)), quint8(bytes.at(2)));
    const QTime time(quint8(bytes.at(3)), quint8(bytes.at(4)), 0);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QByteArray dateTimeBytes(const QDateTime &dt)
{
    if (!dt.isValid())
        return QByteArray(5, '\0');
    const QDateTime utc = dt.toUTC();
    QByteArray out;
    out.append(char(utc.date().year() - 2000));
    out.append(char(utc.date().month()));
    out.append(char(utc.date().day()));
    out.append(char(utc.time().hour()));
    out.append(char(utc.time().minute()));
    return out;
}

QByteArray padded(const QByteArray &text, int width, char fill)
{
    QByteArray out = text.left(width);
    out.append(QByteArray(width - out.size(), fill));
    return out;
}

// FNV-1a, 32 bits.
quint32 fnv1a(const QByteArray &bytes)
{
    quint32 hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    return hash;
}

const int FixedDocumentPart = 4 /* outer TLV */ + (4 + 4) + (4 + 16) + (4 + 4) + (4 + 4) + (4 + 12)
    + (4 + 20) + (4 + 1) + 6 * (4 + 1);

} // namespace

EmulatedStorage::EmulatedStorage() { reset(); }

void EmulatedStorage::reset()
{
    kind = StorageKind::Mgm;
    serial = QByteArray(DefaultSerialNumber);
    version = QByteArray("EMU-FS 1.05");
    phase = PhaseReadiness;
    life = LifeTime { QDate(2031, 6, 30), 12, 0 };
    lastDocNumber = 0;
    lastDocDt = QDateTime();
    openDocType = 0;
    documentHasData = false;
    tlvs.clear();
    docs.clear();
    connected = false;
    reading = false;
    messageRead = false;

    defaultLatency = 0;
    latencies.clear();
    anyFault = FrameFault::None;
    faults.clear();
    canned.clear();
    received.clear();
}

QByteArray EmulatedStorage::buildFrame(quint8 code, const QByteArray &data, FrameFault fault) const
{
    QByteArray body = le16(quint16(data.size() + 1));
    body.append(char(code));
    body.append(data);
    const quint16 crc = crc16(body);
    QByteArray frame;
    frame.append(char(0x04));
    frame.append(body);
    frame.append(le16(crc));
    switch (fault) {
    case FrameFault::None:
        break;
    case FrameFault::BadChecksum:
        frame[frame.size() - 2] = char(~quint8(frame.at(frame.size() - 2)));
        frame[frame.size() - 1] = char(~quint8(frame.at(frame.size() - 1)));
        break;
    case FrameFault::BadStartByte:
        frame[0] = char(0x05);
        break;
    case FrameFault::ShortFrame:
        frame.truncate(4);
        break;
    }
    return frame;
}

QByteArray EmulatedStorage::handleFrame(const QByteArray &frame, int *latency, bool *changed)
{
    *changed = false;
    int code = -1;
    Result result { AnswerUnknownCommand, QByteArray(), false };

    const bool framed = frame.size() > FrameOverhead && quint8(frame.at(0)) == 0x04
        && readLe16(frame, 1) + FrameOverhead == frame.size()
        && crc16(frame.mid(1, frame.size() - 3)) == readLe16(frame, frame.size() - 2);
    if (framed) {
        code = quint8(frame.at(3));
        const QByteArray data = frame.mid(4, frame.size() - 6);
        received.append(Command { quint8(code), data });
        const auto cannedIt = canned.constFind(code);
        if (cannedIt != canned.constEnd())
            result = Result { cannedIt->code, cannedIt->data, false };
        else
            result = execute(quint8(code), data);
    }

    *changed = result.changed;
    *latency = latencies.value(code, defaultLatency);
    return buildFrame(result.code, result.data, faults.value(code, anyFault));
}

EmulatedStorage::Result EmulatedStorage::execute(quint8 code, const QByteArray &data)
{
    switch (code) {
    case 0x30:
        return { AnswerOk, statusData(), false };
    case 0x31:
        return { AnswerOk, serial, false };
    case 0x32: {
        QByteArray out;
        if (life.expiration.isValid()) {
            out.append(char(life.expiration.year() - 2000));
            out.append(char(life.expiration.month()));
            out.append(char(life.expiration.day()));
        } else {
            out.append(QByteArray(3, '\0'));
        }
        out.append(char(life.available));
        out.append(char(life.completed));
        return { AnswerOk, out, false };
    }
    case 0x33:
        return { AnswerOk,
            padded(version, 16, '\0') + QByteArray(1, kind == StorageKind::Mgm ? 0 : 1), false };
    case 0x20:
        return { AnswerOk, transportData(), false };

    case 0x02: { // open a registration or re-registration report
        if (data.size() != 1 || quint8(data.at(0)) > 2)
            return { AnswerBadParameters, {}, false };
        const quint8 reportKind = quint8(data.at(0));
        if (openDocType != 0)
            return { AnswerWrongState, {}, false };
        if ((reportKind == 0 && phase != PhaseReadiness)
            || (reportKind != 0 && phase != PhaseFiscalMode))
            return { AnswerWrongState, {}, false };
        static const quint8 types[3] = { 0x01, 0x12, 0x13 };
        openDocType = types[reportKind];
        documentHasData = false;
        tlvs.clear();
        return { AnswerOk, {}, true };
    }
    case 0x07: { // TLV data for the open report
        if (openDocType == 0)
            return { AnswerWrongState, {}, false };
        if (!splitTlvs(data, nullptr))
            return { AnswerBadParameters, {}, false };
        int size = FixedDocumentPart + data.size();
        for (const QByteArray &item : qAsConst(tlvs))
            size += item.size();
        if (size > MaxDocumentSize)
            return { AnswerTooMuchData, {}, false };
        tlvs.append(data);
        documentHasData = true;
        return { AnswerOk, {}, true };
    }
    case 0x03:
        return closeReport(data);
    case 0x06: // cancel the open document, if any
        openDocType = 0;
        documentHasData = false;
        tlvs.clear();
        return { AnswerOk, {}, true };

    case 0x21:
        if (data.size() != 1)
            return { AnswerBadParameters, {}, false };
        connected = data.at(0) != 0;
        return { AnswerOk, {}, true };
    case 0x22: { // begin reading the oldest unconfirmed document
        const int index = oldestUnconfirmed();
        if (index < 0)
            return { AnswerNoData, {}, false };
        reading = true;
        messageRead = false;
        return { AnswerOk, le16(quint16(docs.at(index).body.size())), true };
    }
    case 0x23: {
        if (!reading)
            return { AnswerWrongState, {}, false };
        const int index = oldestUnconfirmed();
        if (data.size() != 4 || index < 0)
            return { AnswerBadParameters, {}, false };
        const int offset = readLe16(data, 0);
        const int size = readLe16(data, 2);
        const QByteArray &body = docs.at(index).body;
        if (size == 0 || offset + size > body.size())
            return { AnswerBadParameters, {}, false };
        return { AnswerOk, body.mid(offset, size), false };
    }
    case 0x24:
        reading = false;
        messageRead = false;
        return { AnswerOk, {}, true };
    case 0x25:
        if (!reading)
            return { AnswerWrongState, {}, false };
        reading = false;
        messageRead = true;
        return { AnswerOk, {}, true };
    case 0x26:
        return takeReceipt(data);
    case 0x60:
        return eraseMgm(data);
    default:
        return { AnswerUnknownCommand, {}, false };
    }
}

EmulatedStorage::Result EmulatedStorage::closeReport(const QByteArray &data)
{
    if (openDocType != 0x01 && openDocType != 0x12 && openDocType != 0x13)
        return { AnswerWrongState, {}, false };
    // date-time (5), INN (12), registration number (20), taxes, work mode[, one more byte]
    if (data.size() != 39 && data.size() != 40)
        return { AnswerBadParameters, {}, false };
    const QByteArray dtBytes = data.left(5);
    const QDateTime dt = dateTimeFromBytes(dtBytes);
    if (!dt.isValid())
        return { AnswerBadDateTime, {}, false };

    const bool registration = openDocType == 0x01;
    const Document doc = closeDocument(dt, dtBytes, data.mid(5, 12), data.mid(17, 20),
        quint8(data.at(37)), quint8(data.at(38)), false);
    if (registration)
        phase = PhaseFiscalMode;
    return { AnswerOk, le32(doc.number) + le32(doc.fiscalSign), true };
}

Document EmulatedStorage::closeDocument(const QDateTime &dt, const QByteArray &dtBytes,
    const QByteArray &inn, const QByteArray &regNumber, quint8 taxes, quint8 workMode,
    bool confirmed)
{
    Document doc;
    doc.number = lastDocNumber + 1;
    doc.dateTime = dt;
    doc.confirmed = confirmed;
    doc.fiscalSign = fnv1a(serial + le32(doc.number) + dtBytes);
    if (doc.fiscalSign == 0)
        doc.fiscalSign = 1;

    QByteArray inner;
    inner += makeTlv(TagDocumentNumber, le32(doc.number));
    inner += makeTlv(TagStorageNumber, serial);
    inner += makeTlv(TagFiscalSign, le32(doc.fiscalSign));
    inner += makeTlv(TagDateTime, le32(quint32(dt.toSecsSinceEpoch())));
    inner += makeTlv(TagUserInn, inn);
    inner += makeTlv(TagRegNumber, regNumber);
    inner += makeTlv(TagTaxes, QByteArray(1, char(taxes)));
    for (int bit = 0; bit < 6; ++bit)
        inner += makeTlv(WorkModeTags[bit], QByteArray(1, char((workMode >> bit) & 1)));
    for (const QByteArray &item : qAsConst(tlvs))
        inner += item;
    doc.body
        = makeTlv(openDocType == 0x01 ? TagRegistrationReport : TagReregistrationReport, inner);

    docs.append(doc);
    lastDocNumber = doc.number;
    lastDocDt = dt;
    if (life.available > 0)
        --life.available;
    if (life.completed < 0xFF)
        ++life.completed;
    openDocType = 0;
    documentHasData = false;
    return doc;
}

EmulatedStorage::Result EmulatedStorage::takeReceipt(const QByteArray &data)
{
    const int index = oldestUnconfirmed();
    if (index < 0)
        return { AnswerNoData, {}, false };

    QList<QPair<quint16, QByteArray>> items;
    if (!splitTlvs(data, &items))
        return { AnswerBadParameters, {}, false };
    QByteArray storageNumber;
    QByteArray docNumber;
    bool haveStorage = false;
    bool haveNumber = false;
    for (const auto &item : qAsConst(items)) {
        if (item.first == TagStorageNumber && !haveStorage) {
            storageNumber = item.second;
            haveStorage = true;
        } else if (item.first == TagDocumentNumber && !haveNumber) {
            docNumber = item.second;
            haveNumber = true;
        }
    }
    if (!haveStorage || !haveNumber || docNumber.size() != 4 || storageNumber != serial)
        return { AnswerBadParameters, {}, false };

    const quint32 number = readLe32(docNumber, 0);
    if (number == docs.at(index).number) {
        docs[index].confirmed = true;
        reading = false;
        messageRead = false;
        return { AnswerOk, {}, true };
    }
    for (const Document &doc : qAsConst(docs)) {
        if (doc.number == number && doc.confirmed)
            return { AnswerTicketTaken, {}, false };
    }
    return { AnswerBadParameters, {}, false };
}

EmulatedStorage::Result EmulatedStorage::eraseMgm(const QByteArray &data)
{
    if (kind != StorageKind::Mgm)
        return { AnswerUnknownCommand, {}, false };
    if (data.size() != 1)
        return { AnswerBadParameters, {}, false };
    phase = PhaseReadiness;
    lastDocNumber = 0;
    lastDocDt = QDateTime();
    openDocType = 0;
    documentHasData = false;
    tlvs.clear();
    docs.clear();
    connected = false;
    reading = false;
    messageRead = false;
    life.available = quint8(qMin(0xFF, life.available + life.completed));
    life.completed = 0;
    return { AnswerOk, {}, true };
}

QByteArray EmulatedStorage::statusData() const
{
    QByteArray out;
    out.append(char(phase));
    out.append(char(openDocType));
    out.append(char(documentHasData ? 1 : 0));
    out.append(char(0)); // no shift is ever open
    out.append(char(0)); // no warnings
    out.append(dateTimeBytes(lastDocDt));
    out.append(padded(serial, 16, ' '));
    out.append(le32(lastDocNumber));
    return out;
}

QByteArray EmulatedStorage::transportData() const
{
    const int index = oldestUnconfirmed();
    quint8 flags = connected ? 0x01 : 0x00;
    if (index >= 0)
        flags |= 0x02;
    if (index >= 0 && messageRead)
        flags |= 0x04;
    QByteArray out;
    out.append(char(flags));
    out.append(char(reading ? 1 : 0));
    out.append(le16(quint16(qMin(unconfirmedCount(), 0xFFFF))));
    out.append(le32(index >= 0 ? docs.at(index).number : 0));
    out.append(index >= 0 ? dateTimeBytes(docs.at(index).dateTime) : QByteArray(5, '\0'));
    return out;
}

int EmulatedStorage::oldestUnconfirmed() const
{
    for (int i = 0; i < docs.size(); ++i) {
        if (!docs.at(i).confirmed)
            return i;
    }
    return -1;
}

int EmulatedStorage::unconfirmedCount() const
{
    int count = 0;
    for (const Document &doc : docs)
        count += doc.confirmed ? 0 : 1;
    return count;
}

bool EmulatedStorage::registerDirectly(
    const Registration &registration, bool confirmed, Document *created)
{
    if (phase != PhaseReadiness || openDocType != 0)
        return false;
    const QDateTime dt = registration.dateTime.toUTC();
    const QByteArray dtBytes = dateTimeBytes(dt);
    const QDateTime whole = dateTimeFromBytes(dtBytes);
    if (!whole.isValid())
        return false;
    openDocType = 0x01;
    tlvs = registration.tlvs;
    const Document doc = closeDocument(whole, dtBytes, padded(registration.inn, 12, ' '),
        padded(registration.regNumber, 20, ' '), registration.taxes, registration.workMode,
        confirmed);
    phase = PhaseFiscalMode;
    if (created)
        *created = doc;
    return true;
}

// ---- State file ---------------------------------------------------------------

QJsonObject EmulatedStorage::toJson() const
{
    QJsonArray tlvArray;
    for (const QByteArray &item : tlvs)
        tlvArray.append(QString::fromLatin1(item.toHex()));
    QJsonArray docArray;
    for (const Document &doc : docs) {
        docArray.append(QJsonObject {
            { "number", double(doc.number) },
            { "fiscalSign", double(doc.fiscalSign) },
            { "dateTime", doc.dateTime.toUTC().toString(Qt::ISODate) },
            { "body", QString::fromLatin1(doc.body.toHex()) },
            { "confirmed", doc.confirmed },
        });
    }
    return QJsonObject {
        { "kind", kind == StorageKind::Mgm ? "mgm" : "fs" },
        { "serial", QString::fromLatin1(serial) },
        { "version", QString::fromLatin1(version) },
        { "phase", int(phase) },
        { "expiration",
            life.expiration.isValid() ? life.expiration.toString(Qt::ISODate) : QString() },
        { "registrationsLeft", int(life.available) },
        { "registrationsMade", int(life.completed) },
        { "lastDocumentNumber", double(lastDocNumber) },
        { "lastDocumentTime",
            lastDocDt.isValid() ? lastDocDt.toUTC().toString(Qt::ISODate) : QString() },
        { "openDocumentType", int(openDocType) },
        { "documentHasData", documentHasData },
        { "tlvs", tlvArray },
        { "documents", docArray },
        { "transportConnected", connected },
        { "messageReading", reading },
        { "messageRead", messageRead },
    };
}

bool EmulatedStorage::fromJson(const QJsonObject &object)
{
    const QString kindText = object.value("kind").toString();
    const QByteArray serialText = object.value("serial").toString().toLatin1();
    if ((kindText != "mgm" && kindText != "fs") || serialText.isEmpty())
        return false;

    QList<Document> newDocs;
    const QJsonArray docArray = object.value("documents").toArray();
    for (const QJsonValue &value : docArray) {
        const QJsonObject o = value.toObject();
        Document doc;
        doc.number = quint32(o.value("number").toDouble());
        doc.fiscalSign = quint32(o.value("fiscalSign").toDouble());
        doc.dateTime = QDateTime::fromString(o.value("dateTime").toString(), Qt::ISODate).toUTC();
        doc.body = QByteArray::fromHex(o.value("body").toString().toLatin1());
        doc.confirmed = o.value("confirmed").toBool();
        newDocs.append(doc);
    }
    QList<QByteArray> newTlvs;
    const QJsonArray tlvArray = object.value("tlvs").toArray();
    for (const QJsonValue &value : tlvArray)
        newTlvs.append(QByteArray::fromHex(value.toString().toLatin1()));

    kind = kindText == "mgm" ? StorageKind::Mgm : StorageKind::FiscalStorage;
    serial = padded(serialText, 16, ' ');
    version = object.value("version").toString().toLatin1();
    phase = quint8(object.value("phase").toInt(PhaseReadiness));
    life.expiration = QDate::fromString(object.value("expiration").toString(), Qt::ISODate);
    life.available = quint8(object.value("registrationsLeft").toInt());
    life.completed = quint8(object.value("registrationsMade").toInt());
    lastDocNumber = quint32(object.value("lastDocumentNumber").toDouble());
    const QString lastTime = object.value("lastDocumentTime").toString();
    lastDocDt
        = lastTime.isEmpty() ? QDateTime() : QDateTime::fromString(lastTime, Qt::ISODate).toUTC();
    openDocType = quint8(object.value("openDocumentType").toInt());
    documentHasData = object.value("documentHasData").toBool();
    tlvs = newTlvs;
    docs = newDocs;
    connected = object.value("transportConnected").toBool();
    reading = object.value("messageReading").toBool();
    messageRead = object.value("messageRead").toBool();
    return true;
}

} // namespace usbemu
