#ifndef APPBENCH_H
#define APPBENCH_H

// The bench of the end-to-end tests: the real main window, logged in to the
// emulated processing server over TLS (the test CA trusted), with the
// emulated adapter and storage linked in place of libusb.

#include <QList>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QVariantMap>

#include <memory>

class MainWidget;
class ProcessingServerEmulator;
class QLineEdit;

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

// The operator served by the loopback OFD of the directory: "Энвижн Груп",
// 127.0.0.1:7777.
extern const QString LoopbackOfdInn;
extern const QString LoopbackOfdName;
extern const quint16 LoopbackOfdPort;

// What the test operator types into the registration form: valid for an MGM
// with the default serial number.
struct Entry
{
    QString serial = QStringLiteral("0042000123");
    QString cashier = QStringLiteral("Петров П.П.");
    QString cashierInn = QStringLiteral("770123450074");
    QString fnsSite = QStringLiteral("www.nalog.gov.ru");
    QString email = QStringLiteral("kassa@shop.example");
    QString userInn = QStringLiteral("7700001235");
    QString userName = QStringLiteral("ООО \"Ромашка\"");
    QString address = QStringLiteral("г. Москва, ул. Тверская, д. 1");
    QString place = QStringLiteral("Магазин №1");

    QString regNumber() const;
    // The form's line edits (object names) and what goes into each, in the
    // order they are filled.
    QList<QPair<const char *, QString>> texts() const;
};

// Clears the edit and puts the text in: typed when it is Latin-1 (all QTest
// can type), otherwise inserted as a paste would.
void typeInto(QLineEdit *edit, const QString &text);

} // namespace appbench

#endif // APPBENCH_H
