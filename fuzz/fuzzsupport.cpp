#include "fuzzsupport.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace fuzzsupport {

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(message));
        std::abort();
    }
}

} // namespace

void initApplication(int *argc, char ***argv)
{
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIntValue("TAVRON_FUZZ_LOG") == 0)
        qInstallMessageHandler(quietHandler);
    // QCoreApplication keeps references to both: they must outlive it.
    static int appArgc = *argc;
    static char **appArgv = *argv;
    static QCoreApplication *app = new QCoreApplication(appArgc, appArgv);
    Q_UNUSED(app);
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

} // namespace fuzzsupport
