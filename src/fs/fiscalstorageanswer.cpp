#include "fs/fiscalstorageanswer.h"

#include "fs/fsstate.h"

#include <QTextCodec>

namespace {

QTextCodec *cp866()
{
    static QTextCodec *codec = QTextCodec::codecForName("cp866");
    return codec;
}

// Storage text in CP866. The codec opens a converter for every call, which
// costs more than the few bytes of a status answer: it converts all 256 bytes
// once, and each byte of a text is looked up (one character per byte).
QString fromCp866(const QByteArray &bytes)
{
    static const QString characters = [] {
        QByteArray all(256, Qt::Uninitialized);
        for (int byte = 0; byte < 256; ++byte)
            all[byte] = char(byte);
        const QString decoded = cp866()->toUnicode(all);
        return decoded.size() == 256 ? decoded : QString();
    }();
    if (characters.isEmpty())
        return cp866()->toUnicode(bytes);
    QString text(bytes.size(), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        text[i] = characters.at(quint8(bytes.at(i)));
    return text;
}

int signedAt(const QByteArray &data, int i)
{
    return int(qint8(data.at(i)));
}

quint32 uint32At(const QByteArray &data, int i)
{
    return quint32(quint8(data.at(i))) | (quint32(quint8(data.at(i + 1))) << 8)
        | (quint32(quint8(data.at(i + 2))) << 16) | (quint32(quint8(data.at(i + 3))) << 24);
}

quint16 uint16At(const QByteArray &data, int i)
{
    return quint16(quint8(data.at(i)) | (quint8(data.at(i + 1)) << 8));
}

// Date from three bytes, time from the next two (seconds 0), all signed.
QDateTime dateTimeAt(const QByteArray &data, int i)
{
    return fsDateTime(QDate(2000 + signedAt(data, i), signedAt(data, i + 1), signedAt(data, i + 2)),
                      QTime(signedAt(data, i + 3), signedAt(data, i + 4), 0));
}

} // namespace

FiscalStorageAnswer::FiscalStorageAnswer() = default;

quint8 FiscalStorageAnswer::fromByteArray(const QByteArray &frame)
{
    m_frameResult = FiscalStorageMsg::fromByteArray(frame);
    return m_frameResult;
}

bool FiscalStorageAnswer::isValid() const
{
    return m_frameResult == FrameOk && mapAnswerCode(m_code) != UnknownError;
}

quint8 FiscalStorageAnswer::fsError() const
{
    return mapAnswerCode(m_code);
}

quint8 FiscalStorageAnswer::mapAnswerCode(quint8 code)
{
    const quint8 value = code & 0x7F;
    if (value <= 0x12 || (value >= 0x14 && value <= 0x17) || value == 0x20)
        return value;
    return UnknownError;
}

// 0x30 data, 30 bytes: phase, document type, document has data, shift open,
// warnings, last document date-time (5), storage number (16, CP866),
// last document number (4).
quint8 FiscalStorageAnswer::decodeStatus(FsState &state) const
{
    state.resetStatus();
    if (m_frameResult != FrameOk)
        return m_frameResult;
    if (m_data.size() != 30)
        return DataMismatch;

    state.setPhase(quint8(m_data.at(0)));
    state.setOpenedDocType(quint8(m_data.at(1)));
    state.setHasDocumentData(m_data.at(2) == 1);
    state.setCycleIsOpen(m_data.at(3) == 1);
    state.setWarnings(quint8(m_data.at(4)));
    state.setLastDocDt(dateTimeAt(m_data, 5));
    state.setFsNumber(fromCp866(m_data.mid(10, 16)));
    state.setLastDocNumber(uint32At(m_data, 26));
    return state.isValid() ? FrameOk : DataMismatch;
}

// 0x31 data: the storage number, 16 bytes CP866.
quint8 FiscalStorageAnswer::decodeNumber(FsState &state) const
{
    if (m_frameResult != FrameOk)
        return m_frameResult;
    state.setFsNumber(QString());
    if (m_data.size() != 16)
        return DataMismatch;
    state.setFsNumber(fromCp866(m_data));
    return FrameOk;
}

// 0x32 data, 5 bytes: expiration date (3), registrations left, registrations made.
quint8 FiscalStorageAnswer::decodeLifeTime(FsState &state) const
{
    if (m_frameResult != FrameOk)
        return m_frameResult;
    if (m_data.size() != 5)
        return DataMismatch;

    const FsLifeTime lifeTime(QDate(2000 + quint8(m_data.at(0)), signedAt(m_data, 1), signedAt(m_data, 2)),
                              quint8(m_data.at(3)), quint8(m_data.at(4)));
    if (!lifeTime.isAcceptable())
        return DataMismatch;
    state.setLifeTime(lifeTime);
    return FrameOk;
}

// 0x33 data, 17 bytes: version text (16, control bytes dropped), then the
// software kind, 0 for a debug build (an MGM).
quint8 FiscalStorageAnswer::decodeVersion(FsState &state) const
{
    state.setFsVersion(QString());
    state.setDebugMode(false);
    if (m_frameResult != FrameOk)
        return m_frameResult;
    if (m_data.size() != 17)
        return DataMismatch;

    QByteArray text;
    for (int i = 0; i < 16; ++i) {
        if (signedAt(m_data, i) >= 0x20)
            text.append(m_data.at(i));
    }
    state.setFsVersion(fromCp866(text));
    state.setDebugMode(m_data.at(16) == 0);
    return FrameOk;
}

// 0x20 data, 13 bytes: exchange state, reading begun, unconfirmed documents (2),
// first unconfirmed document number (4) and its date-time (5).
quint8 FiscalStorageAnswer::decodeTransport(FsTransportState &transport) const
{
    transport = FsTransportState();
    if (m_frameResult != FrameOk)
        return m_frameResult;
    if (m_data.size() != 13)
        return DataMismatch;

    transport.setState(quint8(m_data.at(0)));
    transport.setDocIsReading(m_data.at(1) != 0);
    transport.setOfflineDocsCount(uint16At(m_data, 2));
    transport.setFirstDocNumber(uint32At(m_data, 4));
    transport.setFirstDocDt(dateTimeAt(m_data, 8));
    return transport.isValid() ? FrameOk : DataMismatch;
}
