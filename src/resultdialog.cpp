#include "resultdialog.h"

#include "registrationreport.h"
#include "ui_resultdialog.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextDocumentWriter>

namespace {

struct SaveFormat
{
    const char *filter;
    const char *writerFormat;
    const char *extension;
};

// In the order the save dialog offers them.
const SaveFormat saveFormats[] = {
    { "Документ ODF (*.odt)", "odf", ".odt" },
    { "Текстовый документ (*.txt)", "plaintext", ".txt" },
    { "HTML (*.html)", "html", ".html" },
};

} // namespace

ResultDialog::ResultDialog(const RegistrationParams &params, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_ResultDialog)
    , params(params)
{
    ui->setupUi(this);
    ui->textBrowser->setHtml(reportHtml(this->params));
    connect(ui->pbSave, &QPushButton::released, this, &ResultDialog::save);
}

ResultDialog::~ResultDialog() { delete ui; }

void ResultDialog::save()
{
    QStringList filters;
    for (const SaveFormat &format : saveFormats)
        filters << QString::fromUtf8(format.filter);

    QString selectedFilter;
    QString fileName = QFileDialog::getSaveFileName(this, tr("Сохранение результатов фискализации"),
        QDir::homePath(), filters.join(QStringLiteral(";;")), &selectedFilter);
    if (fileName.isEmpty())
        return;

    const SaveFormat *chosen = nullptr;
    for (const SaveFormat &format : saveFormats) {
        if (selectedFilter == QString::fromUtf8(format.filter))
            chosen = &format;
    }
    // The dialog always hands back one of the filters it was given; should it
    // not, the document is kept as ODF, the first choice offered.
    if (!chosen)
        chosen = &saveFormats[0];

    const QString extension = QString::fromLatin1(chosen->extension);
    if (!fileName.endsWith(extension, Qt::CaseSensitive))
        fileName += extension;

    QTextDocumentWriter writer(fileName, chosen->writerFormat);
    if (!writer.write(ui->textBrowser->document())) {
        // Say so rather than let the operator believe the report is kept.
        QMessageBox::warning(this, tr("СОХРАНЕНИЕ"),
            tr("Не удалось сохранить отчет в файл %1").arg(QDir::toNativeSeparators(fileName)));
    }
}

void ResultDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
