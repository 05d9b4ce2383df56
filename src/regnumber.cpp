#include "regnumber.h"

#include "common/crc16.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace {

constexpr int OrderLength = 10;
constexpr int CheckLength = 6;
constexpr int RegNumberLength = OrderLength + CheckLength;
constexpr int SerialWidth = 20;
constexpr int CheckStringLength = OrderLength + 12 + SerialWidth;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(const QByteArray &text)
{
    for (const char c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// c[i] is the value of the i-th digit; weights apply to the leading digits.
template <int N> int weightedCheckDigit(const QByteArray &digits, const int (&weights)[N])
{
    int sum = 0;
    for (int i = 0; i < N; ++i)
        sum += weights[i] * (digits.at(i) - '0');
    return sum % 11 % 10;
}

// order(10) | INN(12) | serial(20): the text whose CRC is the check value.
QByteArray checkString(const QByteArray &order, qint64 serial, const QByteArray &inn)
{
    QByteArray text = order.rightJustified(OrderLength, '0');
    if (inn.size() == 10)
        text += "00";
    text += inn;
    text += QString::fromLatin1("%1")
                .arg(qlonglong(serial), SerialWidth, 10, QLatin1Char('0'))
                .toLatin1();
    return text;
}

} // namespace

bool isInnValid(const QByteArray &inn)
{
    if (!allDigits(inn))
        return false;

    if (inn.size() == 10) {
        static const int weights[] = { 2, 4, 10, 3, 5, 9, 4, 6, 8 };
        return weightedCheckDigit(inn, weights) == inn.at(9) - '0';
    }
    if (inn.size() == 12) {
        static const int first[] = { 7, 2, 4, 10, 3, 5, 9, 4, 6, 8 };
        if (weightedCheckDigit(inn, first) != inn.at(10) - '0')
            return false;
        static const int second[] = { 3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8 };
        return weightedCheckDigit(inn, second) == inn.at(11) - '0';
    }
    return false;
}

QByteArray makeRegNumber(const QByteArray &orderNumber, qint64 serial, const QByteArray &inn)
{
    if (!isInnValid(inn) || orderNumber.size() > OrderLength || !allDigits(orderNumber))
        return QByteArray();

    const QByteArray text = checkString(orderNumber, serial, inn);
    const quint16 check = Crc16::checksum(text);
    return text.left(OrderLength) + QByteArray::number(check).rightJustified(CheckLength, '0');
}

bool isRegNumberValid(const QByteArray &regNumber, qint64 serial, const QByteArray &inn)
{
    if (regNumber.size() != RegNumberLength || !allDigits(regNumber))
        return false;
    if (!isInnValid(inn))
        return false;

    bool ok = false;
    const uint number = regNumber.right(CheckLength).toUInt(&ok, 10);
    if (!ok)
        return false;

    const QByteArray text = checkString(regNumber.left(OrderLength), serial, inn);
    if (text.size() != CheckStringLength)
        return false;
    // The check value is 16 bits wide: the six digits count modulo 65536.
    return Crc16::checksum(text) == quint16(number);
}

qint64 regNumberSerial(const QString &serialText)
{
    bool ok = false;
    const qlonglong serial = serialText.toLongLong(&ok, 10);
    return ok ? serial : 0;
}

std::optional<QByteArray> randomRegNumber(const QString &serialText, const QString &userInnText)
{
    QRandomGenerator generator(static_cast<quint32>(QDateTime::currentSecsSinceEpoch()));
    return randomRegNumber(generator, serialText, userInnText);
}

std::optional<QByteArray> randomRegNumber(
    QRandomGenerator &generator, const QString &serialText, const QString &userInnText)
{
    const QString serial = serialText.trimmed();
    if (serial.isEmpty())
        return std::nullopt;

    const QByteArray order = QByteArray::number(generator.generate());
    return makeRegNumber(order, regNumberSerial(serial), userInnText.toLatin1());
}
