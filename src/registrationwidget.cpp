#include "registrationwidget.h"

#include "fs/fsstate.h"
#include "fs/fsworker.h"
#include "regnumber.h"
#include "ui_registrationwidget.h"

#include <QCheckBox>
#include <memory>

namespace {

struct BitBox
{
    QCheckBox *box;
    quint32 bit;
};

template <typename Bits, size_t N> Bits bitsOf(const BitBox (&boxes)[N])
{
    Bits bits = 0;
    for (const BitBox &b : boxes) {
        if (b.box->isChecked())
            bits |= Bits(b.bit);
    }
    return bits;
}

} // namespace

RegistrationWidget::RegistrationWidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_RegistrationWidget)
{
    ui->setupUi(this);

    ui->windowHeader->setText(tr("Регистрация"));
    ui->pbDoRegistration->setText(tr("Выполнить регистрацию"));
    ui->lbAdress->setText(tr("Адрес расчетов"));
    ui->lbPlace->setText(tr("Место расчетов"));

    const OfdDirectory &directory = ofdDirectory();
    for (auto it = directory.cbegin(); it != directory.cend(); ++it) {
        if (!ofds.contains(it.key()))
            ofds.insert(it.key(), it.value());
    }
    // The first item becomes current as it is added, which puts its INN into
    // the INN field at once.
    for (const OfdInfo &ofd : qAsConst(ofds))
        ui->cbOfdName->addItem(ofd.name(), ofd.inn());

    on_cbSeparateMode_clicked();
    on_cbAutomatMode_clicked();

    // Only an MGM gets a generated registration number; the button shows
    // once the storage is known (setParams).
    ui->pbRegNumber->hide();
    connect(ui->pbRegNumber, &QPushButton::released, this, &RegistrationWidget::getRegNumber);
}

RegistrationWidget::~RegistrationWidget() { delete ui; }

void RegistrationWidget::setParams(const RegistrationParams &params)
{
    this->params = params;
    const FsState state = currentFsState();
    ui->pbRegNumber->setVisible(state.debugMode());
    ui->windowHeader->setText(
        tr("РЕГИСТРАЦИЯ [%1 №%2 -> %3]")
            .arg(this->params.officialName(), this->params.serial().trimmed(), state.fsNumber()));
    acceptedFsNumber = state.fsNumber();
}

bool RegistrationWidget::checkFs(QString &error)
{
    // The worker lives for this call only; its destructor stops it as well,
    // but it is stopped explicitly first, as every user of a worker does.
    auto worker = std::make_unique<FsWorker>();
    worker->start();
    bool ok = false;
    if (!worker->refreshStatus()) {
        error = tr("Нет связи с ФН");
    } else {
        const FsState state = currentFsState();
        if (!state.isValid())
            error = tr("Ошибка получения статуса ФН");
        else if (state.phase() > 1)
            error = tr("ФН уже активирован");
        else
            ok = true;
    }
    worker->stop();
    return ok;
}

bool RegistrationWidget::resetMgm(QString &error)
{
    {
        auto worker = std::make_unique<FsWorker>();
        worker->start();
        // Whether the storage took the reset is decided by the check below.
        worker->eraseMgm();
        worker->stop();
    }
    return checkFs(error);
}

void RegistrationWidget::collectParams()
{
    params.setRegCashierName(ui->leCashier->text().trimmed());
    params.setRegCashierInn(ui->leCashierInn->text().trimmed());
    params.setFnsSite(ui->leFnsWebSite->text().trimmed());
    params.setEmail(ui->leSenderEmail->text().trimmed());
    params.setRegNumber(ui->leRegNumber->text().trimmed());
    params.setUserInn(ui->leUserInn->text().trimmed());
    params.setUserName(ui->leUserName->text().trimmed());
    params.setPaymentAddress(ui->leAddress->text().trimmed());
    params.setPaymentPlace(ui->lePlace->text().trimmed());
    params.setOfdInn(ui->leOfdInn->text().trimmed());
    params.setOfdName(ui->cbOfdName->currentText().trimmed());
    params.setAtmNumber(ui->leBoxNumber->text().trimmed());

    using P = RegistrationParams;
    const BitBox workModes[] = {
        { ui->cbEncryptingFlag, P::useEncryption },
        { ui->cbSeparateMode, P::offlineMode },
        { ui->cbAutomatMode, P::automatMode },
        { ui->cbServiceFlag, P::allowServices },
        { ui->cbBsoFlag, P::makeBso },
        { ui->cbInetCalcFlag, P::internetOnly },
        { ui->cbBoxPrinter, P::externPrinter },
        { ui->cbAkcizeMode, P::excisableGoods },
        { ui->cbCasinoFlag, P::allowGames },
        { ui->cbLohotronFlag, P::allowLotteries },
    };
    // Tax systems, bits 0 to 5.
    const BitBox taxSystems[] = {
        { ui->cbFiscalTraditional, 0x01 },
        { ui->cbFiscalSimple, 0x02 },
        { ui->cbFiscalSimplePlusMinus, 0x04 },
        { ui->cbFiscalOnce, 0x08 },
        { ui->cbFiscalOnceSh, 0x10 },
        { ui->cbFiscalPatent, 0x20 },
    };
    // Agent kinds, bits 0 to 6; bit 7 stays clear.
    const BitBox agentKinds[] = {
        { ui->cbAgentBankPay, 0x01 },
        { ui->cbAgentBankPaySub, 0x02 },
        { ui->cbAgentPay, 0x04 },
        { ui->cbAgentPaySub, 0x08 },
        { ui->cbAgentPeverenn, 0x10 },
        { ui->cbAgentComissionare, 0x20 },
        { ui->cbAgentAgent, 0x40 },
    };
    params.setRegFlags(bitsOf<quint16>(workModes));
    params.setTaxes(bitsOf<quint8>(taxSystems));
    params.setAgentFlags(bitsOf<quint8>(agentKinds));

    params.setFsNumber(currentFsState().fsNumber());
}

void RegistrationWidget::on_tabWidget_currentChanged(int) { }

void RegistrationWidget::on_cbOfdName_currentIndexChanged(int idx)
{
    ui->leOfdInn->setText(ui->cbOfdName->itemData(idx).toString().trimmed());
}

void RegistrationWidget::on_cbSeparateMode_clicked()
{
    const bool offline = ui->cbSeparateMode->isChecked();
    if (offline) {
        ui->cbEncryptingFlag->setChecked(false);
        ui->leOfdInn->clear();
        ui->cbOfdName->setCurrentText(QString());
    }
    QWidget *const onlineFields[] = {
        ui->cbEncryptingFlag,
        ui->leOfdInn,
        ui->cbOfdName,
        ui->lbOfdInn,
        ui->lbOfdName,
        ui->leFnsWebSite,
        ui->lFnsWebSite,
        ui->leSenderEmail,
        ui->lSenderEmail,
    };
    for (QWidget *field : onlineFields)
        field->setVisible(!offline);
}

void RegistrationWidget::on_cbAutomatMode_clicked()
{
    const bool automat = ui->cbAutomatMode->isChecked();
    ui->lbBoxNumber->setVisible(automat);
    ui->leBoxNumber->setVisible(automat);
    ui->cbBoxPrinter->setVisible(automat);
}

void RegistrationWidget::getRegNumber()
{
    const std::optional<QByteArray> number
        = randomRegNumber(params.serial(), ui->leUserInn->text());
    if (number)
        ui->leRegNumber->setText(QString::fromLatin1(*number));
}
