#ifndef TESSARO_ABSTRACTWORKER_H
#define TESSARO_ABSTRACTWORKER_H

#include <QObject>

namespace tessaro {

// Base of the program's workers. start() and stop() run the hooks on the
// caller's thread and return only when the hook has finished, so a caller may
// issue commands right after start().
class AbstractWorker : public QObject
{
    Q_OBJECT
public:
    AbstractWorker();
    ~AbstractWorker() override;

public slots:
    void start();
    void stop();

protected:
    virtual bool onStart();
    virtual bool onStop();
};

} // namespace tessaro

#endif // TESSARO_ABSTRACTWORKER_H
