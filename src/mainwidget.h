#ifndef MAINWIDGET_H
#define MAINWIDGET_H

#include "mgr/appsession.h"

#include <QSslConfiguration>
#include <QString>
#include <QVariantList>
#include <QWidget>

class LoginAccessManager;
class ProcessingSrvAccessMgr;
class Ui_MainWidget;

// The operator's only window: the model list from the processing server, the
// cash register's serial number, "Стереть МГМ", "Начать", and below them the
// registration form that carries out the fiscalization.
class MainWidget : public QWidget
{
    Q_OBJECT
public:
    // The processing server compiled into the program.
    explicit MainWidget(QWidget *parent = nullptr);
    // Another processing server, trusted through the given SSL configuration
    // (the emulator of the tests); everything else as above.
    MainWidget(const QString &hostName, quint16 port, const QSslConfiguration &ssl,
        QWidget *parent = nullptr);
    ~MainWidget() override;

private slots:
    void loginSuccess(AppSession sessionInfo);
    void initDialog(QVariantList data);
    void stop();
    void start();
    void cleanFs();

private:
    // Takes over the two managers (created without parent) and builds the window.
    MainWidget(LoginAccessManager *login, ProcessingSrvAccessMgr *data, QWidget *parent);

    // Enables "Стереть МГМ" only for a valid status of an MGM.
    void updateCleanButton();

    Ui_MainWidget *ui;
    LoginAccessManager *loginMgr;
    ProcessingSrvAccessMgr *dataMgr;
};

#endif // MAINWIDGET_H
