#ifndef FSWORKER_H
#define FSWORKER_H

#include "fs/fiscalstorageanswer.h"
#include "fs/fiscalstoragecmd.h"
#include "fs/fsstate.h"
#include "tessarocore/abstractworker.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QPointer>
#include <QString>

class QTimer;
class FsWorkerPrivate;

// Read and write time-outs of one storage exchange, in milliseconds. The read
// time-out is the USB time-out of every read and the whole budget for waiting
// for the answer, counted from the start of the exchange.
struct FsRwTimeout
{
    qint32 readTimeout;
    qint32 writeTimeout;
};

// The program's only way to the fiscal storage: one command frame written to
// I2C address 2, one answer frame read back, over its own adapter driver.
// Create one per piece of work: construct, start(), call commands, stop(),
// delete, all on one thread. While the storage cannot be reached at start the
// worker retries every RestartInterval milliseconds.
class FsWorker : public tessaro::AbstractWorker
{
    Q_OBJECT
public:
    static constexpr quint8 StorageAddress = 2;
    static constexpr int PollPause = 2; // ms between polls of a busy storage
    static constexpr int RestartInterval = 15000; // ms

    // The time-out pairs of the command set.
    static constexpr FsRwTimeout ShortTimeout { 2000, 1000 };
    static constexpr FsRwTimeout MessageTimeout { 10000, 1000 };
    static constexpr FsRwTimeout LongTimeout { 20000, 1000 };

    FsWorker();
    ~FsWorker() override;

    // One command/answer exchange. True when the answer's first read began
    // with 0x04 and the whole frame was read; answer then holds the parsed
    // frame (check its frameResult()). False when the command was not sent or
    // no frame came back; answer is then a default answer.
    bool exec(const FiscalStorageCmd &cmd, FiscalStorageAnswer &answer, FsRwTimeout timeout);

    // ---- Status --------------------------------------------------------
    // 0x30, 0x33, 0x32, then 0x20; stores the latest FsState, or a default one
    // when any step fails.
    bool refreshStatus();
    // 0x20; on a decodable answer stores the transport part of the latest state.
    bool readTransportState(FiscalStorageAnswer &answer);
    // 0x30 alone, decoded into a copy of the latest state (the FsState form
    // hands that record to the caller); stored on success.
    bool readStatus(FsState &state);
    bool readStatus(FiscalStorageAnswer &answer);
    bool readFsVersion(FiscalStorageAnswer &answer); // 0x33
    bool readLifeTime(FiscalStorageAnswer &answer); // 0x32
    bool readFsNumber(FiscalStorageAnswer &answer); // 0x31

    // ---- Registration --------------------------------------------------
    bool beginRegistration(quint8 kind, quint8 &error); // 0x02
    bool sendDocumentData(const QByteArray &tlv, quint8 &error); // 0x07
    // 0x03: date-time, INN (12, space-padded), registration number (20,
    // space-padded), taxes, work mode. Refuses locally with answer code 0x07
    // for a date-time the storage cannot carry and 0x01 for a text too long.
    // On success the answer data holds the document number and the fiscal
    // sign (two 32-bit LE values) and the status is refreshed.
    bool finishRegistration(const QDateTime &dt, const QString &inn, const QString &regNumber,
        quint8 taxes, quint8 workMode, FiscalStorageAnswer &answer);
    // The same with a third byte after taxes and work mode (40 bytes).
    bool finishRegistration(const QDateTime &dt, const QString &inn, const QString &regNumber,
        quint8 taxes, quint8 workMode, quint8 extraFlags, FiscalStorageAnswer &answer);
    bool cancelDocument(quint8 &error); // 0x06

    // ---- OFD exchange --------------------------------------------------
    bool setTransportConnected(quint8 state); // 0x21
    // 0x22, 0x23 in blocks of up to 1024 bytes, 0x25. Cancels the reading
    // (0x24) on any failure.
    bool readOfdMessage(QByteArray &message);
    // 0x26; true for the answer codes 0x00 and 0x20 (receipt taken before).
    bool sendOfdTicket(const QByteArray &ticket, FiscalStorageAnswer &answer);
    bool cancelOfdMessage(); // 0x24

    // ---- MGM -----------------------------------------------------------
    // 0x24, 0x06, then 0x60; refreshes the status in every case.
    bool eraseMgm();

    // ---- Further commands ----------------------------------------------
    bool beginCloseFiscalMode(quint8 &error); // 0x04
    bool closeFiscalMode(const QDateTime &dt, const QString &regNumber, quint8 &error,
        quint32 &docNumber, quint32 &fiscalSign); // 0x05
    bool readShiftParams(quint8 &error, bool &shiftIsOpen, quint16 &shiftNumber,
        quint16 &receiptNumber); // 0x10
    bool beginCalcReport(const QDateTime &dt, quint8 &error); // 0x18
    bool makeCalcReport(quint8 &error, quint32 &docNumber, quint32 &fiscalSign,
        quint32 &unconfirmedCount, QDate &firstUnconfirmedDate); // 0x19
    bool findDocument(quint32 docNumber, qint8 &docType, bool &ofdConfirmed); // 0x40
    bool readOfdTicket(quint32 docNumber, FiscalStorageAnswer &answer, QDateTime &ticketDt,
        QByteArray &ofdSign); // 0x41
    bool readUnconfirmedCount(FiscalStorageAnswer &answer, quint16 &count); // 0x42
    // 0x43 and 0x44; a negative registration index sends no index byte.
    bool readRegistrationTotals(FiscalStorageAnswer &answer, int registrationIndex = -1);
    bool readRegistrationParam(
        quint16 tag, FiscalStorageAnswer &answer, int registrationIndex = -1);

public slots:
    void restart();

signals:
    void fsStatusChanged();

protected:
    bool onStart() override;
    bool onStop() override;

private:
    bool reopen();
    bool finishRegistrationWith(const QDateTime &dt, const QString &inn, const QString &regNumber,
        const QByteArray &tail, FiscalStorageAnswer &answer);
    bool simpleCommand(
        quint8 code, const QByteArray &data, FsRwTimeout timeout, FiscalStorageAnswer &answer);
    void storeState(const FsState &state);

    FsWorkerPrivate *d;
    QPointer<QTimer> m_restartTimer;
};

#endif // FSWORKER_H
