#include "fs/fsworker.h"

#include "i2c/i2ctinyusb.h"
#include "tessarocore/logging.h"

#include <QDataStream>
#include <QDebug>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {

// Whole answers of the status reads, so that one read suffices.
constexpr quint16 StatusAnswerSize = 36; // 0x30: 30 data bytes
constexpr quint16 NumberAnswerSize = 22; // 0x31: 16
constexpr quint16 LifeTimeAnswerSize = 11; // 0x32: 5
constexpr quint16 VersionAnswerSize = 23; // 0x33: 17

constexpr quint16 OfdBlockSize = 1024;
constexpr quint8 EraseMgmKey = 0x16;

// Local refusals of finishRegistration, in the storage's own codes.
constexpr quint8 LocalBadDateTime = 0x07;
constexpr quint8 LocalBadFormat = 0x01;

quint16 uint16At(const QByteArray &data, int i)
{
    return quint16(quint8(data.at(i)) | (quint8(data.at(i + 1)) << 8));
}

quint32 uint32At(const QByteArray &data, int i)
{
    return quint32(quint8(data.at(i))) | (quint32(quint8(data.at(i + 1))) << 8)
        | (quint32(quint8(data.at(i + 2))) << 16) | (quint32(quint8(data.at(i + 3))) << 24);
}

QByteArray littleEndian16(quint16 value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF));
    bytes.append(char(value >> 8));
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

// Latin-1 bytes padded with spaces to width; false when the text is longer.
bool paddedLatin1(const QString &text, int width, QByteArray &out)
{
    out = text.toLatin1();
    if (out.size() > width)
        return false;
    out.append(QByteArray(width - out.size(), ' '));
    return true;
}

} // namespace

class FsWorkerPrivate
{
public:
    FsWorkerPrivate()
        : i2c(new I2CTinyUsb)
    { }
    ~FsWorkerPrivate() { delete i2c; }

    bool isOpen() { return i2c && i2c->i2cProbe(FsWorker::StorageAddress); }

    bool open()
    {
        if (!i2c) {
            i2c = new I2CTinyUsb;
            if (!i2c->i2cProbe(FsWorker::StorageAddress)) {
                delete i2c;
                i2c = nullptr;
            }
        }
        return isOpen();
    }

    void close()
    {
        if (i2c) {
            delete i2c;
            i2c = nullptr;
            qWarning() << "FsWorkerPrivate::close()";
        }
    }

    // Reads size bytes into buffer, polling while the storage does not
    // acknowledge, until bytes come or the budget of the stopwatch is spent.
    void pollRead(quint16 size, QByteArray &buffer, const QElapsedTimer &watch, qint32 readTimeout)
    {
        for (;;) {
            buffer.clear();
            if (isOpen() || open())
                i2c->i2cRead(FsWorker::StorageAddress, size, buffer, readTimeout);
            if (!buffer.isEmpty() || watch.elapsed() >= readTimeout)
                return;
            QThread::msleep(FsWorker::PollPause);
        }
    }

    I2CTinyUsb *i2c;
};

FsWorker::FsWorker()
    : d(new FsWorkerPrivate)
{ }

FsWorker::~FsWorker()
{
    FsWorker::onStop();
    delete d;
}

bool FsWorker::onStart()
{
    onStop();
    if (reopen()) {
        refreshStatus();
        return true;
    }
    m_restartTimer = new QTimer(this);
    connect(m_restartTimer, SIGNAL(timeout()), this, SLOT(restart()));
    m_restartTimer->setInterval(RestartInterval);
    m_restartTimer->start();
    return true;
}

bool FsWorker::onStop()
{
    d->close();
    if (m_restartTimer) {
        m_restartTimer->blockSignals(true);
        m_restartTimer->stop();
        delete m_restartTimer.data();
        m_restartTimer.clear();
    }
    return true;
}

void FsWorker::restart() { onStart(); }

bool FsWorker::reopen()
{
    d->close();
    return d->open();
}

bool FsWorker::exec(const FiscalStorageCmd &cmd, FiscalStorageAnswer &answer, FsRwTimeout timeout)
{
    answer = FiscalStorageAnswer();
    QElapsedTimer watch;
    watch.start();

    if (!cmd.isValid())
        return false;
    if (!d->i2c || !d->i2c->i2cProbe(StorageAddress))
        return false;

    const QByteArray frame = cmd.toByteArray();
    if (d->isOpen() || d->open())
        d->i2c->i2cWrite(StorageAddress, frame, timeout.writeTimeout);

    const quint16 firstSize = cmd.firstReadSize();
    QByteArray buffer;
    d->pollRead(firstSize, buffer, watch, timeout.readTimeout);
    // A first read too short to hold the length field (answerSize 1 or 2)
    // cannot be judged: it fails like a missing frame.
    if (buffer.size() < 3 || quint8(buffer.at(0)) != FiscalStorageMsg::StartMarker) {
        qWarning() << tessaro::logbinary(buffer, "UTF-8");
        return false;
    }

    const quint16 length = uint16At(buffer, 1);
    if (int(firstSize) - 4 > int(length)) {
        answer.fromByteArray(buffer);
        return true;
    }

    // The storage sends its answer from the first byte on every read: read
    // the whole frame again.
    d->pollRead(quint16(qMin(int(length) + FiscalStorageMsg::FrameOverhead, 0xFFFF)), buffer, watch,
        timeout.readTimeout);
    if (buffer.isEmpty())
        return false;
    answer.fromByteArray(buffer);
    return true;
}

bool FsWorker::simpleCommand(
    quint8 code, const QByteArray &data, FsRwTimeout timeout, FiscalStorageAnswer &answer)
{
    const bool sent = exec(FiscalStorageCmd(code, data, 0), answer, timeout);
    return sent && answer.fsError() == 0;
}

void FsWorker::storeState(const FsState &state)
{
    const FsState old = currentFsState();
    setCurrentFsState(state);
    if (state != old)
        emit fsStatusChanged();
}

// ---- Status ---------------------------------------------------------------

bool FsWorker::refreshStatus()
{
    FsState state;
    FiscalStorageAnswer answer;
    bool ok = exec(FiscalStorageCmd(0x30, StatusAnswerSize), answer, ShortTimeout)
        && answer.decodeStatus(state) == 0;
    ok = ok && exec(FiscalStorageCmd(0x33, VersionAnswerSize), answer, ShortTimeout)
        && answer.decodeVersion(state) == 0;
    ok = ok && exec(FiscalStorageCmd(0x32, LifeTimeAnswerSize), answer, ShortTimeout)
        && answer.decodeLifeTime(state) == 0;
    if (ok) {
        setCurrentFsState(state);
        // The transport part counts only when it was decoded: an answer with
        // code 0 but unreadable data must not pass for a complete status.
        FsTransportState transport;
        if (readTransportState(answer) && answer.decodeTransport(transport) == 0)
            return true;
    }
    setCurrentFsState(FsState());
    return false;
}

bool FsWorker::readTransportState(FiscalStorageAnswer &answer)
{
    answer = FiscalStorageAnswer();
    const bool ok = simpleCommand(0x20, QByteArray(), ShortTimeout, answer);
    FsTransportState transport;
    if (answer.decodeTransport(transport) == 0) {
        FsState state = currentFsState();
        state.setTransport(transport);
        storeState(state);
    }
    return ok;
}

bool FsWorker::readStatus(FsState &state)
{
    state = currentFsState();
    FiscalStorageAnswer answer;
    const bool ok = exec(FiscalStorageCmd(0x30, StatusAnswerSize), answer, ShortTimeout)
        && answer.fsError() == 0 && answer.decodeStatus(state) == 0;
    if (ok)
        storeState(state);
    return ok;
}

bool FsWorker::readStatus(FiscalStorageAnswer &answer)
{
    FsState state = currentFsState();
    const bool ok = exec(FiscalStorageCmd(0x30, StatusAnswerSize), answer, ShortTimeout)
        && answer.fsError() == 0 && answer.decodeStatus(state) == 0;
    if (ok)
        storeState(state);
    return ok;
}

bool FsWorker::readFsVersion(FiscalStorageAnswer &answer)
{
    FsState state = currentFsState();
    const bool ok = exec(FiscalStorageCmd(0x33, VersionAnswerSize), answer, ShortTimeout)
        && answer.fsError() == 0 && answer.decodeVersion(state) == 0;
    if (ok)
        setCurrentFsState(state);
    return ok;
}

bool FsWorker::readLifeTime(FiscalStorageAnswer &answer)
{
    FsState state = currentFsState();
    const bool ok = exec(FiscalStorageCmd(0x32, LifeTimeAnswerSize), answer, ShortTimeout)
        && answer.fsError() == 0 && answer.decodeLifeTime(state) == 0;
    if (ok)
        storeState(state);
    return ok;
}

bool FsWorker::readFsNumber(FiscalStorageAnswer &answer)
{
    FsState state = currentFsState();
    const bool ok = exec(FiscalStorageCmd(0x31, NumberAnswerSize), answer, ShortTimeout)
        && answer.fsError() == 0 && answer.decodeNumber(state) == 0;
    if (ok)
        setCurrentFsState(state);
    return ok;
}

// ---- Registration -----------------------------------------------------------

bool FsWorker::beginRegistration(quint8 kind, quint8 &error)
{
    FiscalStorageAnswer answer;
    const bool ok = exec(FiscalStorageCmd::beginRegistration(kind), answer, ShortTimeout)
        && answer.fsError() == 0;
    error = answer.fsError();
    return ok;
}

bool FsWorker::sendDocumentData(const QByteArray &tlv, quint8 &error)
{
    FiscalStorageAnswer answer;
    const bool ok = simpleCommand(0x07, tlv, ShortTimeout, answer);
    error = answer.fsError();
    return ok;
}

bool FsWorker::finishRegistration(const QDateTime &dt, const QString &inn, const QString &regNumber,
    quint8 taxes, quint8 workMode, FiscalStorageAnswer &answer)
{
    QByteArray tail;
    tail.append(char(taxes));
    tail.append(char(workMode));
    return finishRegistrationWith(dt, inn, regNumber, tail, answer);
}

bool FsWorker::finishRegistration(const QDateTime &dt, const QString &inn, const QString &regNumber,
    quint8 taxes, quint8 workMode, quint8 extraFlags, FiscalStorageAnswer &answer)
{
    QByteArray tail;
    tail.append(char(taxes));
    tail.append(char(workMode));
    tail.append(char(extraFlags));
    return finishRegistrationWith(dt, inn, regNumber, tail, answer);
}

bool FsWorker::finishRegistrationWith(const QDateTime &dt, const QString &inn,
    const QString &regNumber, const QByteArray &tail, FiscalStorageAnswer &answer)
{
    answer = FiscalStorageAnswer();
    // A date-time the five bytes cannot carry (year 2000 or earlier) would
    // shift every later field of the request: refuse it like an invalid one.
    const QByteArray dateTime = dateTimeToFs(dt);
    if (!dt.isValid() || dateTime.size() != 5) {
        answer.setCode(LocalBadDateTime);
        return false;
    }
    QByteArray innBytes;
    QByteArray regBytes;
    if (!paddedLatin1(inn, 12, innBytes) || !paddedLatin1(regNumber, 20, regBytes)) {
        answer.setCode(LocalBadFormat);
        return false;
    }

    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData(dateTime.constData(), dateTime.size());
    out.writeRawData(innBytes.constData(), innBytes.size());
    out.writeRawData(regBytes.constData(), regBytes.size());
    out.writeRawData(tail.constData(), tail.size());

    FiscalStorageAnswer reply;
    const bool ok = simpleCommand(0x03, request, ShortTimeout, reply);
    answer = reply;
    if (ok)
        refreshStatus();
    return ok;
}

bool FsWorker::cancelDocument(quint8 &error)
{
    FiscalStorageAnswer answer;
    const bool ok = simpleCommand(0x06, QByteArray(), ShortTimeout, answer);
    error = answer.fsError();
    return ok;
}

// ---- OFD exchange -------------------------------------------------------------

bool FsWorker::setTransportConnected(quint8 state)
{
    FiscalStorageAnswer answer;
    return simpleCommand(0x21, QByteArray(1, char(state)), ShortTimeout, answer);
}

bool FsWorker::readOfdMessage(QByteArray &message)
{
    message.clear();
    FiscalStorageAnswer answer;
    if (!simpleCommand(0x22, QByteArray(), ShortTimeout, answer) || answer.data().size() != 2
        || uint16At(answer.data(), 0) == 0) {
        cancelOfdMessage();
        return false;
    }
    const int total = uint16At(answer.data(), 0);

    quint16 blockSize = OfdBlockSize;
    int offset = 0;
    while (message.size() < total) {
        if (offset + blockSize > total)
            blockSize = quint16(total - offset);
        const QByteArray request = littleEndian16(quint16(offset)) + littleEndian16(blockSize);
        // A block longer than asked for would carry bytes that are not the
        // message's: it is not good either.
        const bool good = simpleCommand(0x23, request, MessageTimeout, answer) && answer.hasData()
            && answer.data().size() <= blockSize;
        message.append(answer.data());
        offset = message.size();
        if (!good) {
            cancelOfdMessage();
            return false;
        }
    }

    if (!simpleCommand(0x25, QByteArray(), MessageTimeout, answer)) {
        cancelOfdMessage();
        return false;
    }
    return true;
}

bool FsWorker::sendOfdTicket(const QByteArray &ticket, FiscalStorageAnswer &answer)
{
    answer = FiscalStorageAnswer();
    const bool sent = exec(FiscalStorageCmd(0x26, ticket, 0), answer, MessageTimeout);
    const bool ok = sent && (answer.fsError() == 0x00 || answer.fsError() == 0x20);
    qWarning() << uint(answer.code()) << tessaro::logbinary(answer.data(), "UTF-8");
    return ok;
}

bool FsWorker::cancelOfdMessage()
{
    FiscalStorageAnswer answer;
    return simpleCommand(0x24, QByteArray(), ShortTimeout, answer);
}

// ---- MGM ----------------------------------------------------------------------

bool FsWorker::eraseMgm()
{
    cancelOfdMessage();
    quint8 error = 0;
    cancelDocument(error);

    FiscalStorageAnswer answer;
    const bool ok = simpleCommand(0x60, QByteArray(1, char(EraseMgmKey)), LongTimeout, answer);
    refreshStatus();
    return ok;
}

// ---- Further commands -----------------------------------------------------------

bool FsWorker::beginCloseFiscalMode(quint8 &error)
{
    FiscalStorageAnswer answer;
    const bool ok = simpleCommand(0x04, QByteArray(), ShortTimeout, answer);
    error = answer.fsError();
    return ok;
}

bool FsWorker::closeFiscalMode(const QDateTime &dt, const QString &regNumber, quint8 &error,
    quint32 &docNumber, quint32 &fiscalSign)
{
    // A registration number longer than 20 bytes makes the data size wrong,
    // so the command check refuses it without I/O.
    QByteArray regBytes = regNumber.toLatin1();
    if (regBytes.size() < 20)
        regBytes.append(QByteArray(20 - regBytes.size(), ' '));
    FiscalStorageAnswer answer;
    bool ok = simpleCommand(0x05, dateTimeToFs(dt) + regBytes, LongTimeout, answer);
    error = answer.fsError();
    const QByteArray data = answer.data();
    if (ok && data.size() >= 8) {
        docNumber = uint32At(data, 0);
        fiscalSign = uint32At(data, 4);
    } else {
        ok = false;
    }
    return ok;
}

bool FsWorker::readShiftParams(
    quint8 &error, bool &shiftIsOpen, quint16 &shiftNumber, quint16 &receiptNumber)
{
    FiscalStorageAnswer answer;
    bool ok = simpleCommand(0x10, QByteArray(), ShortTimeout, answer);
    error = answer.fsError();
    const QByteArray data = answer.data();
    if (ok && data.size() >= 5) {
        shiftIsOpen = data.at(0) == 1;
        shiftNumber = uint16At(data, 1);
        receiptNumber = uint16At(data, 3);
    } else {
        ok = false;
    }
    return ok;
}

bool FsWorker::beginCalcReport(const QDateTime &dt, quint8 &error)
{
    FiscalStorageAnswer answer;
    const bool ok = simpleCommand(0x18, dateTimeToFs(dt), ShortTimeout, answer);
    error = answer.fsError();
    return ok;
}

bool FsWorker::makeCalcReport(quint8 &error, quint32 &docNumber, quint32 &fiscalSign,
    quint32 &unconfirmedCount, QDate &firstUnconfirmedDate)
{
    FiscalStorageAnswer answer;
    bool ok = simpleCommand(0x19, QByteArray(), ShortTimeout, answer);
    error = answer.fsError();
    const QByteArray data = answer.data();
    if (ok && data.size() >= 15) {
        docNumber = uint32At(data, 0);
        fiscalSign = uint32At(data, 4);
        unconfirmedCount = uint32At(data, 8);
        firstUnconfirmedDate = dateFromFs(data.mid(12, 3));
    } else {
        ok = false;
    }
    return ok;
}

bool FsWorker::findDocument(quint32 docNumber, qint8 &docType, bool &ofdConfirmed)
{
    FiscalStorageAnswer answer;
    bool ok = simpleCommand(0x40, littleEndian32(docNumber), LongTimeout, answer);
    const QByteArray data = answer.data();
    if (ok && data.size() >= 2) {
        docType = qint8(data.at(0));
        ofdConfirmed = data.at(1) != 0;
    } else {
        ok = false;
    }
    return ok;
}

bool FsWorker::readOfdTicket(
    quint32 docNumber, FiscalStorageAnswer &answer, QDateTime &ticketDt, QByteArray &ofdSign)
{
    answer = FiscalStorageAnswer();
    bool ok = simpleCommand(0x41, littleEndian32(docNumber), LongTimeout, answer);
    const QByteArray data = answer.data();
    if (ok && data.size() >= 23) {
        ticketDt = dateTimeFromFs(data.left(5));
        ofdSign = data.mid(5, 18);
    } else {
        ok = false;
    }
    return ok;
}

bool FsWorker::readUnconfirmedCount(FiscalStorageAnswer &answer, quint16 &count)
{
    answer = FiscalStorageAnswer();
    bool ok = simpleCommand(0x42, QByteArray(), LongTimeout, answer);
    const QByteArray data = answer.data();
    if (ok && data.size() >= 2)
        count = uint16At(data, 0);
    else
        ok = false;
    return ok;
}

bool FsWorker::readRegistrationTotals(FiscalStorageAnswer &answer, int registrationIndex)
{
    answer = FiscalStorageAnswer();
    QByteArray request;
    if (registrationIndex >= 0)
        request.append(char(quint8(registrationIndex)));
    return simpleCommand(0x43, request, LongTimeout, answer);
}

bool FsWorker::readRegistrationParam(
    quint16 tag, FiscalStorageAnswer &answer, int registrationIndex)
{
    answer = FiscalStorageAnswer();
    QByteArray request;
    if (registrationIndex >= 0)
        request.append(char(quint8(registrationIndex)));
    request.append(littleEndian16(tag));
    return simpleCommand(0x44, request, LongTimeout, answer);
}
