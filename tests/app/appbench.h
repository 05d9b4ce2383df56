#ifndef APPBENCH_H
#define APPBENCH_H

// The bench of the end-to-end tests: the real main window, logged in to the
// emulated processing server over TLS (the test CA trusted), with the
// emulated adapter and storage linked in place of libusb.

#include <QSslConfiguration>
#include <QString>
#include <QVariantMap>

#include <memory>

class MainWidget;
class ProcessingServerEmulator;

namespace appbench {

// The program's SSL configuration, trusting the test CA of tests/data/tls.
QSslConfiguration testSsl();

// Certificate, key and the compiled-in account; listens on an ephemeral port.
bool startProcessing(ProcessingServerEmulator &emulator);

// A shown main window for the emulator. It is still waiting for its model
// list when it comes back.
std::unique_ptr<MainWidget> openWindow(const ProcessingServerEmulator &emulator);

// One model record as the processing server sends it.
QVariantMap model(int idHardwareType, const QVariant &officialModel, const QString &name,
    const QString &officialName = QStringLiteral("МОДЕЛЬ"),
    const QString &officialVersion = QStringLiteral("001"));

} // namespace appbench

#endif // APPBENCH_H
