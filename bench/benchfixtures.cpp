#include "benchfixtures.h"

#include "fs/ofdinfo.h"
#include "regnumber.h"

#include <QString>

namespace benchfixtures {
namespace {

// Cyrillic text of exactly length characters (one CP866 byte each).
QString cyrillicText(int length)
{
    const QString words = QStringLiteral("ОБЩЕСТВО С ОГРАНИЧЕННОЙ ОТВЕТСТВЕННОСТЬЮ РОМАШКА ");
    QString text;
    while (text.size() < length)
        text += words;
    text.truncate(length);
    return text;
}

// A 12-digit taxpayer number with right check digits, made from its first ten.
QByteArray personalInn(const QByteArray &firstTen)
{
    for (int check = 0; check < 100; ++check) {
        const QByteArray inn = firstTen + QByteArray::number(check).rightJustified(2, '0');
        if (isInnValid(inn))
            return inn;
    }
    return QByteArray();
}

void appendLittleEndian(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
}

// CRC-16/CCITT-FALSE, bit by bit: the frame check value, made apart from Crc16.
quint16 frameCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint16(quint8(byte) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

} // namespace

RegistrationParams fullRecord()
{
    using P = RegistrationParams;
    const QString serial = QStringLiteral("00000000001234567890"); // 20 digits
    const QByteArray userInn = "7700001235";

    RegistrationParams params;
    params.setOfficialModel(17);
    params.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    params.setOfficialVersion(QStringLiteral("1.05.003"));
    params.setSerial(serial);
    params.setUserName(cyrillicText(256));
    params.setUserInn(QString::fromLatin1(userInn));
    params.setPaymentAddress(cyrillicText(256));
    params.setPaymentPlace(cyrillicText(256));
    params.setRegCashierName(cyrillicText(64));
    params.setRegCashierInn(QString::fromLatin1(personalInn("7707083893")));
    params.setFnsSite(
        QStringLiteral("https://www.nalog.gov.ru/").leftJustified(256, QLatin1Char('x')));
    params.setEmail(QStringLiteral("@kassa.example").rightJustified(64, QLatin1Char('r')));

    const QString ofdInn = QStringLiteral("7703282175");
    const OfdInfo *ofd = findOfdInfo(ofdInn);
    params.setOfdInn(ofdInn);
    params.setOfdName(ofd ? ofd->name() : QStringLiteral("ОФД"));

    params.setTaxes(0x3F);
    params.setAgentFlags(0x7F);
    params.setRegFlags(P::useEncryption | P::allowServices | P::makeBso | P::internetOnly
        | P::excisableGoods | P::allowGames | P::allowLotteries);
    params.setRegNumber(
        QString::fromLatin1(makeRegNumber("1234", regNumberSerial(serial), userInn)));
    return params;
}

RegistrationParams registeredRecord()
{
    RegistrationParams params = fullRecord();
    params.setFsNumber(QStringLiteral("9999078900004321"));
    params.setRegDate(registrationTime());
    params.setRegDocNumber(1);
    params.setFiscalCode(3141592653u);
    return params;
}

QByteArray tlv(quint16 tag, const QByteArray &value)
{
    QByteArray bytes;
    appendLittleEndian(bytes, tag, 2);
    appendLittleEndian(bytes, quint32(value.size()), 2);
    bytes.append(value);
    return bytes;
}

QByteArray ofdReceipt(const QByteArray &fsNumber, quint32 docNumber)
{
    QByteArray number;
    appendLittleEndian(number, docNumber, 4);
    QByteArray time;
    appendLittleEndian(time, quint32(registrationTime().toSecsSinceEpoch()), 4);
    return tlv(1041, fsNumber) + tlv(1040, number) + tlv(1012, time)
        + tlv(1078, QByteArray(18, '\x5A'));
}

QByteArray storageFrame(quint8 code, const QByteArray &data)
{
    QByteArray body;
    appendLittleEndian(body, quint32(data.size() + 1), 2); // length: code byte + data
    body.append(char(code));
    body.append(data);
    QByteArray frame(1, '\x04');
    frame.append(body);
    appendLittleEndian(frame, frameCrc(body), 2);
    return frame;
}

QByteArray statusAnswerData()
{
    QByteArray data;
    data.append(char(0x01)); // phase: ready to be registered
    data.append(char(0x00)); // no open document
    data.append(char(0x00)); // no document data
    data.append(char(0x00)); // no shift open
    data.append(char(0x00)); // no warnings
    data.append(QByteArray::fromHex("180305"
                                    "0e07")); // 2024-03-05 14:07
    data.append("9999078900004321");
    appendLittleEndian(data, 0, 4); // last document number
    return data;
}

QByteArray patternBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + 7) & 0xFF);
    return bytes;
}

QDateTime registrationTime() { return QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC); }

} // namespace benchfixtures
