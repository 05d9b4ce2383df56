#include "benchoperator.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>

namespace {

const QString RetryText = QStringLiteral("Неудачная попытка. попробуем еще раз?");

} // namespace

BenchOperator::BenchOperator(QObject *parent)
    : ModalWatcher(5, parent)
{ }

QStringList BenchOperator::titles() const
{
    QStringList list;
    for (const Box &box : m_boxes)
        list << box.kind + QLatin1Char('|') + box.title;
    return list;
}

QStringList BenchOperator::messages() const
{
    QStringList list;
    for (const Box &box : m_boxes) {
        if (box.kind == QLatin1String("warning") || box.kind == QLatin1String("critical"))
            list << box.text;
    }
    return list;
}

int BenchOperator::results() const
{
    int count = 0;
    for (const Box &box : m_boxes)
        count += box.kind == QLatin1String("result") ? 1 : 0;
    return count;
}

void BenchOperator::clear()
{
    m_boxes.clear();
    m_retries = 0;
    m_refusals = 0;
}

void BenchOperator::messageBox(QMessageBox *box)
{
    Box seen { kindOf(box), box->windowTitle(), box->text() };
    m_boxes << seen;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    if (seen.kind == QLatin1String("question")) {
        if (seen.text == RetryText) {
            if (m_retries < m_maxRetries) {
                ++m_retries;
                if (m_onRetry)
                    m_onRetry(seen);
                answer = QMessageBox::Yes;
            } else {
                ++m_refusals;
                answer = QMessageBox::No;
            }
        } else if (box->button(QMessageBox::Apply)) {
            answer = QMessageBox::Apply;
        } else {
            answer = QMessageBox::Yes;
        }
    }
    QAbstractButton *button = box->button(answer);
    if (!button)
        button = box->escapeButton();
    if (button)
        button->click();
    else
        box->reject();
}

void BenchOperator::dialog(QDialog *dialog)
{
    Box seen { QStringLiteral("result"), dialog->objectName(), reportOf(dialog).text };
    m_boxes << seen;
    if (m_onResult)
        m_onResult(seen);
    dialog->reject();
}
