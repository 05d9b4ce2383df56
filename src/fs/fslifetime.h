#ifndef FSLIFETIME_H
#define FSLIFETIME_H

#include <QDate>

// How long and how often the fiscal storage may still be registered.
class FsLifeTime
{
public:
    FsLifeTime() = default;
    FsLifeTime(const QDate &expiration, quint8 available, quint8 completed);

    QDate expirationDt() const { return m_expirationDt; }
    quint8 availableRegistrations() const { return m_availableRegistrations; }
    quint8 completedRegistrations() const { return m_completedRegistrations; }
    void setExpirationDt(const QDate &date) { m_expirationDt = date; }
    void setAvailableRegistrations(quint8 count) { m_availableRegistrations = count; }
    void setCompletedRegistrations(quint8 count) { m_completedRegistrations = count; }

    // A storage never registered may report no expiration date.
    bool isAcceptable() const { return m_expirationDt.isValid() || m_completedRegistrations == 0; }

    bool operator==(const FsLifeTime &other) const;
    bool operator!=(const FsLifeTime &other) const { return !(*this == other); }

private:
    QDate m_expirationDt;
    quint8 m_availableRegistrations = 0;
    quint8 m_completedRegistrations = 0;
};

#endif // FSLIFETIME_H
