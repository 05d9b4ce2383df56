#ifndef HTTPSREPLYHANDLER_H
#define HTTPSREPLYHANDLER_H

#include "network/abstracthttpsreplyhandler.h"

// A reply handler that accepts data of one expected type (a JSON object by
// default; QVariant::Invalid accepts any) and hands it on with dataLoaded().
class HttpsReplyHandler : public AbstractHttpsReplyHandler
{
    Q_OBJECT
public:
    explicit HttpsReplyHandler(QObject *parent = nullptr);
    HttpsReplyHandler(QVariant::Type expectedType, QObject *parent = nullptr);

    QVariant::Type expectedType() const { return m_expectedType; }
    void setExpectedType(QVariant::Type type) { m_expectedType = type; }

    bool handleData(const QVariant &data, const QString &url) override;

signals:
    void dataLoaded(QVariant data);

private:
    QVariant::Type m_expectedType = QVariant::Map;
};

#endif // HTTPSREPLYHANDLER_H
