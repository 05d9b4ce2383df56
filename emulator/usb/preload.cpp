// Only in the preloadable library: sets the model up from the environment
// when the library is loaded, and keeps the storage in the state file.

#include "usb/emulatedadapter.h"

#include <QFile>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QSaveFile>

#include <cstdio>

namespace {

using usbemu::EmulatedAdapter;

QByteArray environment(const char *name) { return qgetenv(name); }

// Called under the model's lock.
void writeState(EmulatedAdapter &adapter, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "usbemu: cannot write the state file %s\n", qPrintable(path));
        return;
    }
    file.write(QJsonDocument(adapter.storage.toJson()).toJson(QJsonDocument::Indented));
    if (!file.commit())
        std::fprintf(stderr, "usbemu: cannot write the state file %s\n", qPrintable(path));
}

struct PreloadSetup
{
    PreloadSetup()
    {
        QMutexLocker locker(&EmulatedAdapter::lock());
        EmulatedAdapter &adapter = EmulatedAdapter::instance();

        adapter.trace = environment("TAVRON_USBEMU_TRACE") == "1";
        if (environment("TAVRON_USBEMU_PLUGGED") == "0")
            adapter.setPlugged(false);
        if (environment("TAVRON_USBEMU_ATTACHED") == "0")
            adapter.attached = false;
        bool ok = false;
        const int latency = environment("TAVRON_USBEMU_LATENCY").toInt(&ok);
        if (ok && latency >= 0)
            adapter.storage.defaultLatency = latency;

        const QString path = QString::fromLocal8Bit(environment("TAVRON_USBEMU_STATE"));
        bool loaded = false;
        if (!path.isEmpty()) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
                loaded = document.isObject() && adapter.storage.fromJson(document.object());
                if (!loaded)
                    std::fprintf(stderr, "usbemu: state file %s unreadable, using a new storage\n",
                        qPrintable(path));
            }
        }
        if (!loaded) {
            if (environment("TAVRON_USBEMU_KIND") == "fs")
                adapter.storage.kind = usbemu::StorageKind::FiscalStorage;
            const QByteArray serial = environment("TAVRON_USBEMU_SERIAL");
            if (!serial.isEmpty()) {
                QByteArray value = serial.left(16);
                value.append(QByteArray(16 - value.size(), ' '));
                adapter.storage.serial = value;
            }
        }
        if (!path.isEmpty()) {
            if (!loaded)
                writeState(adapter, path);
            adapter.storageChanged = [path]() { writeState(EmulatedAdapter::instance(), path); };
        }
        if (adapter.trace) {
            std::fprintf(stderr, "usbemu: adapter %s, storage %s (%s, serial %s, phase 0x%02x)\n",
                adapter.plugged ? "plugged" : "unplugged",
                adapter.attached ? "attached" : "detached",
                adapter.storage.kind == usbemu::StorageKind::Mgm ? "MGM" : "fiscal storage",
                adapter.storage.serial.constData(), adapter.storage.phase);
        }
    }
};

const PreloadSetup preloadSetup;

} // namespace
