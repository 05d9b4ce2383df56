#include "registrationwidget.h"

void RegistrationWidget::on_pbDoRegistration_clicked()
{
    // The fiscalization run (confirm, register the storage, send to the OFD) lands here.
}
