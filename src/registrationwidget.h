#ifndef REGISTRATIONWIDGET_H
#define REGISTRATIONWIDGET_H

#include "fs/ofdinfo.h"
#include "registrationparams.h"

#include <QMap>
#include <QString>
#include <QWidget>

class Ui_RegistrationWidget;

// The form in which the operator enters the registration parameters of one
// fiscalization. It also runs the two storage services of the main window:
// the check that a storage is present and not yet registered, and the erasing
// of an MGM. The fiscalization run itself (fiscalization.cpp) is a member of
// this class as well.
class RegistrationWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RegistrationWidget(QWidget *parent = nullptr);
    ~RegistrationWidget() override;

    // Takes over the record the main window prepared (model and serial number)
    // and shows whose fiscalization this is.
    void setParams(const RegistrationParams &params);
    // The record as the form holds it: the hand-over, refreshed by collectParams().
    RegistrationParams registrationParams() const { return params; }

    // True when a storage answers, its status is valid and it is not yet
    // registered (phase 0 or 1); otherwise false with the operator's text.
    static bool checkFs(QString &error);
    // Resets the storage (an MGM), then checks it as checkFs() does.
    bool resetMgm(QString &error);

    // Copies the widgets into the record, texts trimmed.
    void collectParams();

signals:
    // A fiscalization run is over.
    void finish();

private slots:
    void on_pbDoRegistration_clicked();
    void on_tabWidget_currentChanged(int);
    void on_cbOfdName_currentIndexChanged(int idx);
    void on_cbSeparateMode_clicked();
    void on_cbAutomatMode_clicked();
    void getRegNumber();

private:
    // The fiscalization run (fiscalization.cpp).
    bool confirmRegistration();
    bool fiscalize();
    bool processOfdDocuments();
    void showResult();

    Ui_RegistrationWidget *ui;
    QMap<QString, OfdInfo> ofds;
    RegistrationParams params;
    QString acceptedFsNumber;
};

#endif // REGISTRATIONWIDGET_H
