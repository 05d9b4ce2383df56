#ifndef RESULTDIALOG_H
#define RESULTDIALOG_H

#include "registrationparams.h"

#include <QDialog>

class Ui_ResultDialog;

// Shows the registration report after a fiscalization and saves it as an ODF
// document, plain text or HTML at the operator's wish.
class ResultDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ResultDialog(const RegistrationParams &params, QWidget *parent = nullptr);
    ~ResultDialog() override;

public slots:
    void save();

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui_ResultDialog *ui;
    RegistrationParams params;
};

#endif // RESULTDIALOG_H
