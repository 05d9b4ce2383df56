#ifndef MODALWATCHER_H
#define MODALWATCHER_H

#include <QObject>
#include <QString>
#include <QTimer>

class QDialog;
class QMessageBox;

// Looks for the program's modal boxes at a fixed interval: the active modal
// widget, once shown, goes to messageBox() or to dialog(). A handler may run
// a nested event loop (a storage command, a wait): the box in hand is not
// visited a second time meanwhile. How a box is answered is the subclass's.
class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    // "warning", "critical", "question", "information", or "message".
    static QString kindOf(const QMessageBox *box);

    // The report of the result dialog as its text browser shows it; both
    // empty when the dialog has none.
    struct Report
    {
        QString text; // plain text
        QString html; // as the program gave it
    };
    static Report reportOf(const QDialog *dialog);

protected:
    ModalWatcher(int intervalMs, QObject *parent);

    virtual void messageBox(QMessageBox *box) = 0;
    virtual void dialog(QDialog *dialog) = 0;

private:
    void poll();

    QTimer m_timer;
    bool m_busy = false;
};

#endif // MODALWATCHER_H
