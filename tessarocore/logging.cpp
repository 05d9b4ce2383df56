#include "tessarocore/logging.h"

#include <QJsonDocument>
#include <QTextCodec>

namespace tessaro {

logbinary::logbinary(const QByteArray &data, const QByteArray &codecName)
    : m_data(data)
    , m_codec(codecName)
{
}

QString logbinary::toString() const
{
    QString text;
    if (QTextCodec *codec = QTextCodec::codecForName(m_codec)) {
        const QString decoded = codec->toUnicode(m_data);
        text.reserve(decoded.size());
        for (const QChar c : decoded)
            text.append(c.isPrint() && c != QChar::ReplacementCharacter ? c : QChar(QLatin1Char('.')));
    }
    return QStringLiteral("[%1] %2 |%3|")
        .arg(m_data.size())
        .arg(QString::fromLatin1(m_data.toHex(' ')), text);
}

logvariant::logvariant(const QVariant &value)
    : m_value(value)
{
}

QString logvariant::toString() const
{
    const int type = m_value.userType();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList
        || type == QMetaType::QVariantHash || type == QMetaType::QStringList) {
        return QString::fromUtf8(QJsonDocument::fromVariant(m_value).toJson(QJsonDocument::Compact));
    }
    if (!m_value.isValid())
        return QStringLiteral("<invalid>");
    return m_value.toString();
}

QTextStream &logtab(QTextStream &stream)
{
    return stream << '\t';
}

QDebug operator<<(QDebug debug, const logbinary &value)
{
    QDebugStateSaver saver(debug);
    debug.noquote() << value.toString();
    return debug;
}

QDebug operator<<(QDebug debug, const logvariant &value)
{
    QDebugStateSaver saver(debug);
    debug.noquote() << value.toString();
    return debug;
}

} // namespace tessaro
