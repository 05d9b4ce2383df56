#include "registrationparams.h"

#include "regnumber.h"

#include <QStringList>
#include <QTextCodec>

#include <array>
#include <limits>

namespace {

// FFD 1.05 tags of the registration report.
enum Tag : quint16
{
    TagPaymentAddress = 1009,
    TagSerial = 1013,
    TagOfdInn = 1017,
    TagCashier = 1021,
    TagAtmNumber = 1036,
    TagOfdName = 1046,
    TagUserName = 1048,
    TagAgentFlags = 1057,
    TagFnsSite = 1060,
    TagEmail = 1117,
    TagLotteries = 1126,
    TagPaymentPlace = 1187,
    TagKktVersion = 1188,
    TagKktFfdVersion = 1189,
    TagGames = 1193,
    TagCashierInn = 1203,
    TagExcisableGoods = 1207,
    TagFfdVersion = 1209,
    TagExternPrinter = 1221,
};

// FFD version 1.05 as the storage codes it.
constexpr quint8 FfdVersion105 = 2;
constexpr int MaxTextLength = 256;
constexpr int MaxSerialLength = 20;
constexpr int MaxCashierLength = 64;
constexpr int MaxAtmLength = 20;
constexpr int MaxVersionLength = 8;
constexpr int MinEmailLength = 6;
constexpr int MaxEmailLength = 64;

QTextCodec *cp866()
{
    static QTextCodec *const codec = QTextCodec::codecForName("CP866");
    return codec;
}

// The bytes of the characters U+0000 to U+04FF that CP866 holds (ASCII, the
// Cyrillic letters, a few signs), -1 for the others. The codec opens a
// converter for every call, which costs more than converting a whole TLV
// text; so it converts all 256 bytes to characters and back once, and the
// table keeps the characters that come back as the byte they came from.
constexpr int Cp866TableSize = 0x500;

const std::array<qint16, Cp866TableSize> &cp866Bytes()
{
    static const std::array<qint16, Cp866TableSize> table = [] {
        std::array<qint16, Cp866TableSize> bytes;
        bytes.fill(-1);
        QTextCodec *codec = cp866();
        if (!codec)
            return bytes;
        QByteArray all(256, Qt::Uninitialized);
        for (int byte = 0; byte < 256; ++byte)
            all[byte] = char(byte);
        const QString characters = codec->toUnicode(all);
        const QByteArray back = codec->fromUnicode(characters);
        // A single-byte code page gives one character per byte and back.
        if (characters.size() != 256 || back.size() != 256)
            return bytes;
        for (int byte = 0; byte < 256; ++byte) {
            const ushort unicode = characters.at(byte).unicode();
            if (unicode < Cp866TableSize && back.at(byte) == all.at(byte))
                bytes[unicode] = qint16(byte);
        }
        return bytes;
    }();
    return table;
}

QByteArray toCp866(const QString &text)
{
    QTextCodec *codec = cp866();
    if (!codec)
        return text.toLatin1();
    const std::array<qint16, Cp866TableSize> &table = cp866Bytes();
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        const ushort unicode = text.at(i).unicode();
        const qint16 byte = unicode < Cp866TableSize ? table[unicode] : qint16(-1);
        // What the table lacks is the codec's to convert (and to replace).
        if (byte < 0)
            return codec->fromUnicode(text);
        bytes[i] = char(byte);
    }
    return bytes;
}

void appendLittleEndian(QByteArray &out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(i < 8 ? (value >> (8 * i)) & 0xFF : 0));
}

bool innPasses(const QString &inn) { return isInnValid(inn.trimmed().toLatin1()); }

} // namespace

RegistrationParams::RegistrationParams() = default;

bool RegistrationParams::validate(QString &errors) const
{
    errors.clear();
    QStringList messages;

    if (!hasRegFlag(automatMode) && m_regCashierName.isEmpty())
        messages << tr("Не заданы ФИО кассира");

    if (!hasRegFlag(offlineMode)) {
        if (!innPasses(m_ofdInn))
            messages << tr("Некорректный ИНН ОФД");
        if (m_fnsSite.isEmpty())
            messages << tr("Не задан сайт ФНС");
        const bool emailOk = m_email.size() >= MinEmailLength && m_email.contains(QLatin1Char('@'))
            && m_email.contains(QLatin1Char('.')) && m_email.size() <= MaxEmailLength;
        if (!emailOk)
            messages << tr("Некорректный адрес электронной почты отправителя");
        if (m_ofdName.isEmpty())
            messages << tr("Не задан ОФД");
    }

    if (m_paymentAddress.size() > MaxTextLength)
        messages << tr("Слишком длинный адрес расчетов");
    if (m_serial.isEmpty())
        messages << tr("Не задан ЗН ККТ");
    if (m_serial.size() > MaxSerialLength)
        messages << tr("Слишком длинный ЗН ККТ");
    if (!innPasses(m_userInn))
        messages << tr("Некорректный ИНН Пользователя");
    if (m_regCashierName.size() > MaxCashierLength)
        messages << tr("Слишком длинные данные кассира");
    if (m_atmNumber.size() > MaxAtmLength)
        messages << tr("Слишком длинный номер АТМ");
    if (!isRegNumberValid(m_regNumber.trimmed().toLatin1(), regNumberSerial(m_serial),
            m_userInn.trimmed().toLatin1()))
        messages << tr("Некорректный рег. номер");
    if (m_ofdName.size() > MaxTextLength)
        messages << tr("Слишком длинное наименование ОФД");
    if (m_userName.size() > MaxTextLength)
        messages << tr("Слишком длинное наименование пользователя");
    if (m_fnsSite.size() > MaxTextLength)
        messages << tr("Слишком длинный адрес сайта ФНС");
    if (m_paymentPlace.size() > MaxTextLength)
        messages << tr("Слишком длинное место расчетов");
    if (m_officialVersion.isEmpty() || m_officialVersion.size() > MaxVersionLength)
        messages << tr("Некорректная версия ККТ");
    if (!m_regCashierInn.isEmpty()) {
        // Twelve zeros stand for "no cashier INN".
        const bool ok = m_regCashierInn.startsWith(QLatin1String("000000000000"))
            || innPasses(m_regCashierInn);
        if (!ok)
            messages << tr("Некорректный ИНН кассира");
    }
    if (m_fdfVersion != FfdVersion105 || m_fSfDfVersion != FfdVersion105)
        messages << tr("Некорректная версия ФФД");

    for (int i = 0; i < messages.size(); ++i)
        messages[i] = QString::number(i + 1) + QLatin1String(". ") + messages.at(i);
    errors = messages.join(QLatin1Char('\n'));
    return messages.isEmpty();
}

QMap<quint16, QByteArray> RegistrationParams::toTlvMap() const
{
    QMap<quint16, QByteArray> tlvs;
    const QChar blank = QLatin1Char(' ');
    const auto put
        = [&tlvs, blank](quint16 tag, TlvKind kind, const QVariant &value, quint16 length,
              bool fixed) { tlvs.insert(tag, encodeTlv(tag, kind, value, length, fixed, blank)); };
    const bool automat = hasRegFlag(automatMode);
    const bool offline = hasRegFlag(offlineMode);

    put(TagExcisableGoods, TlvKind::Bool, hasRegFlag(excisableGoods), 1, true);
    put(TagGames, TlvKind::Bool, hasRegFlag(allowGames), 1, true);
    put(TagLotteries, TlvKind::Bool, hasRegFlag(allowLotteries), 1, true);
    if (automat)
        put(TagExternPrinter, TlvKind::Bool, hasRegFlag(externPrinter), 1, true);
    else
        put(TagExternPrinter, TlvKind::Bool, false, 1, false);
    if (automat && !m_atmNumber.trimmed().isEmpty())
        put(TagAtmNumber, TlvKind::String, m_atmNumber.trimmed(), 20, false);
    put(TagUserName, TlvKind::String, m_userName.trimmed(), 256, false);
    put(TagAgentFlags, TlvKind::UInt, uint(m_agentFlags & 0x7F), 1, true);
    put(TagSerial, TlvKind::String, m_serial.trimmed(), 20, false);
    if (!automat) {
        put(TagCashier, TlvKind::String, m_regCashierName.trimmed(), 64, false);
        const QString cashierInn = m_regCashierInn.trimmed();
        if (!cashierInn.isEmpty() && !cashierInn.startsWith(QLatin1String("0000000000")))
            put(TagCashierInn, TlvKind::String, cashierInn, 12, true);
    }
    put(TagPaymentAddress, TlvKind::String, m_paymentAddress.trimmed(), 256, false);
    put(TagPaymentPlace, TlvKind::String, m_paymentPlace.trimmed(), 256, false);
    put(TagKktVersion, TlvKind::String, m_officialVersion.trimmed(), 8, false);
    put(TagKktFfdVersion, TlvKind::UInt, uint(FfdVersion105), 1, true);
    put(TagFfdVersion, TlvKind::UInt, uint(FfdVersion105), 1, true);
    if (offline) {
        put(TagOfdInn, TlvKind::String, QStringLiteral("000000000000"), 12, true);
    } else {
        put(TagOfdInn, TlvKind::String, m_ofdInn.trimmed(), 12, true);
        put(TagOfdName, TlvKind::String, m_ofdName.trimmed(), 256, false);
        put(TagFnsSite, TlvKind::String, m_fnsSite.trimmed(), 256, false);
        put(TagEmail, TlvKind::String, m_email.trimmed(), 64, false);
    }
    return tlvs;
}

QByteArray RegistrationParams::encodeTlv(
    quint16 tag, TlvKind kind, const QVariant &value, quint16 length, bool fixedLength, QChar fill)
{
    QByteArray out;
    appendLittleEndian(out, tag, 2);

    switch (kind) {
    case TlvKind::String: {
        QByteArray text = toCp866(value.toString());
        if (fixedLength) {
            if (text.size() > length) {
                text.truncate(length);
            } else if (text.size() < length) {
                const QByteArray fillBytes = toCp866(QString(fill));
                const char fillByte = fillBytes.isEmpty() ? ' ' : fillBytes.at(0);
                text.append(QByteArray(length - text.size(), fillByte));
            }
        }
        // The length field is 16 bits: more would make a TLV whose header lies.
        if (text.size() > std::numeric_limits<quint16>::max())
            text.truncate(std::numeric_limits<quint16>::max());
        appendLittleEndian(out, quint64(text.size()), 2);
        out.append(text);
        break;
    }
    case TlvKind::UInt:
        appendLittleEndian(out, length, 2);
        appendLittleEndian(out, value.toULongLong(), length);
        break;
    case TlvKind::Bool:
        appendLittleEndian(out, 1, 2);
        out.append(char(value.toBool() ? 1 : 0));
        break;
    }
    return out;
}
