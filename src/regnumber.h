#ifndef REGNUMBER_H
#define REGNUMBER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

class QRandomGenerator;

// Taxpayer numbers (INN) and KKT registration numbers. All of them are handled
// as Latin-1 byte strings; the KKT serial number takes part as a signed 64-bit
// integer (a serial text that does not read as one counts as 0).
//
// A registration number is 16 decimal digits: the order number padded with
// "0" to 10 digits, then the check value, the CRC-16/CCITT-FALSE of the
// 42-byte string  order(10) | INN(12, a 10-digit INN preceded by "00") |
// serial(20, decimal, padded with "0")  written as 6 decimal digits.

// True for an INN of 10 or 12 digits whose check digits are right. Any
// character other than 0-9 makes the INN invalid.
bool isInnValid(const QByteArray &inn);

// The 16-digit registration number, or a null array when the INN is not
// valid or the order number is longer than 10 characters or holds a
// character other than a digit.
QByteArray makeRegNumber(const QByteArray &orderNumber, qint64 serial, const QByteArray &inn);

// True when regNumber is 16 digits, the INN is valid and the last six digits,
// taken modulo 65536, equal the check value of the first ten with this serial
// number and INN.
bool isRegNumberValid(const QByteArray &regNumber, qint64 serial, const QByteArray &inn);

// The serial number as the numbers above take it: the text read in base 10
// as a signed 64-bit integer, 0 when it does not read as one (for instance a
// value above 9223372036854775807).
qint64 regNumberSerial(const QString &serialText);

// The registration number of a test storage (MGM), made with a random order
// number, for the form's "РНМ" button:
//  - serialText empty after trimming: no value; the form leaves its field as it is;
//  - otherwise the number made from a random order number, serialText trimmed
//    and userInnText as typed (not trimmed: an INN with a blank at either end
//    is not valid), or a null array when it cannot be made; the form then
//    empties its field.
// This overload draws from a generator seeded with the current time in
// seconds since 1970-01-01 UTC.
std::optional<QByteArray> randomRegNumber(const QString &serialText, const QString &userInnText);
// The same step with the caller's generator: the order number is one
// generate() value written in decimal without padding (at most 10 digits).
std::optional<QByteArray> randomRegNumber(
    QRandomGenerator &generator, const QString &serialText, const QString &userInnText);

#endif // REGNUMBER_H
