// The registration waits for the OFD's reply with the operator's input held
// back: a second press of the button that started the run, or closing the
// window, must not reach the form under the running procedure. The press is
// injected through the window system queue, as a real one arrives.

#include "fs/fsstate.h"
#include "fs/ofdinfo.h"
#include "fs/ofdworker.h"
#include "ofdserveremulator.h"
#include "ofdtestdocument.h"

#include <QPushButton>
#include <QtTest>
#include <qpa/qwindowsysteminterface.h>

namespace {

const QByteArray fsNumber("9999078902004321");

} // namespace

class tst_OfdWorkerWait : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void userInputWaitsWhileReplyIsAwaited();
};

void tst_OfdWorkerWait::initTestCase()
{
    FsState state;
    state.setFsNumber(QString::fromLatin1(fsNumber));
    setCurrentFsState(state);
}

void tst_OfdWorkerWait::userInputWaitsWhileReplyIsAwaited()
{
    // The operator presses the button that started the run while the worker
    // waits for the reply: the press must not be delivered before the wait is
    // over, while timers and network events go on.
    QPushButton button(QStringLiteral("Выполнить регистрацию"));
    button.resize(240, 40);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicks(&button, &QPushButton::clicked);
    QVERIFY(clicks.isValid());

    OfdServerEmulator emulator;
    emulator.setScenario(ofdemu::Scenario::LateAnswer);
    emulator.setDelay(800);
    QVERIFY2(emulator.start(), qPrintable(emulator.errorString()));
    OfdWorker worker;
    const OfdInfo record(QStringLiteral("7703282175"), QStringLiteral("127.0.0.1"), emulator.port(),
        QString(), 10000, QString(), QStringLiteral("test operator"), QStringLiteral("test"));
    QVERIFY(worker.selectOfd(&record));
    QVERIFY(worker.open(5000));

    bool pressedDuringWait = false;
    connect(&emulator, &OfdServerEmulator::documentReceived, &button, [&] {
        QWindow *window = button.windowHandle();
        const QPointF local(20, 20);
        const QPointF global = button.mapToGlobal(local.toPoint());
        QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            window, local, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
        QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            window, local, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
        pressedDuringWait = true;
    });

    const QByteArray receipt = worker.sendSyncDocument(ofdtest::registrationDocument(fsNumber, 10));
    QVERIFY(!receipt.isEmpty());
    QVERIFY(pressedDuringWait); // the emulator's signal was delivered inside the wait
    QCOMPARE(clicks.count(), 0);

    // once the wait is over, the press is delivered as usual
    QTRY_COMPARE(clicks.count(), 1);
}

QTEST_MAIN(tst_OfdWorkerWait)
#include "tst_ofdworkerwait.moc"
