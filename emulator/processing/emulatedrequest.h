#ifndef EMULATEDREQUEST_H
#define EMULATEDREQUEST_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// One HTTP/1.1 request as the emulated server received it.
class EmulatedRequest
{
public:
    // Parses the head (request line and header lines, without the blank
    // line that ends it). False when it is not an HTTP/1.x request head.
    bool parseHead(const QByteArray &head);

    QByteArray method() const { return m_method; }
    // The path, percent-decoded.
    QString path() const { return m_path; }
    // The query items in the order sent, percent-decoded, '+' read as a
    // space as web servers do.
    QList<QPair<QString, QString>> queryItems() const { return m_query; }
    QString queryValue(const QString &key) const;
    bool hasQueryItem(const QString &key) const;
    // The header's value (name in any letter case); empty when absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
    QByteArray body() const { return m_body; }
    void setBody(const QByteArray &body) { m_body = body; }
    // The value that "Content-Length" announces; -1 when it is not a number.
    qint64 contentLength() const;
    // The cookies the request carries, name to value.
    QMap<QByteArray, QByteArray> cookies() const;

private:
    QByteArray m_method;
    QString m_path;
    QList<QPair<QString, QString>> m_query;
    QMap<QByteArray, QByteArray> m_headers; // names in lower case
    QByteArray m_body;
};

#endif // EMULATEDREQUEST_H
