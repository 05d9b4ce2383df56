#include "benchoperator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTextBrowser>

namespace {

QString kindOf(const QMessageBox *box)
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

const QString RetryText = QStringLiteral("Неудачная попытка. попробуем еще раз?");

} // namespace

BenchOperator::BenchOperator(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &BenchOperator::poll);
    m_timer.start();
}

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

void BenchOperator::poll()
{
    // A hook may talk to the storage or wait: no second visit meanwhile.
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

    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
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
        return;
    }

    if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        Box seen { QStringLiteral("result"), dialog->objectName(), QString() };
        if (auto *browser = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser")))
            seen.text = browser->toPlainText();
        m_boxes << seen;
        if (m_onResult)
            m_onResult(seen);
        dialog->reject();
    }
}
