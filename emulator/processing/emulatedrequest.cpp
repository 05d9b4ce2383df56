#include "emulatedrequest.h"

namespace {
QString formDecode(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}
} // namespace

bool EmulatedRequest::parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return false;
    m_method = requestLine.at(0);
    const QByteArray target = requestLine.at(1);
    if (!target.startsWith('/'))
        return false;

    const int mark = target.indexOf('?');
    m_path = QString::fromUtf8(
        QByteArray::fromPercentEncoding(target.left(mark < 0 ? target.size() : mark)));
    m_query.clear();
    if (mark >= 0) {
        const QList<QByteArray> items = target.mid(mark + 1).split('&');
        for (const QByteArray &item : items) {
            if (item.isEmpty())
                continue;
            const int eq = item.indexOf('=');
            if (eq < 0)
                m_query.append({ formDecode(item), QString() });
            else
                m_query.append({ formDecode(item.left(eq)), formDecode(item.mid(eq + 1)) });
        }
    }

    m_headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (m_headers.contains(name))
            m_headers[name] += ", " + value;
        else
            m_headers.insert(name, value);
    }
    return true;
}

QString EmulatedRequest::queryValue(const QString &key) const
{
    for (const auto &item : m_query) {
        if (item.first == key)
            return item.second;
    }
    return QString();
}

bool EmulatedRequest::hasQueryItem(const QString &key) const
{
    for (const auto &item : m_query) {
        if (item.first == key)
            return true;
    }
    return false;
}

QByteArray EmulatedRequest::header(const QByteArray &name) const
{
    return m_headers.value(name.toLower());
}

bool EmulatedRequest::hasHeader(const QByteArray &name) const
{
    return m_headers.contains(name.toLower());
}

qint64 EmulatedRequest::contentLength() const
{
    if (!hasHeader("content-length"))
        return 0;
    bool ok = false;
    const qint64 length = header("content-length").toLongLong(&ok);
    return ok && length >= 0 ? length : -1;
}

QMap<QByteArray, QByteArray> EmulatedRequest::cookies() const
{
    QMap<QByteArray, QByteArray> result;
    const QList<QByteArray> pairs = header("cookie").split(';');
    for (const QByteArray &pair : pairs) {
        const int eq = pair.indexOf('=');
        if (eq > 0)
            result.insert(pair.left(eq).trimmed(), pair.mid(eq + 1).trimmed());
    }
    return result;
}
