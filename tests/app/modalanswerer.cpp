#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
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

} // namespace

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

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

void ModalAnswerer::poll()
{
    // A hook may run a nested event loop (a storage command): no second visit
    // to the same box meanwhile.
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
        return;
    }

    if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        Seen seen;
        seen.kind = QStringLiteral("result");
        seen.title = dialog->windowTitle();
        if (auto *browser = dialog->findChild<QTextBrowser *>(QStringLiteral("textBrowser"))) {
            seen.text = browser->toPlainText();
            seen.html = browser->toHtml();
        }
        seen.scripted = dialog->objectName() == QLatin1String("ResultDialog");
        m_seen << seen;
        if (m_onBox)
            m_onBox(seen);
        dialog->reject();
    }
}
