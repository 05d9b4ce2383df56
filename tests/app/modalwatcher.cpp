#include "modalwatcher.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTextBrowser>

QString ModalWatcher::kindOf(const QMessageBox *box)
{
    switch (box->icon()) {
    case QMessageBox::Warning:
        return QStringLiteral("warning");
    case QMessageBox::Critical:
        return QStringLiteral("critical");
    case QMessageBox::Question:
        return QStringLiteral("question");
    case QMessageBox::Information:
        return QStringLiteral("information");
    default:
        return QStringLiteral("message");
    }
}

ModalWatcher::Report ModalWatcher::reportOf(const QDialog *dialog)
{
    Report report;
    if (auto *browser = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"))) {
        report.text = browser->toPlainText();
        report.html = browser->toHtml();
    }
    return report;
}

ModalWatcher::ModalWatcher(int intervalMs, QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    if (m_busy)
        return;
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    m_busy = true;
    struct Unbusy
    {
        bool &flag;
        ~Unbusy() { flag = false; }
    } unbusy { m_busy };

    if (auto *box = qobject_cast<QMessageBox *>(modal))
        messageBox(box);
    else if (auto *found = qobject_cast<QDialog *>(modal))
        dialog(found);
}
