#include "mgr/loginhttpshandler.h"

#include "network/httperrorcode.h"

LoginHttpsHandler::LoginHttpsHandler(AppSession::SessionType type, QObject *parent)
    : AbstractHttpsReplyHandler(parent)
    , m_type(type)
{ }

bool LoginHttpsHandler::handleData(const QVariant &data, const QString &url)
{
    if (data.type() != QVariant::Map)
        return false;

    const QVariantMap answer = data.toMap();
    const QVariant idSession = answer.value(QStringLiteral("idSession"));
    if (idSession.type() != QVariant::String) {
        prepareError(NotAuthorized, tr("User is not autorized"), url);
        emit error(m_errorMap);
        return false;
    }
    if (!idSession.toString().isEmpty()) {
        emit loginSuccess(answer);
        return true;
    }

    auto isTrue = [&answer](const char *key) {
        const QVariant flag = answer.value(QLatin1String(key));
        return flag.type() == QVariant::Bool && flag.toBool();
    };
    if (isTrue("blockedDealer"))
        prepareError(AgentBlocked, tr("Agent is blocked"), url);
    else if (isTrue("blockedUser"))
        prepareError(UserBlocked, tr("User is blocked"), url);
    else
        prepareError(ServerUnaccessible, tr("Server Is Unaccessable"), url);
    emit error(m_errorMap);
    return false;
}
