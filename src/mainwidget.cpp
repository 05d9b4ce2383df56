#include "mainwidget.h"
#include "ui_mainwidget.h"

#include "fs/fsstate.h"
#include "mgr/loginaccessmanager.h"
#include "mgr/processingserver.h"
#include "mgr/processingsrvaccessmgr.h"
#include "registrationparams.h"
#include "registrationwidget.h"

#include <QMessageBox>

namespace {

// The slot of the session store that holds the operator's login (type 2).
constexpr AppSession::SessionType OperatorSession = AppSession::OperatorLogin;
// What the program tells the processing server about itself when it logs in.
const quint32 LoginIdHardSoft = 1;

const char *const FiscalizeTitle = QT_TRANSLATE_NOOP("MainWidget", "ФИСКАЛИЗАЦИЯ");
const char *const CleanTitle = QT_TRANSLATE_NOOP("MainWidget", "ОЧИСТКА МГМ");

// Model codes that the program can register.
constexpr int FirstOfficialModel = 200;
constexpr int LastOfficialModel = 255;

} // namespace

MainWidget::MainWidget(QWidget *parent)
    : MainWidget(new LoginAccessManager(ProcessingServer::host(), ProcessingServer::port()),
        new ProcessingSrvAccessMgr(ProcessingServer::host(), ProcessingServer::port()), parent)
{ }

MainWidget::MainWidget(
    const QString &hostName, quint16 port, const QSslConfiguration &ssl, QWidget *parent)
    : MainWidget(new LoginAccessManager(hostName, port, ssl),
        new ProcessingSrvAccessMgr(hostName, port, ssl), parent)
{ }

MainWidget::MainWidget(LoginAccessManager *login, ProcessingSrvAccessMgr *data, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui_MainWidget)
    , loginMgr(login)
    , dataMgr(data)
{
    qRegisterMetaType<AppSession>("AppSession");

    ui->setupUi(this);
    setWindowTitle(tr("ТАВРОН"));

    loginMgr->setScheme(QStringLiteral("HTTPS"));
    dataMgr->setScheme(QStringLiteral("HTTPS"));

    connect(dataMgr, &ProcessingSrvAccessMgr::supportedModelsLoaded, this, &MainWidget::initDialog);

    storeSession(OperatorSession, ProcessingServer::credentials());

    connect(loginMgr, &LoginAccessManager::loginSuccess, this, &MainWidget::loginSuccess);
    loginMgr->login(OperatorSession, LoginIdHardSoft);

    setEnabled(false);

    connect(ui->pbStart, &QPushButton::released, this, &MainWidget::start);
    connect(ui->pbCleanFs, &QPushButton::released, this, &MainWidget::cleanFs);
    ui->pbCleanFs->setEnabled(false);

    connect(ui->wFiscalize, &RegistrationWidget::finish, this, &MainWidget::stop);
}

MainWidget::~MainWidget()
{
    delete ui;
    // The managers have no parent: they live exactly as long as the window.
    delete dataMgr;
    delete loginMgr;
}

void MainWidget::loginSuccess(AppSession sessionInfo)
{
    storeSession(OperatorSession, sessionInfo);
    dataMgr->requestSupportedModels();
}

void MainWidget::initDialog(QVariantList data)
{
    ui->cbModel->clear();
    for (const QVariant &element : qAsConst(data)) {
        const QVariantMap model = element.toMap();
        bool hardwareOk = false;
        const int hardwareType = model.value(QStringLiteral("idHardwareType")).toInt(&hardwareOk);
        bool modelOk = false;
        const int officialModel = model.value(QStringLiteral("officialModel")).toInt(&modelOk);
        if (!hardwareOk || hardwareType != 1 || !modelOk || officialModel < FirstOfficialModel
            || officialModel > LastOfficialModel)
            continue;
        ui->cbModel->addItem(model.value(QStringLiteral("name")).toString().trimmed(), model);
    }
    setEnabled(true);
    ui->wFiscalize->setEnabled(false);
    ui->pbCleanFs->setEnabled(false);
}

void MainWidget::stop()
{
    setEnabled(true);
    ui->wFiscalize->setEnabled(false);
    ui->pbCleanFs->setEnabled(false);
}

void MainWidget::start()
{
    QString error;
    const QString serial = ui->leSerial->text().trimmed();
    if (ui->cbModel->currentText().isEmpty()) {
        error = tr("Не задана модель кассы");
    } else if (serial.isEmpty()) {
        error = tr("Не зада наводской номер кассы");
    } else if (RegistrationWidget::checkFs(error)) {
        const FsState state = currentFsState();
        const QString question
            = tr("Зафискализировать %1 №%2 c %3 №%4?")
                  .arg(ui->cbModel->currentText(), serial,
                      state.isFiscalStorage() ? tr("ФН") : tr("МГМ"), state.fsNumber().trimmed());
        if (QMessageBox::question(
                this, tr(FiscalizeTitle), question, QMessageBox::Yes | QMessageBox::No)
            == QMessageBox::Yes) {
            ui->wFiscalize->setEnabled(true);
            const QVariantMap model = ui->cbModel->currentData().toMap();
            RegistrationParams params;
            params.setOfficialModel(
                static_cast<quint16>(model.value(QStringLiteral("officialModel")).toUInt()));
            params.setOfficialName(
                model.value(QStringLiteral("officialName")).toString().trimmed());
            params.setSerial(serial);
            params.setOfficialVersion(model.value(QStringLiteral("officialVersion")).toString());
            ui->wFiscalize->setParams(params);
        }
        updateCleanButton();
        return;
    }
    QMessageBox::warning(this, tr(FiscalizeTitle), error, QMessageBox::Ok);
    updateCleanButton();
}

void MainWidget::cleanFs()
{
    ui->pbCleanFs->setEnabled(false);
    QString error;
    if (!ui->wFiscalize->resetMgm(error))
        QMessageBox::warning(this, tr(CleanTitle), error, QMessageBox::Ok);
    updateCleanButton();
}

void MainWidget::updateCleanButton()
{
    const FsState state = currentFsState();
    ui->pbCleanFs->setEnabled(state.isValid() && !state.isFiscalStorage());
}
