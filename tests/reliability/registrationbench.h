#ifndef REGISTRATIONBENCH_H
#define REGISTRATIONBENCH_H

// The whole program at the bench: the real main window and registration form
// offscreen, logged in to the emulated processing server, the emulated
// adapter and storage in place of libusb, and an emulated OFD.
//
// The OFD emulator listens where the directory's loopback operator points,
// 127.0.0.1:7777 (Qt connects to a loopback address without any proxy), so
// the tests that use this bench are marked SERIAL.

#include "appbench.h"
#include "ofdserveremulator.h"
#include "processingserveremulator.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

#include <memory>

class BenchOperator;
class MainWidget;
class RegistrationWidget;

namespace bench {

using appbench::LoopbackOfdInn;
using appbench::LoopbackOfdPort;

// What the test operator types into the form: valid for an MGM with the
// default serial number.
using Entry = appbench::Entry;

// The tags the storage receives for Entry, in the order sent.
QList<quint16> entryTags();

class RegistrationBench
{
public:
    // Where the emulated OFD runs: in this process (its signals and settings
    // at hand), or as the standalone program, so that what it records is not
    // counted in this process's memory (the soak).
    enum class Ofd
    {
        InProcess,
        Standalone
    };

    explicit RegistrationBench(Ofd ofd = Ofd::InProcess);
    ~RegistrationBench();

    // Starts both emulators; false with a reason in error().
    bool start();
    QString error() const { return m_error; }

    ProcessingServerEmulator &processing() { return m_processing; }
    // The in-process OFD (idle with Ofd::Standalone).
    OfdServerEmulator &ofd() { return m_ofd; }
    BenchOperator &operatorAtBench() { return *m_operator; }

    // A new main window, logged in, with its model list (false when it is
    // not ready within the time given).
    bool openWindow(int waitMs = 15000);
    void closeWindow();
    MainWidget *window() const { return m_window.get(); }
    RegistrationWidget *form() const { return m_form; }

    // The serial number typed, the first model chosen, "Начать" pressed; the
    // operator agrees to the hand-over. True when the form is enabled then.
    bool handOver(const Entry &entry);
    // Types the entry into the form and chooses the loopback OFD.
    bool fill(const Entry &entry);
    // "Выполнить регистрацию"; returns when the run is over.
    void pressRegister();
    // "Стереть МГМ"; returns when the erase is over. False when the button is
    // not enabled.
    bool pressClean();

    // The OFD's records of documents (refused containers left out).
    QList<QJsonObject> ofdDocuments() const;
    // How many times the OFD received exactly this document (the storage's
    // document for the OFD, as 0x22/0x23 hand it out) since markOfd().
    int copiesAtOfd(const QByteArray &document) const;
    void markOfd();

private:
    bool startStandaloneOfd();

    Ofd m_ofdMode;
    std::unique_ptr<QProcess> m_ofdProcess;
    QString m_ofdRecord;
    ProcessingServerEmulator m_processing;
    OfdServerEmulator m_ofd;
    std::unique_ptr<BenchOperator> m_operator;
    std::unique_ptr<MainWidget> m_window;
    RegistrationWidget *m_form = nullptr;
    QString m_error;
    int m_ofdMark = 0;
};

} // namespace bench

#endif // REGISTRATIONBENCH_H
