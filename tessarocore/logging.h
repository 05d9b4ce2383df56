#ifndef TESSARO_LOGGING_H
#define TESSARO_LOGGING_H

#include <QByteArray>
#include <QDebug>
#include <QTextStream>
#include <QVariant>

namespace tessaro {

// Streams a byte string into a log line as a hex dump with its size and the
// printable text the bytes make in the given codec:
//   [6] 04 01 00 30 ff cd |...0..|
class logbinary
{
public:
    explicit logbinary(const QByteArray &data, const QByteArray &codecName = QByteArrayLiteral("UTF-8"));

    QByteArray data() const { return m_data; }
    QByteArray codecName() const { return m_codec; }
    QString toString() const;

private:
    QByteArray m_data;
    QByteArray m_codec;
};

// Streams a QVariant into a log line: maps and lists as compact JSON, other
// values as their text.
class logvariant
{
public:
    explicit logvariant(const QVariant &value);

    QString toString() const;

private:
    QVariant m_value;
};

// A manipulator that puts a tab between two items of a log line.
QTextStream &logtab(QTextStream &stream);

QDebug operator<<(QDebug debug, const logbinary &value);
QDebug operator<<(QDebug debug, const logvariant &value);

} // namespace tessaro

#endif // TESSARO_LOGGING_H
