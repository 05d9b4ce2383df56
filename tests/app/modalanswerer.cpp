#include "modalanswerer.h"

#include <QAbstractButton>
#include <QDialog>

ModalAnswerer::ModalAnswerer(QObject *parent)
    : ModalWatcher(10, parent)
{ }

void ModalAnswerer::setAnswers(const QList<QMessageBox::StandardButton> &answers)
{
    m_answers = answers;
}

int ModalAnswerer::unexpected() const
{
    int count = 0;
    for (const Seen &seen : m_seen)
        count += seen.scripted ? 0 : 1;
    return count;
}

QStringList ModalAnswerer::boxes() const
{
    QStringList list;
    for (const Seen &seen : m_seen)
        list << seen.kind + QLatin1Char('|') + seen.title;
    return list;
}

void ModalAnswerer::clear()
{
    m_answers.clear();
    m_seen.clear();
}

void ModalAnswerer::messageBox(QMessageBox *box)
{
    Seen seen;
    seen.kind = kindOf(box);
    seen.title = box->windowTitle();
    seen.text = box->text();
    QAbstractButton *button = nullptr;
    const QList<QAbstractButton *> buttons = box->buttons();
    if (buttons.size() == 1) {
        // A message with nothing to choose: acknowledged as it comes.
        button = buttons.constFirst();
    } else if (!m_answers.isEmpty()) {
        button = box->button(m_answers.takeFirst());
    }
    if (!button) {
        // Not in the script: the answer that gives up, so the run ends.
        seen.scripted = false;
        for (QMessageBox::StandardButton refusal : { QMessageBox::No, QMessageBox::Cancel })
            button = button ? button : box->button(refusal);
        if (!button && !buttons.isEmpty())
            button = buttons.constLast();
    }
    m_seen << seen;
    if (m_onBox)
        m_onBox(seen);
    if (button)
        button->click();
    else
        box->reject();
}

void ModalAnswerer::dialog(QDialog *dialog)
{
    Seen seen;
    seen.kind = QStringLiteral("result");
    seen.title = dialog->windowTitle();
    const Report report = reportOf(dialog);
    seen.text = report.text;
    seen.html = report.html;
    seen.scripted = dialog->objectName() == QLatin1String("ResultDialog");
    m_seen << seen;
    if (m_onBox)
        m_onBox(seen);
    dialog->reject();
}
