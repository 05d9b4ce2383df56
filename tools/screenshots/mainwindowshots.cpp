#include "mainwindowshots.h"

#include <QDir>
#include <QTextStream>

#ifdef TAVRON_SHOTS_MAIN_WINDOW

#include "mainwidget.h"
#include "mgr/processingserver.h"
#include "ofdserveremulator.h"
#include "processingserveremulator.h"
#include "regnumber.h"
#include "usb/usbemu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSslCertificate>
#include <QTimer>

#include <functional>

namespace {

const char SerialNumber[] = "00000012345678";
const char UserInn[] = "7700001235";
// The loopback operator of the directory, served by the OFD emulator.
const char OfdInn[] = "7703282175";
const quint16 OfdPort = 7777;

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.hasExpired(ms))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Plays the operator at the modal boxes: each one that comes up is taken as
// the next step, pictured if the step names a file, and answered.
class Operator : public QObject
{
public:
    struct Step
    {
        QString file; // empty: no picture
        QMessageBox::StandardButton answer; // NoButton: close the dialog
    };

    Operator(const QDir &out, QTextStream &err)
        : m_out(out)
        , m_err(err)
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &Operator::poll);
        m_timer.start();
    }

    void expect(const QList<Step> &steps) { m_steps = steps; }
    int pending() const { return m_steps.size(); }
    int failures() const { return m_failures; }

    bool save(QWidget *widget, const QString &file)
    {
        // Every text from its beginning, as the operator sees a field after leaving it.
        const QList<QLineEdit *> edits = widget->findChildren<QLineEdit *>();
        for (QLineEdit *edit : edits)
            edit->setCursorPosition(0);
        const QString path = m_out.filePath(file);
        if (widget->grab().save(path)) {
            m_err << "wrote " << path << "\n";
            return true;
        }
        m_err << "cannot write " << path << "\n";
        ++m_failures;
        return false;
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || m_busy)
            return;
        m_busy = true;
        const Step step
            = m_steps.isEmpty() ? Step { QString(), QMessageBox::NoButton } : m_steps.takeFirst();
        if (!step.file.isEmpty())
            save(modal, step.file);
        auto *box = qobject_cast<QMessageBox *>(modal);
        QAbstractButton *button = box ? box->button(step.answer) : nullptr;
        if (box && !button) {
            m_err << "unexpected box: " << box->windowTitle() << " " << box->text() << "\n";
            ++m_failures;
            button = box->button(QMessageBox::No) ? box->button(QMessageBox::No)
                                                  : box->buttons().constLast();
        }
        if (button)
            button->click();
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        m_busy = false;
    }

    QDir m_out;
    QTextStream &m_err;
    QTimer m_timer;
    QList<Step> m_steps;
    int m_failures = 0;
    bool m_busy = false;
};

template <typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

void fillForm(QWidget *window)
{
    const QList<QPair<const char *, QString>> texts = {
        { "leCashier", QStringLiteral("Иванов Иван Иванович") },
        { "leCashierInn", QStringLiteral("500100732259") },
        { "leFnsWebSite", QStringLiteral("www.nalog.gov.ru") },
        { "leSenderEmail", QStringLiteral("kassa@romashka.ru") },
        { "leRegNumber",
            QString::fromLatin1(makeRegNumber(QByteArrayLiteral("1"),
                regNumberSerial(QString::fromLatin1(SerialNumber)), QByteArray(UserInn))) },
        { "leUserInn", QString::fromLatin1(UserInn) },
        { "leUserName", QStringLiteral("ООО \"Ромашка\"") },
        { "leAddress", QStringLiteral("г. Тверь, ул. Советская, д. 1") },
        { "lePlace", QStringLiteral("Магазин \"Ромашка\"") },
    };
    for (const auto &text : texts)
        child<QLineEdit>(window, text.first)->setText(text.second);
    auto *ofd = child<QComboBox>(window, "cbOfdName");
    ofd->setCurrentIndex(ofd->findData(QString::fromLatin1(OfdInn)));
    for (const char *box : { "cbServiceFlag", "cbAgentPay", "cbFiscalSimple" })
        child<QCheckBox>(window, box)->setChecked(true);
}

} // namespace

int mainWindowShots(const QDir &out, QTextStream &err)
{
    ProcessingServerEmulator processing;
    if (!processing.setCertificateFiles(QStringLiteral(TAVRON_TLS_DIR "/server.pem"),
            QStringLiteral(TAVRON_TLS_DIR "/server.key.pem"))
        || !processing.start(QHostAddress::LocalHost, 0)) {
        err << "the processing server emulator did not start\n";
        return 4;
    }
    processing.setAccount(ProcessingServer::login(), ProcessingServer::password());
    OfdServerEmulator ofd;
    if (!ofd.start(QHostAddress(QStringLiteral("127.0.0.1")), OfdPort)) {
        err << "the OFD emulator cannot listen on 127.0.0.1:7777: " << ofd.errorString() << "\n";
        return 4;
    }
    usbemu::reset(); // a fresh MGM

    const QSslConfiguration ssl = ProcessingServer::sslConfigurationTrusting(
        QSslCertificate::fromPath(QStringLiteral(TAVRON_TLS_DIR "/ca.pem")));
    MainWidget window(QStringLiteral("127.0.0.1"), processing.serverPort(), ssl);
    window.show();
    if (!waitFor([&window] { return window.isEnabled(); }, 15000)) {
        err << "the main window got no model list\n";
        return 4;
    }

    Operator person(out, err);
    person.save(&window, QStringLiteral("main-window.png"));

    child<QLineEdit>(&window, "leSerial")->setText(QString::fromLatin1(SerialNumber));
    person.expect({ { QStringLiteral("main-window-question.png"), QMessageBox::Yes } });
    child<QPushButton>(&window, "pbStart")->click();
    fillForm(&window);
    person.save(&window, QStringLiteral("main-window-form.png"));

    person.expect({ { QStringLiteral("main-window-confirmation.png"), QMessageBox::Apply },
        { QString(), QMessageBox::Apply },
        { QStringLiteral("main-window-result.png"), QMessageBox::NoButton } });
    child<QPushButton>(&window, "pbDoRegistration")->click();
    if (person.pending() != 0) {
        err << "the registration ended before its result dialog\n";
        return person.failures() + person.pending();
    }
    if (usbemu::unconfirmedCount() != 0)
        err << "note: the document did not reach the OFD\n";
    return person.failures();
}

#else

int mainWindowShots(const QDir &, QTextStream &err)
{
    err << "main window pictures skipped: they need the emulators (TAVRON_BUILD_EMULATORS=ON)\n";
    return 0;
}

#endif
