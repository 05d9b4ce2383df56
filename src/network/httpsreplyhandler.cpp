#include "network/httpsreplyhandler.h"

HttpsReplyHandler::HttpsReplyHandler(QObject *parent)
    : AbstractHttpsReplyHandler(parent)
{ }

HttpsReplyHandler::HttpsReplyHandler(QVariant::Type expectedType, QObject *parent)
    : AbstractHttpsReplyHandler(parent)
    , m_expectedType(expectedType)
{ }

bool HttpsReplyHandler::handleData(const QVariant &data, const QString &url)
{
    if (data.isValid() && (m_expectedType == QVariant::Invalid || data.type() == m_expectedType)) {
        emit dataLoaded(data);
        return true;
    }
    const char *expectedName = QVariant::typeToName(m_expectedType);
    const QString text = QStringLiteral("Incorrect result type: %1. %2 expected")
                             .arg(QString::fromLatin1(data.typeName()),
                                 QString::fromLatin1(expectedName ? expectedName : ""));
    prepareError(-1, text, url);
    emit error(m_errorMap);
    return false;
}
