// A registration against every misbehaviour of the emulated OFD, on the
// loopback operator's own address (127.0.0.1:7777). The fault lasts for the
// first OFD attempt; the retry question finds it gone. For each: the operator
// sees what the procedure says for the OFD step, the registration stays done,
// and the retry delivers the document and writes its receipt back.

#include "benchoperator.h"
#include "registrationbench.h"
#include "storagesetup.h"

#include "mainwidget.h"
#include "registrationwidget.h"
#include "usb/usbemu.h"

#include <QtTest>

namespace {
const QString NoConnection = QStringLiteral("Ошибка связи с ОФД: 127.0.0.1:7777");
const QString NoAnswer = QStringLiteral("Ошибка получения ответа от ОФД");
} // namespace

class tst_OfdScenarios : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void scenario_data();
    void scenario();
    void everyScenarioTried();

private:
    bench::RegistrationBench m_bench;
    bench::Entry m_entry;
    QStringList m_tried;
};

void tst_OfdScenarios::initTestCase()
{
    QVERIFY2(m_bench.start(), qPrintable(m_bench.error()));
    QVERIFY(m_bench.openWindow());
}

void tst_OfdScenarios::init()
{
    testsupport::resetStorage(testsupport::StorageSetup::FreshMgm);
    m_bench.ofd().setScenario(ofdemu::Scenario::Normal);
    m_bench.ofd().setDelay(0);
    m_bench.ofd().setHoldTime(-1);
    m_bench.operatorAtBench().clear();
    m_bench.markOfd();
    m_bench.operatorAtBench().setMaxRetries(3);
}

void tst_OfdScenarios::cleanup()
{
    m_bench.ofd().setScenario(ofdemu::Scenario::Normal);
    if (QTest::currentTestFailed())
        QVERIFY(m_bench.openWindow());
}

void tst_OfdScenarios::scenario_data()
{
    QTest::addColumn<ofdemu::Scenario>("scenario");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("hold");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("ofdCopies"); // documents the OFD recorded in the run

    using S = ofdemu::Scenario;
    QTest::newRow("normal") << S::Normal << 0 << -1 << QStringList() << 1;
    QTest::newRow("no answer, hangs up")
        << S::NoAnswer << 0 << 200 << QStringList { NoAnswer } << 2;
    QTest::newRow("late answer") << S::LateAnswer << 300 << -1 << QStringList() << 1;
    // Only what has arrived when the first bytes come is read.
    QTest::newRow("answer in three pieces")
        << S::SplitAnswer << 200 << -1 << QStringList { NoAnswer } << 2;
    // The signature is looked for in steps of four bytes.
    QTest::newRow("two stray bytes first")
        << S::Garbage2 << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("four stray bytes first") << S::Garbage4 << 0 << -1 << QStringList() << 1;
    QTest::newRow("wrong check value")
        << S::WrongCheckValue << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("check value over the header only")
        << S::HeaderOnlyCheck << 0 << -1 << QStringList() << 1;
    QTest::newRow("body one byte short")
        << S::ShortBody << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("body one byte short, the rest later")
        << S::ShortBodyRestLater << 300 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("wrong signature")
        << S::WrongSignature << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("wrong session version")
        << S::WrongSessionVersion << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("check mode 3") << S::CheckMode3 << 0 << -1 << QStringList { NoAnswer } << 2;
    QTest::newRow("closes after connect")
        << S::CloseAfterConnect << 0 << -1 << QStringList { NoAnswer } << 1;
    QTest::newRow("connection refused")
        << S::Refuse << 0 << -1 << QStringList { NoConnection } << 1;
}

void tst_OfdScenarios::scenario()
{
    QFETCH(ofdemu::Scenario, scenario);
    QFETCH(int, delay);
    QFETCH(int, hold);
    QFETCH(QStringList, messages);
    QFETCH(int, ofdCopies);
    m_tried << ofdemu::scenarioName(scenario);

    BenchOperator &op = m_bench.operatorAtBench();
    op.setOnRetry([this](const BenchOperator::Box &) {
        m_bench.ofd().setScenario(ofdemu::Scenario::Normal);
    });
    QList<quint8> phaseAtResult;
    op.setOnResult([&](const BenchOperator::Box &) { phaseAtResult << usbemu::phase(); });

    QVERIFY(m_bench.handOver(m_entry));
    QVERIFY(m_bench.fill(m_entry));
    m_bench.ofd().setDelay(delay);
    m_bench.ofd().setHoldTime(hold);
    m_bench.ofd().setScenario(scenario);
    m_bench.pressRegister();

    QCOMPARE(op.messages(), messages);
    QCOMPARE(op.retries(), messages.size());
    QCOMPARE(op.refusals(), 0);
    QCOMPARE(op.results(), 1);
    QCOMPARE(phaseAtResult, QList<quint8> { usbemu::PhaseFiscalMode });

    const QList<usbemu::Document> documents = usbemu::documents();
    QCOMPARE(documents.size(), 1);
    QVERIFY(documents.first().confirmed);
    QCOMPARE(usbemu::unconfirmedCount(), 0);
    QCOMPARE(m_bench.copiesAtOfd(documents.first().body), ofdCopies);
    QVERIFY(m_bench.window()->isEnabled());
}

// The table holds every scenario the emulator has.
void tst_OfdScenarios::everyScenarioTried()
{
    QStringList all = ofdemu::scenarioNames();
    all.sort();
    QStringList tried = m_tried;
    tried.sort();
    QCOMPARE(tried, all);
}

QTEST_MAIN(tst_OfdScenarios)
#include "tst_ofdscenarios.moc"
