#ifndef OFDEMUSTATE_H
#define OFDEMUSTATE_H

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace ofdemu {

// How the emulated operator behaves towards the next connections.
enum class Scenario
{
    Normal, // a receipt at once
    NoAnswer, // reads the document, never answers; closes after the hold time if one is set
    LateAnswer, // the receipt after the delay
    SplitAnswer, // the receipt in three TCP segments, the delay between them
    Garbage2, // two stray bytes before the signature
    Garbage4, // four stray bytes before the signature
    WrongCheckValue, // a check value that matches neither the header nor header and body
    HeaderOnlyCheck, // check mode 2 in the flags, but the value covers the header alone
    ShortBody, // the body one byte shorter than declared
    ShortBodyRestLater, // the same, and the missing byte after the delay
    WrongSignature, // 2A 08 41 0B
    WrongSessionVersion, // 81 A3
    CheckMode3, // check mode 3 with a right check value
    CloseAfterConnect, // closes every connection as soon as it is accepted
    Refuse, // nothing listens: connections are refused
};

QString scenarioName(Scenario scenario);
bool scenarioFromName(const QString &name, Scenario *scenario);
QStringList scenarioNames();

struct Settings
{
    Scenario scenario = Scenario::Normal;
    int delayMs = 0; // late answer, split answer, the rest of a short body
    int holdMs = -1; // no answer: close after this many ms; -1 keeps the connection open
    bool socks5 = false; // take a SOCKS5 greeting and connect request first
};

// What the emulator thread and its owner share; every member under the lock.
class SharedState
{
public:
    Settings settings() const;
    void setSettings(const Settings &settings);

    void addRecord(const QJsonObject &record);
    QList<QJsonObject> records() const;

    void addConnection();
    int connections() const;

    void addRequestedHost(const QString &host);
    QStringList requestedHosts() const;

private:
    mutable QMutex m_mutex;
    Settings m_settings;
    QList<QJsonObject> m_records;
    int m_connections = 0;
    QStringList m_requestedHosts;
};

} // namespace ofdemu

Q_DECLARE_METATYPE(ofdemu::Scenario)

#endif // OFDEMUSTATE_H
