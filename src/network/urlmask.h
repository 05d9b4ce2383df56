#ifndef URLMASK_H
#define URLMASK_H

#include <QString>
#include <QUrl>

// Helpers that keep secrets out of the log: the value of every query item
// named "password" is shown as a fixed mask. The request itself is unchanged.
namespace UrlMask {

extern const QString Mask;

// The URL as text, with each "password" query value replaced by the mask.
QString maskedUrl(const QUrl &url);

// The text with every spelling of url in it replaced by maskedUrl(url), for
// messages that quote the URL (Qt's reply error strings do).
QString maskSecrets(const QString &text, const QUrl &url);

// A query value percent-encoded in full, so that '+', '&', '=', '#' and '%'
// in it reach the server as the characters they are.
QString encodeQueryValue(const QString &value);

} // namespace UrlMask

#endif // URLMASK_H
