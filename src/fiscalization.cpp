// The fiscalization run of the registration form: confirmation, the registration
// report on the storage, the delivery of its document to the OFD, the result.

#include "registrationwidget.h"
#include "ui_registrationwidget.h"

#include "fs/fiscalstorageanswer.h"
#include "fs/fsstate.h"
#include "fs/fsworker.h"
#include "fs/ofdworker.h"
#include "registrationreport.h"
#include "resultdialog.h"

#include <QDataStream>
#include <QDateTime>
#include <QDebug>
#include <QMessageBox>
#include <QStringList>

namespace {

// How long the OFD may take to accept the connection.
constexpr int OfdConnectTimeoutMs = 30000;

// The life phase of a registered storage (fiscal mode).
constexpr quint8 FiscalModePhase = 0x03;

// One storage worker for one attempt: started at once, stopped and deleted by
// release() or, on any other way out, when the holder goes.
class AttemptFsWorker
{
public:
    AttemptFsWorker()
        : m_worker(new FsWorker)
    {
        m_worker->start();
    }
    ~AttemptFsWorker() { release(); }
    AttemptFsWorker(const AttemptFsWorker &) = delete;
    AttemptFsWorker &operator=(const AttemptFsWorker &) = delete;

    FsWorker *operator->() const { return m_worker; }

    void release()
    {
        if (!m_worker)
            return;
        m_worker->stop();
        delete m_worker;
        m_worker = nullptr;
    }

private:
    FsWorker *m_worker;
};

// One OFD connection for one exchange, closed and deleted the same way.
class AttemptOfdWorker
{
public:
    AttemptOfdWorker()
        : m_worker(new OfdWorker)
    { }
    ~AttemptOfdWorker() { release(); }
    AttemptOfdWorker(const AttemptOfdWorker &) = delete;
    AttemptOfdWorker &operator=(const AttemptOfdWorker &) = delete;

    OfdWorker *operator->() const { return m_worker; }

    void release()
    {
        if (!m_worker)
            return;
        m_worker->close(0);
        delete m_worker;
        m_worker = nullptr;
    }

private:
    OfdWorker *m_worker;
};

// The closing answer carries the document number and the fiscal sign, two
// 32-bit little-endian numbers; anything but exactly 8 bytes gives zeros.
void readClosingResult(const QByteArray &data, quint32 &docNumber, quint32 &fiscalCode)
{
    docNumber = 0;
    fiscalCode = 0;
    if (data.size() != 8)
        return;
    QDataStream stream(data);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream >> docNumber >> fiscalCode;
}

} // namespace

void RegistrationWidget::on_pbDoRegistration_clicked()
{
    collectParams();
    if (!confirmRegistration())
        return;

    while (!fiscalize()) {
        if (QMessageBox::question(this, tr("ФИСКАЛИЗАЦИЯ"),
                tr("Неудачная попытка. попробуем еще раз?"), QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No) {
            emit finish();
            ui->progressBar->setValue(0);
            ui->progressBar->setFormat(QString());
            return;
        }
    }

    ui->progressBar->setFormat(tr("ПЕРЕДАЧА В ОФД"));
    while (!processOfdDocuments()) {
        if (QMessageBox::question(this, tr("ОТПРАВКА В ОФД"),
                tr("Неудачная попытка. попробуем еще раз?"), QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::No) {
            ui->progressBar->setValue(0);
            ui->progressBar->setFormat(QString());
            showResult();
            emit finish();
            return;
        }
    }

    showResult();
    emit finish();
    ui->progressBar->setValue(0);
    ui->progressBar->setFormat(QString());
}

bool RegistrationWidget::confirmRegistration()
{
    collectParams();
    QString errors;
    if (!params.validate(errors)) {
        QMessageBox::critical(this, tr("РЕГИСТРАЦИЯ"), errors, QMessageBox::Ok);
        return false;
    }
    return QMessageBox::question(this, tr("РЕГИСТРАЦИЯ"), reportHtml(params),
               QMessageBox::Apply | QMessageBox::Cancel, QMessageBox::NoButton)
        == QMessageBox::Apply;
}

bool RegistrationWidget::fiscalize()
{
    if (!confirmRegistration())
        return false;

    AttemptFsWorker worker;

    // The storage must still be the one the operator agreed to at hand-over;
    // the status that the worker's start read is compared as it is.
    const FsState state = currentFsState();
    if (state.fsNumber() != acceptedFsNumber) {
        worker.release();
        emit finish();
        QMessageBox::critical(this, tr("Внимание"), tr("Изменился ФН"), QMessageBox::Ok);
        return false;
    }

    // The storage was ready for registration at hand-over. Registered now, it
    // took the closing of an earlier attempt whose answer was lost on the
    // way: the registration is done, and opening another would only be
    // refused. Its document number and date are the storage's own; the
    // fiscal sign came with the lost answer alone, so the report leaves it out.
    if (state.phase() == FiscalModePhase) {
        qWarning() << "the storage is registered already: document" << state.lastDocNumber()
                   << state.lastDocDt();
        params.setFsNumber(state.fsNumber());
        params.setRegDate(state.lastDocDt());
        params.setRegDocNumber(state.lastDocNumber());
        params.setFiscalCode(0);
        worker.release();
        ui->progressBar->setValue(ui->progressBar->maximum());
        return true;
    }

    quint8 error = 0;
    worker->beginRegistration(0, error);
    if (error != 0) {
        worker->cancelDocument(error);
        QMessageBox::critical(
            this, tr("Внимание"), tr("Ошибка начала фискализации"), QMessageBox::Ok);
        return false;
    }

    const QMap<quint16, QByteArray> tlvs = params.toTlvMap();
    ui->progressBar->setRange(0, tlvs.size() + 1);
    ui->progressBar->setFormat(tr("ФИСКАЛИЗАЦИЯ"));
    // QMap iterates in ascending key order: the storage takes the tags that way.
    for (auto it = tlvs.cbegin(); it != tlvs.cend(); ++it) {
        if (!worker->sendDocumentData(it.value(), error)) {
            worker->cancelDocument(error);
            QMessageBox::critical(
                this, tr("Внимание"), tr("Ошибка передачи параметра"), QMessageBox::Ok);
            ui->progressBar->setValue(0);
            return false;
        }
        ui->progressBar->setValue(ui->progressBar->value() + 1);
    }

    const QDateTime regDate = QDateTime::currentDateTime();
    FiscalStorageAnswer answer;
    const quint8 workMode
        = static_cast<quint8>(params.regFlags() & RegistrationParams::WorkModeByteMask);
    // Closed only when the storage answered with a sound frame and code 0: a
    // frame that failed its checks may still carry a 0 in its code byte, and
    // its numbers cannot be trusted. (Whether the storage closed the report
    // all the same, the next attempt finds out.)
    const bool closed = worker->finishRegistration(regDate, params.userInn().trimmed(),
        params.regNumber().trimmed(), params.taxes(), workMode, answer);
    if (!closed || !answer.isValid() || answer.fsError() != 0) {
        worker->cancelDocument(error);
        QMessageBox::critical(
            this, tr("Внимание"), tr("Ошибка завершения фискализации"), QMessageBox::Ok);
        worker.release();
        ui->progressBar->setValue(0);
        return false;
    }

    quint32 docNumber = 0;
    quint32 fiscalCode = 0;
    readClosingResult(answer.data(), docNumber, fiscalCode);
    params.setFsNumber(currentFsState().fsNumber());
    params.setRegDate(regDate);
    params.setRegDocNumber(docNumber);
    params.setFiscalCode(fiscalCode);
    worker.release();
    ui->progressBar->setValue(ui->progressBar->maximum());
    return true;
}

bool RegistrationWidget::processOfdDocuments()
{
    if (params.regFlags() & RegistrationParams::offlineMode)
        return true;

    AttemptFsWorker fsWorker;
    AttemptOfdWorker ofdWorker;
    ofdWorker->setOfdInn(params.ofdInn());
    QStringList errors;

    ui->progressBar->setFormat(tr("Соединение с ОФД"));
    if (!ofdWorker->open(OfdConnectTimeoutMs)) {
        const OfdInfo ofd = ofdWorker->ofd();
        errors << tr("Ошибка связи с ОФД: %1:%2").arg(ofd.addr().trimmed()).arg(ofd.port());
    } else {
        fsWorker->setTransportConnected(1);
        ui->progressBar->setFormat(tr("Получение данных для ОФД"));
        QByteArray message;
        if (!fsWorker->readOfdMessage(message)) {
            errors << tr("Ошибка получения данных для ОФД");
        } else {
            ui->progressBar->setFormat(tr("Отправка данных в ОФД"));
            const QByteArray receipt = ofdWorker->sendSyncDocument(message);
            if (receipt.isEmpty()) {
                errors << tr("Ошибка получения ответа от ОФД");
            } else {
                ui->progressBar->setFormat(tr("Запись квитанции в ФН"));
                FiscalStorageAnswer ticketAnswer;
                if (fsWorker->sendOfdTicket(receipt, ticketAnswer)) {
                    qDebug() << "OK";
                    FiscalStorageAnswer stateAnswer;
                    fsWorker->readTransportState(stateAnswer);
                } else {
                    errors << tr("Ошибка записи квитанции от ОФД");
                    fsWorker->cancelOfdMessage();
                    quint8 error = 0;
                    fsWorker->cancelDocument(error);
                    FiscalStorageAnswer stateAnswer;
                    fsWorker->readTransportState(stateAnswer);
                    FsTransportState transport;
                    stateAnswer.decodeTransport(transport);
                    qDebug() << stateAnswer.fsError() << transport.state()
                             << (transport.docIsReading() ? "true" : "false")
                             << transport.offlineDocsCount();
                }
            }
        }
    }

    FiscalStorageAnswer answer;
    const bool stateRead = fsWorker->readTransportState(answer);
    const bool result = stateRead && currentFsState().transport().offlineDocsCount() == 0;
    if (!result && errors.isEmpty())
        errors << tr("НЕИЗВЕСТНАЯ ОШИБКА ОТПРАВКИ В ОФД");

    fsWorker.release();
    ofdWorker.release();

    if (!errors.isEmpty())
        QMessageBox::critical(
            this, tr("ОТПРАВКА В ОФД"), errors.join(QLatin1Char('\n')), QMessageBox::Ok);
    return result;
}

void RegistrationWidget::showResult()
{
    ResultDialog *dialog = new ResultDialog(params, this);
    dialog->exec();
    delete dialog;
}
