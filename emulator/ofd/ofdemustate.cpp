#include "ofdemustate.h"

#include <QMutexLocker>

namespace ofdemu {

namespace {

struct NamedScenario
{
    Scenario scenario;
    const char *name;
};

const NamedScenario scenarioTable[] = {
    { Scenario::Normal, "normal" },
    { Scenario::NoAnswer, "no-answer" },
    { Scenario::LateAnswer, "late-answer" },
    { Scenario::SplitAnswer, "split-answer" },
    { Scenario::Garbage2, "garbage-2" },
    { Scenario::Garbage4, "garbage-4" },
    { Scenario::WrongCheckValue, "wrong-check-value" },
    { Scenario::HeaderOnlyCheck, "header-only-check" },
    { Scenario::ShortBody, "short-body" },
    { Scenario::ShortBodyRestLater, "short-body-rest-later" },
    { Scenario::WrongSignature, "wrong-signature" },
    { Scenario::WrongSessionVersion, "wrong-session-version" },
    { Scenario::CheckMode3, "check-mode-3" },
    { Scenario::CloseAfterConnect, "close-after-connect" },
    { Scenario::Refuse, "refuse" },
};

} // namespace

QString scenarioName(Scenario scenario)
{
    for (const NamedScenario &entry : scenarioTable) {
        if (entry.scenario == scenario)
            return QString::fromLatin1(entry.name);
    }
    return QString();
}

bool scenarioFromName(const QString &name, Scenario *scenario)
{
    for (const NamedScenario &entry : scenarioTable) {
        if (name == QLatin1String(entry.name)) {
            if (scenario)
                *scenario = entry.scenario;
            return true;
        }
    }
    return false;
}

QStringList scenarioNames()
{
    QStringList names;
    for (const NamedScenario &entry : scenarioTable)
        names.append(QString::fromLatin1(entry.name));
    return names;
}

Settings SharedState::settings() const
{
    QMutexLocker locker(&m_mutex);
    return m_settings;
}

void SharedState::setSettings(const Settings &settings)
{
    QMutexLocker locker(&m_mutex);
    m_settings = settings;
}

void SharedState::addRecord(const QJsonObject &record)
{
    QMutexLocker locker(&m_mutex);
    m_records.append(record);
}

QList<QJsonObject> SharedState::records() const
{
    QMutexLocker locker(&m_mutex);
    return m_records;
}

void SharedState::addConnection()
{
    QMutexLocker locker(&m_mutex);
    ++m_connections;
}

int SharedState::connections() const
{
    QMutexLocker locker(&m_mutex);
    return m_connections;
}

void SharedState::addRequestedHost(const QString &host)
{
    QMutexLocker locker(&m_mutex);
    m_requestedHosts.append(host);
}

QStringList SharedState::requestedHosts() const
{
    QMutexLocker locker(&m_mutex);
    return m_requestedHosts;
}

} // namespace ofdemu
