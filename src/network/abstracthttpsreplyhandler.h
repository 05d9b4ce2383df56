#ifndef ABSTRACTHTTPSREPLYHANDLER_H
#define ABSTRACTHTTPSREPLYHANDLER_H

#include <QObject>
#include <QVariant>
#include <QVariantMap>

class QNetworkReply;

// Decodes one reply of the processing server. The answer body is JSON,
// gzip-compressed when the reply says "Content-Encoding: gzip". An answer
// object that holds the key "result" is the server's error report; every
// other answer is data for handleData(). Failures end in the error map
// ("result", "resultDescription") and the error signal.
class AbstractHttpsReplyHandler : public QObject
{
    Q_OBJECT
public:
    explicit AbstractHttpsReplyHandler(QObject *parent = nullptr);

    // Decodes the finished reply; true when the data was accepted.
    virtual bool prepareReply(QNetworkReply *reply);
    // Takes the decoded answer; url is the request's URL as logged.
    virtual bool handleData(const QVariant &data, const QString &url) = 0;

    QVariantMap errorMap() const { return m_errorMap; }

signals:
    void error(QVariantMap err);

protected:
    // Sets "result" and "resultDescription" (other keys are kept) and logs
    // them; the caller emits error() itself.
    void prepareError(qint32 code, const QString &msg, const QString &url);

    QVariantMap m_errorMap;
};

#endif // ABSTRACTHTTPSREPLYHANDLER_H
