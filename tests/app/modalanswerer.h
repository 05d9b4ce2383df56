#ifndef MODALANSWERER_H
#define MODALANSWERER_H

#include "modalwatcher.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

// Plays the operator at the modal boxes of the program: every box that comes
// up is recorded; a box with a single button (a warning, an error) is
// acknowledged with it, a question takes the next scripted answer. A question
// the script did not expect, or whose scripted answer it does not offer, is
// answered No or Cancel, so a wrong run ends instead of looping; the test sees
// it in the record (unexpected()).
class ModalAnswerer : public ModalWatcher
{
    Q_OBJECT
public:
    struct Seen
    {
        QString kind; // "warning", "critical", "question", "information", "result"
        QString title;
        QString text; // message text, or the report of the result dialog as plain text
        QString html; // the result dialog's report as the program gave it
        bool scripted = true;
    };

    explicit ModalAnswerer(QObject *parent = nullptr);

    // The answers to the questions, in the order they are expected. Boxes with
    // a single button and the result dialog (closed whenever it comes up) take
    // no answer from this list.
    void setAnswers(const QList<QMessageBox::StandardButton> &answers);
    void addAnswer(QMessageBox::StandardButton answer) { m_answers << answer; }

    // Runs for every box before it is answered: a test changes the peers
    // there (clears a fault, confirms a document) as an operator's pause would.
    void setOnBox(const std::function<void(const Seen &)> &hook) { m_onBox = hook; }

    const QList<Seen> &seen() const { return m_seen; }
    int unanswered() const { return m_answers.size(); }
    int unexpected() const;
    // "kind|title" of every box, one string each: compact for QCOMPARE.
    QStringList boxes() const;
    void clear();

protected:
    void messageBox(QMessageBox *box) override;
    void dialog(QDialog *dialog) override;

private:
    QList<QMessageBox::StandardButton> m_answers;
    QList<Seen> m_seen;
    std::function<void(const Seen &)> m_onBox;
};

#endif // MODALANSWERER_H
