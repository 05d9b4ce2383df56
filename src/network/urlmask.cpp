#include "network/urlmask.h"

#include <QUrlQuery>

namespace UrlMask {

const QString Mask = QStringLiteral("********");

namespace {
const QString PasswordKey = QStringLiteral("password");

QUrl maskedCopy(const QUrl &url)
{
    if (!url.hasQuery())
        return url;
    const QUrlQuery original(url);
    if (!original.hasQueryItem(PasswordKey))
        return url;
    QUrlQuery masked;
    const auto items = original.queryItems(QUrl::FullyEncoded);
    for (const auto &item : items)
        masked.addQueryItem(item.first, item.first == PasswordKey ? Mask : item.second);
    QUrl copy(url);
    copy.setQuery(masked);
    return copy;
}
} // namespace

QString maskedUrl(const QUrl &url) { return maskedCopy(url).toString(); }

QString maskSecrets(const QString &text, const QUrl &url)
{
    const QUrl masked = maskedCopy(url);
    if (masked == url)
        return text;
    QString result = text;
    const QUrl::FormattingOptions forms[] = { QUrl::PrettyDecoded, QUrl::FullyEncoded };
    for (const auto form : forms) {
        const QString spelled = url.toString(form);
        if (!spelled.isEmpty())
            result.replace(spelled, masked.toString(form));
    }
    const QString display = url.toDisplayString();
    if (!display.isEmpty())
        result.replace(display, masked.toDisplayString());
    return result;
}

QString encodeQueryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace UrlMask
