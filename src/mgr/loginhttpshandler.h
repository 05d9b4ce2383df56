#ifndef LOGINHTTPSHANDLER_H
#define LOGINHTTPSHANDLER_H

#include "mgr/appsession.h"
#include "network/abstracthttpsreplyhandler.h"

// Decides whether a login answer grants a session: a JSON object whose
// "idSession" is a non-empty string does; an empty one says why not through
// "blockedDealer" and "blockedUser".
class LoginHttpsHandler : public AbstractHttpsReplyHandler
{
    Q_OBJECT
public:
    LoginHttpsHandler(AppSession::SessionType type, QObject *parent = nullptr);

    AppSession::SessionType sessionType() const { return m_type; }

    bool handleData(const QVariant &data, const QString &url) override;

signals:
    void loginSuccess(QVariantMap sessionInfo);

private:
    const AppSession::SessionType m_type;
};

#endif // LOGINHTTPSHANDLER_H
