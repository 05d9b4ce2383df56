#include "benchlog.h"

#include <QString>

namespace benchlog {
namespace {

qint64 counted = 0;
QtMessageHandler previous = nullptr;
bool passOn = false;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    ++counted;
    if (passOn && previous)
        previous(type, context, message);
}

} // namespace

void install()
{
    passOn = qEnvironmentVariableIntValue("TAVRON_BENCH_LOG") == 1;
    previous = qInstallMessageHandler(handler);
}

qint64 lines() { return counted; }

} // namespace benchlog
