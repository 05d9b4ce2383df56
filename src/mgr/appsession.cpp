#include "mgr/appsession.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>

namespace {

// Sets or clears one bit of flags from a JSON boolean; any other type clears it.
int withFlag(int flags, int bit, const QVariant &value)
{
    if (value.type() == QVariant::Bool && value.toBool())
        return flags | bit;
    return flags & ~bit;
}

QMutex storeMutex;
QMap<AppSession::SessionType, AppSession> store;

} // namespace

AppSession::AppSession(const QVariantMap &map)
{
    auto has = [&map](const char *key) { return map.contains(QLatin1String(key)); };
    auto at = [&map](const char *key) { return map.value(QLatin1String(key)); };

    if (has("login"))
        m_login = at("login").toString();
    if (has("idSession"))
        m_idSession = at("idSession").toString();
    if (has("idAccessKind"))
        m_idAccessKind = at("idAccessKind").toString();
    if (has("idDealer"))
        m_idDealer = at("idDealer").toLongLong();
    if (has("nameDealer"))
        m_nameDealer = at("nameDealer").toString();
    if (has("blockedDealer"))
        m_flags = withFlag(m_flags, DealerBlocked, at("blockedDealer"));
    if (has("blockedUser"))
        m_flags = withFlag(m_flags, UserBlocked, at("blockedUser"));
    if (has("idUser"))
        m_idUser = at("idUser").toLongLong();
    if (has("nameUser"))
        m_nameUser = at("nameUser").toString();
    if (has("password"))
        m_password = at("password").toString();
    if (has("flags"))
        m_flags = at("flags").toInt();
    if (has("serialNo"))
        m_serialNo = at("serialNo").toString();
    if (has("guidHardware"))
        m_guidHardware = at("guidHardware").toString();
    if (has("moduleName"))
        m_moduleName = at("moduleName").toString();
    if (has("idHardSoft"))
        m_idHardSoft = at("idHardSoft").toLongLong();
}

QVariantMap AppSession::toSessionMap() const
{
    QVariantMap map;
    map.insert(QStringLiteral("idSession"), m_idSession);
    map.insert(QStringLiteral("idDealer"), QString::number(m_idDealer));
    map.insert(QStringLiteral("idUser"), QString::number(m_idUser));
    return map;
}

bool AppSession::operator==(const AppSession &o) const
{
    return m_login == o.m_login && m_nameUser == o.m_nameUser && m_password == o.m_password
        && m_idSession == o.m_idSession && m_idAccessKind == o.m_idAccessKind
        && m_idDealer == o.m_idDealer && m_nameDealer == o.m_nameDealer && m_flags == o.m_flags
        && m_idUser == o.m_idUser && m_serialNo == o.m_serialNo
        && m_guidHardware == o.m_guidHardware && m_cookies == o.m_cookies
        && m_idHardSoft == o.m_idHardSoft && m_moduleName == o.m_moduleName;
}

AppSession storedSession(AppSession::SessionType type)
{
    QMutexLocker lock(&storeMutex);
    return store.value(type);
}

void storeSession(AppSession::SessionType type, const AppSession &session)
{
    QMutexLocker lock(&storeMutex);
    store.insert(type, session);
}

bool hasStoredSession(AppSession::SessionType type)
{
    QMutexLocker lock(&storeMutex);
    return store.contains(type);
}
