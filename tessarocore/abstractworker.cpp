#include "tessarocore/abstractworker.h"

namespace tessaro {

AbstractWorker::AbstractWorker()
    : QObject(nullptr)
{
}

AbstractWorker::~AbstractWorker() = default;

void AbstractWorker::start()
{
    onStart();
}

void AbstractWorker::stop()
{
    onStop();
}

bool AbstractWorker::onStart()
{
    return true;
}

bool AbstractWorker::onStop()
{
    return true;
}

} // namespace tessaro
