#include "fs/fsstate.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex latestStateLock;
FsState latestState;
} // namespace

FsLifeTime::FsLifeTime(const QDate &expiration, quint8 available, quint8 completed)
    : m_expirationDt(expiration)
    , m_availableRegistrations(available)
    , m_completedRegistrations(completed)
{
}

bool FsLifeTime::operator==(const FsLifeTime &other) const
{
    return m_expirationDt == other.m_expirationDt
        && m_availableRegistrations == other.m_availableRegistrations
        && m_completedRegistrations == other.m_completedRegistrations;
}

bool FsTransportState::operator==(const FsTransportState &other) const
{
    return m_state == other.m_state && m_docIsReading == other.m_docIsReading
        && m_offlineDocsCount == other.m_offlineDocsCount && m_firstDocNumber == other.m_firstDocNumber
        && m_firstDocDt == other.m_firstDocDt;
}

bool FsState::isKnownPhase(quint8 phase)
{
    return phase == 0x00 || phase == 0x01 || phase == 0x03 || phase == 0x07 || phase == 0x0F;
}

bool FsState::isKnownDocType(quint8 type)
{
    switch (type) {
    case 0x00: case 0x01: case 0x02: case 0x04: case 0x08:
    case 0x10: case 0x11: case 0x12: case 0x13: case 0x14: case 0x17:
        return true;
    default:
        return false;
    }
}

void FsState::setPhase(quint8 phase)
{
    m_phase = isKnownPhase(phase) ? phase : UnknownPhase;
}

void FsState::setOpenedDocType(quint8 type)
{
    m_openedDocType = isKnownDocType(type) ? type : UnknownDocType;
}

void FsState::resetStatus()
{
    m_phase = UnknownPhase;
    m_openedDocType = UnknownDocType;
    m_hasDocumentData = false;
    m_cycleIsOpen = false;
    m_warnings = 0;
    m_lastDocDt = QDateTime();
    m_fsNumber.clear();
    m_lastDocNumber = 0;
}

bool FsState::isValid() const
{
    return m_phase != UnknownPhase && m_openedDocType != UnknownDocType && !m_fsNumber.isEmpty();
}

bool FsState::operator==(const FsState &other) const
{
    return m_phase == other.m_phase && m_openedDocType == other.m_openedDocType
        && m_hasDocumentData == other.m_hasDocumentData && m_cycleIsOpen == other.m_cycleIsOpen
        && m_warnings == other.m_warnings && m_lastDocDt == other.m_lastDocDt
        && m_fsNumber == other.m_fsNumber && m_lastDocNumber == other.m_lastDocNumber
        && m_lifeTime == other.m_lifeTime && m_fsVersion == other.m_fsVersion
        && m_debugMode == other.m_debugMode && m_transport == other.m_transport;
}

FsState currentFsState()
{
    QMutexLocker locker(&latestStateLock);
    return latestState;
}

void setCurrentFsState(const FsState &state)
{
    QMutexLocker locker(&latestStateLock);
    latestState = state;
}

QDebug operator<<(QDebug debug, const FsState &state)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "FsState(phase " << state.phase() << ", doc type " << state.openedDocType()
                    << ", number " << state.fsNumber() << ", last doc " << state.lastDocNumber()
                    << ", version " << state.fsVersion() << (state.isFiscalStorage() ? ", FS" : ", MGM")
                    << ", transport " << state.transport().state() << '/' << state.transport().offlineDocsCount()
                    << ')';
    return debug;
}
