#ifndef BENCHOPERATOR_H
#define BENCHOPERATOR_H

#include "modalwatcher.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Plays a patient operator at the modal boxes of the program, by what a box
// asks rather than by a script, so that a fault that changes the course of a
// run still ends in a recorded, comparable sequence of boxes:
//
// - the hand-over question ("Зафискализировать ...?") and the question that
//   confirms the registration report: Yes / Apply;
// - "Неудачная попытка. попробуем еще раз?": the retry hook runs first (a
//   test takes its fault away there), then Yes, up to maxRetries times; after
//   that No, so that a run that can never complete still ends;
// - warnings and critical boxes: OK;
// - the result dialog: its report is recorded and the dialog closed.
class BenchOperator : public ModalWatcher
{
    Q_OBJECT
public:
    struct Box
    {
        QString kind; // "warning", "critical", "question", "information", "result"
        QString title;
        QString text; // the message, or the result dialog's report as plain text
    };

    explicit BenchOperator(QObject *parent = nullptr);

    void setMaxRetries(int count) { m_maxRetries = count; }
    // Runs before a retry question is answered; the box is the question.
    void setOnRetry(const std::function<void(const Box &)> &hook) { m_onRetry = hook; }
    // Runs when the result dialog is up, before it is closed.
    void setOnResult(const std::function<void(const Box &)> &hook) { m_onResult = hook; }

    const QList<Box> &boxes() const { return m_boxes; }
    // "kind|title" of every box, for QCOMPARE.
    QStringList titles() const;
    // The texts of the warning and critical boxes, in order.
    QStringList messages() const;
    int retries() const { return m_retries; }
    int results() const;
    // Questions answered No because the retries ran out.
    int refusals() const { return m_refusals; }
    void clear();

protected:
    void messageBox(QMessageBox *box) override;
    void dialog(QDialog *dialog) override;

private:
    QList<Box> m_boxes;
    std::function<void(const Box &)> m_onRetry;
    std::function<void(const Box &)> m_onResult;
    int m_maxRetries = 3;
    int m_retries = 0;
    int m_refusals = 0;
};

#endif // BENCHOPERATOR_H
