// A small tool linked against the real libusb-0.1, like the program: it starts
// a storage worker and prints what it reads. Run under LD_PRELOAD of the
// emulated adapter it shows the emulator being found by a real-libusb binary.
//
//   fsprobe [status|register]
//
// Exit code 0 with a status line, 2 when no storage could be read.

#include "fs/fsworker.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("status");

    FsWorker worker;
    worker.start();

    if (mode == QLatin1String("register")) {
        // 1021 cashier
        const QByteArray cashier = QByteArray::fromHex("fd030600") + QByteArray("IVANOV");
        quint8 code = 0;
        bool ok = worker.beginRegistration(0, code);
        if (ok)
            ok = worker.sendDocumentData(cashier, code);
        if (ok) {
            FiscalStorageAnswer answer;
            ok = worker.finishRegistration(QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC),
                QStringLiteral("7700001235"), QStringLiteral("0000000001012345"), 0x01, 0x00,
                answer);
            code = answer.fsError();
        }
        if (!ok) {
            std::printf("registration refused, code 0x%02x\n", unsigned(code));
            return 3;
        }
    } else if (mode != QLatin1String("status")) {
        std::fprintf(stderr, "usage: fsprobe [status|register]\n");
        return 1;
    }

    const FsState state = currentFsState();
    if (!state.isValid()) {
        std::printf("no storage\n");
        return 2;
    }
    std::printf("storage %s, %s, phase %02x, last document %u, unconfirmed %u\n",
        qPrintable(state.fsNumber()), state.isFiscalStorage() ? "fiscal storage" : "MGM",
        unsigned(state.phase()), unsigned(state.lastDocNumber()),
        unsigned(state.transport().offlineDocsCount()));
    return 0;
}
