#ifndef FSSTATE_H
#define FSSTATE_H

#include "fs/fslifetime.h"
#include "fs/fstransportstate.h"

#include <QDateTime>
#include <QDebug>
#include <QString>

// What the program knows about the attached fiscal storage.
class FsState
{
public:
    static constexpr quint8 UnknownPhase = 0xF0;
    static constexpr quint8 UnknownDocType = 0x7F;

    FsState() = default;

    quint8 phase() const { return m_phase; }
    quint8 openedDocType() const { return m_openedDocType; }
    bool hasDocumentData() const { return m_hasDocumentData; }
    bool cycleIsOpen() const { return m_cycleIsOpen; }
    quint8 warnings() const { return m_warnings; }
    QDateTime lastDocDt() const { return m_lastDocDt; }
    QString fsNumber() const { return m_fsNumber; }
    quint32 lastDocNumber() const { return m_lastDocNumber; }
    FsLifeTime lifeTime() const { return m_lifeTime; }
    QString fsVersion() const { return m_fsVersion; }
    bool debugMode() const { return m_debugMode; }
    FsTransportState transport() const { return m_transport; }

    // Phase and document type are taken over only when they are known values;
    // anything else is stored as UnknownPhase / UnknownDocType.
    void setPhase(quint8 phase);
    void setOpenedDocType(quint8 type);
    void setHasDocumentData(bool value) { m_hasDocumentData = value; }
    void setCycleIsOpen(bool value) { m_cycleIsOpen = value; }
    void setWarnings(quint8 value) { m_warnings = value; }
    void setLastDocDt(const QDateTime &dt) { m_lastDocDt = dt; }
    void setFsNumber(const QString &number) { m_fsNumber = number; }
    void setLastDocNumber(quint32 number) { m_lastDocNumber = number; }
    void setLifeTime(const FsLifeTime &lifeTime) { m_lifeTime = lifeTime; }
    void setFsVersion(const QString &version) { m_fsVersion = version; }
    void setDebugMode(bool value) { m_debugMode = value; }
    void setTransport(const FsTransportState &transport) { m_transport = transport; }

    // Puts the fields of the status answer (0x30) back to their defaults.
    void resetStatus();

    bool isValid() const;
    // A fiscal storage proper; a debug build of the storage software is an MGM.
    bool isFiscalStorage() const { return !m_debugMode; }

    static bool isKnownPhase(quint8 phase);
    static bool isKnownDocType(quint8 type);

    bool operator==(const FsState &other) const;
    bool operator!=(const FsState &other) const { return !(*this == other); }

private:
    quint8 m_phase = UnknownPhase;
    quint8 m_openedDocType = UnknownDocType;
    bool m_hasDocumentData = false;
    bool m_cycleIsOpen = false;
    quint8 m_warnings = 0;
    QDateTime m_lastDocDt;
    QString m_fsNumber;
    quint32 m_lastDocNumber = 0;
    FsLifeTime m_lifeTime;
    QString m_fsVersion;
    bool m_debugMode = false;
    FsTransportState m_transport;
};

// The latest status read from the storage, shared by the whole process. Both
// take one lock for the time of a copy.
FsState currentFsState();
void setCurrentFsState(const FsState &state);

QDebug operator<<(QDebug debug, const FsState &state);

#endif // FSSTATE_H
