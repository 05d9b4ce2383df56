// Soak: many registrations in a row in one process, each delivered to the
// OFD and then erased with "Стереть МГМ", as a workshop does with one MGM all
// day. Every document must reach the OFD exactly once and be confirmed, and
// the heap must not grow once the first rounds have filled Qt's caches.
//
// TAVRON_SOAK_COUNT sets the number of rounds (default 200). In the
// sanitizer build the heap figures of the allocator are not the program's,
// so there LeakSanitizer checks at exit instead (this test's environment
// turns it on, with fuzz/lsan.supp and this folder's lsan.supp for Qt's own).

#include "benchoperator.h"
#include "registrationbench.h"
#include "storagesetup.h"

#include "mainwidget.h"
#include "registrationwidget.h"
#include "usb/usbemu.h"

#include <QFile>
#include <QtTest>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define TAVRON_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRON_SOAK_ASAN 1
#endif
#endif

namespace {

// Bytes the program holds on the heap now.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks) + qint64(info.hblkhd);
}

qint64 residentSize()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

// Growth of the heap allowed after the warm-up: a little slack for Qt's
// caches (fonts, style, meta-types) that still settle, plus far less per
// round than one round allocates (one document is some 400 bytes; a window
// form, a worker or a socket kept by mistake would be kilobytes).
constexpr qint64 HeapSlack = 512 * 1024;
constexpr qint64 HeapPerRound = 256;

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void registrationsInARow();

private:
    bench::RegistrationBench m_bench { bench::RegistrationBench::Ofd::Standalone };
};

void tst_Soak::initTestCase()
{
    QVERIFY2(m_bench.start(), qPrintable(m_bench.error()));
    QVERIFY(m_bench.openWindow());
    testsupport::resetStorage(testsupport::StorageSetup::FreshMgm);
}

void tst_Soak::registrationsInARow()
{
    bool ok = false;
    int rounds = qEnvironmentVariableIntValue("TAVRON_SOAK_COUNT", &ok);
    if (!ok || rounds <= 0)
        rounds = 200;
    const int warmUp = qMin(20, qMax(1, rounds / 4));

    const bench::Entry entry;
    BenchOperator &op = m_bench.operatorAtBench();
    const int ofdBefore = m_bench.ofdDocuments().size();
    qint64 heapAfterWarmUp = 0;
    qint64 residentAfterWarmUp = 0;
    QElapsedTimer clock;
    clock.start();

    for (int round = 0; round < rounds; ++round) {
        op.clear();
        m_bench.markOfd();
        QVERIFY2(
            m_bench.handOver(entry), qPrintable(QStringLiteral("round %1: hand-over").arg(round)));
        // The form keeps what was typed: the operator fills it once. (Typing
        // again every round would only grow the line edits' undo histories.)
        if (round == 0)
            QVERIFY(m_bench.fill(entry));
        m_bench.pressRegister();

        // Registered, delivered, confirmed; nothing else said.
        QVERIFY2(op.messages().isEmpty(),
            qPrintable(QStringLiteral("round %1: %2")
                           .arg(round)
                           .arg(op.messages().join(QLatin1Char('/')))));
        QCOMPARE(op.results(), 1);
        const QList<usbemu::Document> documents = usbemu::documents();
        QCOMPARE(documents.size(), 1);
        QVERIFY(documents.first().confirmed);
        QCOMPARE(m_bench.copiesAtOfd(documents.first().body), 1);
        QCOMPARE(m_bench.ofdDocuments().size() - ofdBefore, round + 1);

        // Erased for the next round as the operator does it: "Начать" finds
        // the MGM registered, which enables "Стереть МГМ"; the erase itself
        // goes without a word.
        QVERIFY(!m_bench.handOver(entry));
        QCOMPARE(op.messages(), QStringList { QStringLiteral("ФН уже активирован") });
        QVERIFY2(m_bench.pressClean(), qPrintable(QStringLiteral("round %1: erase").arg(round)));
        QCOMPARE(op.messages().size(), 1);
        QCOMPARE(usbemu::phase(), usbemu::PhaseReadiness);
        QVERIFY(usbemu::documents().isEmpty());

        // The emulated storage's log of commands is the test's, not the
        // program's memory.
        usbemu::resetCounters();

        if (round + 1 == warmUp) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            malloc_trim(0);
            heapAfterWarmUp = heapInUse();
            residentAfterWarmUp = residentSize();
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
    const qint64 heapAtEnd = heapInUse();
    const qint64 residentAtEnd = residentSize();
    std::printf(
        "soak: %d registrations in %lld ms; heap in use after %d rounds %lld bytes, at the end "
        "%lld bytes; resident %lld -> %lld bytes\n",
        rounds, qint64(clock.elapsed()), warmUp, heapAfterWarmUp, heapAtEnd, residentAfterWarmUp,
        residentAtEnd);
    std::fflush(stdout);

#ifndef TAVRON_SOAK_ASAN
    const qint64 allowed = HeapSlack + HeapPerRound * (rounds - warmUp);
    QVERIFY2(heapAtEnd - heapAfterWarmUp <= allowed,
        qPrintable(QStringLiteral("the heap grew by %1 bytes over %2 rounds (allowed %3)")
                       .arg(heapAtEnd - heapAfterWarmUp)
                       .arg(rounds - warmUp)
                       .arg(allowed)));
#endif
}

QTEST_MAIN(tst_Soak)
#include "tst_soak.moc"
