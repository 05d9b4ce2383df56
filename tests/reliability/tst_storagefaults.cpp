// The fault matrix of a registration: for every step of the run, the adapter
// pulled out while the storage works on that step's command, the storage busy
// past the command's read time-out, and its answer frame damaged (bad
// checksum, bad start byte, cut short). For each: the run ends without crash
// or hang, the operator sees the message the procedure gives for that step,
// the result is shown only for a storage that is registered, and once the
// fault is taken away (at the retry question) the registration and the
// delivery complete: the storage's document reaches the OFD and its receipt
// is written back, so no closed registration is left behind.
//
// Built twice: TAVRON_FAULT_PART 1 runs the registration steps (storage
// check, opening, each TLV, closing), part 2 the OFD leg (OFD connect,
// message read, send, receipt write, transport read).

#include "benchoperator.h"
#include "registrationbench.h"
#include "storagefaults.h"
#include "storagesetup.h"

#include "mainwidget.h"
#include "registrationwidget.h"
#include "usb/usbemu.h"

#include <QRegularExpression>
#include <QtTest>

using Kind = StorageFaults::Kind;

Q_DECLARE_METATYPE(StorageFaults::Kind)

namespace {

const QString NoLink = QStringLiteral("Нет связи с ФН");
const QString OpenError = QStringLiteral("Ошибка начала фискализации");
const QString TlvError = QStringLiteral("Ошибка передачи параметра");
const QString CloseError = QStringLiteral("Ошибка завершения фискализации");
const QString OfdReadError = QStringLiteral("Ошибка получения данных для ОФД");
const QString OfdAnswerError = QStringLiteral("Ошибка получения ответа от ОФД");
const QString TicketError = QStringLiteral("Ошибка записи квитанции от ОФД");
const QString UnknownError = QStringLiteral("НЕИЗВЕСТНАЯ ОШИБКА ОТПРАВКИ В ОФД");

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

// A fault between two storage commands: the adapter is pulled out while the
// document is at the OFD (command 0 in the table).
constexpr int WhileAtOfd = 0;

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Unplug:
        return QStringLiteral("adapter unplugged");
    case Kind::Busy:
        return QStringLiteral("storage busy past the read time-out");
    case Kind::CorruptChecksum:
        return QStringLiteral("answer with a bad checksum");
    case Kind::CorruptStart:
        return QStringLiteral("answer with a bad start byte");
    case Kind::CorruptShort:
        return QStringLiteral("answer cut short");
    case Kind::None:
        break;
    }
    return QStringLiteral("no fault");
}

} // namespace

class tst_StorageFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void faultFreeRun();
    void matrix_data();
    void matrix();

private:
    bench::RegistrationBench m_bench;
    bench::Entry m_entry;
};

void tst_StorageFaults::initTestCase()
{
    QVERIFY2(m_bench.start(), qPrintable(m_bench.error()));
    QVERIFY(m_bench.openWindow());
}

void tst_StorageFaults::init()
{
    testsupport::resetStorage(testsupport::StorageSetup::FreshMgm);
    m_bench.ofd().setScenario(ofdemu::Scenario::Normal);
    m_bench.operatorAtBench().clear();
    m_bench.markOfd();
    m_bench.operatorAtBench().setOnRetry(nullptr);
    m_bench.operatorAtBench().setOnResult(nullptr);
    m_bench.operatorAtBench().setMaxRetries(4);
}

void tst_StorageFaults::cleanup()
{
    usbemu::setAdapterPlugged(true);
    // A failed row may leave the window waiting; a fresh one for the next.
    if (QTest::currentTestFailed())
        QVERIFY(m_bench.openWindow());
}

// The bench itself: the entry registers and is delivered without any fault,
// and the storage takes the TLVs the matrix names, in that order.
void tst_StorageFaults::faultFreeRun()
{
    StorageFaults faults;
    QVERIFY(m_bench.handOver(m_entry));
    QVERIFY(m_bench.fill(m_entry));
    m_bench.pressRegister();
    QVERIFY2(m_bench.operatorAtBench().messages().isEmpty(),
        qPrintable(m_bench.operatorAtBench().titles().join(QLatin1Char(' ')) + QLatin1Char(' ')
            + m_bench.operatorAtBench().messages().join(QLatin1Char(' '))));
    QCOMPARE(m_bench.operatorAtBench().results(), 1);
    QCOMPARE(usbemu::unconfirmedCount(), 0);

    QList<quint16> tags;
    const QList<usbemu::Command> commands = usbemu::receivedCommands();
    for (const usbemu::Command &command : commands) {
        if (command.code == 0x07)
            tags << quint16(quint8(command.data.at(0)) | (quint8(command.data.at(1)) << 8));
    }
    QCOMPARE(tags, bench::entryTags());
}

void tst_StorageFaults::matrix_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("after"); // count the command from behind this one
    QTest::addColumn<int>("skip");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("messages"); // warnings and critical boxes, in order
    QTest::addColumn<int>("ofdCopies"); // times the document reached the OFD

    auto row = [](const QString &step, int command, int tag, int after, int skip, Kind kind,
                   const QStringList &messages, int ofdCopies) {
        QTest::newRow(qPrintable(step + QStringLiteral(", ") + kindName(kind)))
            << command << tag << after << skip << kind << messages << ofdCopies;
    };
    const QList<Kind> corrupt = { Kind::CorruptChecksum, Kind::CorruptStart, Kind::CorruptShort };

#if TAVRON_FAULT_PART == 1
    // Storage check at "Начать" (0x30, the first command): with the adapter
    // gone or the storage busy the hand-over is refused until the fault is
    // gone, then "Начать" again goes through. The check reads the status
    // twice (the worker's start and the check itself), so one damaged answer
    // is read again and the hand-over goes through at once.
    row(QStringLiteral("storage check"), 0x30, -1, -1, 0, Kind::Unplug, { NoLink }, 1);
    row(QStringLiteral("storage check"), 0x30, -1, -1, 0, Kind::Busy, { NoLink }, 1);
    for (Kind kind : corrupt)
        row(QStringLiteral("storage check"), 0x30, -1, -1, 0, kind, {}, 1);

    // Opening (0x02). The storage opened the report when its answer got lost:
    // the retry's opening is refused once, and the cancel after it clears the way.
    row(QStringLiteral("opening"), 0x02, -1, -1, 0, Kind::Unplug, { OpenError, OpenError }, 1);
    row(QStringLiteral("opening"), 0x02, -1, -1, 0, Kind::Busy, { OpenError, OpenError }, 1);
    row(QStringLiteral("opening"), 0x02, -1, -1, 0, Kind::CorruptChecksum, {}, 1);
    row(QStringLiteral("opening"), 0x02, -1, -1, 0, Kind::CorruptStart, { OpenError }, 1);
    row(QStringLiteral("opening"), 0x02, -1, -1, 0, Kind::CorruptShort, {}, 1);

    // Each TLV (0x07). A lost answer leaves the report open: the retry's
    // opening is refused once. A damaged answer that still says "done" is
    // taken (the storage did take the TLV); one that cannot be read fails the
    // parameter. The busy storage costs two seconds a row, so the first and
    // the last TLV stand for the others there.
    // In the sanitizer build the middle TLVs are left out of the unplugged
    // rows: they take one path, and the normal build runs them all.
    const QList<quint16> tags = bench::entryTags();
    for (int i = 0; i < tags.size(); ++i) {
        const QString step = QStringLiteral("TLV %1").arg(tags.at(i));
        if (!SanitizerBuild || i == 0 || i == tags.size() - 1)
            row(step, 0x07, tags.at(i), -1, 0, Kind::Unplug, { TlvError, OpenError }, 1);
        if (i == 0 || i == tags.size() - 1)
            row(step, 0x07, tags.at(i), -1, 0, Kind::Busy, { TlvError, OpenError }, 1);
        const Kind damage = corrupt.at(i % corrupt.size());
        row(step, 0x07, tags.at(i), -1, 0, damage,
            damage == Kind::CorruptStart ? QStringList { TlvError } : QStringList {}, 1);
    }

    // Closing (0x03). The storage closed the report, whatever happened to its
    // answer: the registration is done. The retry finds the storage registered
    // and goes on with the delivery. A damaged answer is not taken for the
    // storage's document number and fiscal sign.
    row(QStringLiteral("closing"), 0x03, -1, -1, 0, Kind::Unplug, { CloseError }, 1);
    row(QStringLiteral("closing"), 0x03, -1, -1, 0, Kind::Busy, { CloseError }, 1);
    row(QStringLiteral("closing"), 0x03, -1, -1, 0, Kind::CorruptChecksum, { CloseError }, 1);
    row(QStringLiteral("closing"), 0x03, -1, -1, 0, Kind::CorruptStart, { CloseError }, 1);
    row(QStringLiteral("closing"), 0x03, -1, -1, 0, Kind::CorruptShort, { CloseError }, 1);
#else
    // OFD connect: the storage is told that the OFD is connected (0x21); its
    // answer is not looked at, so a damaged one changes nothing.
    row(QStringLiteral("OFD connect"), 0x21, -1, -1, 0, Kind::Unplug, { OfdReadError }, 1);
    row(QStringLiteral("OFD connect"), 0x21, -1, -1, 0, Kind::Busy, { OfdReadError }, 1);
    for (Kind kind : corrupt)
        row(QStringLiteral("OFD connect"), 0x21, -1, -1, 0, kind, {}, 1);

    // Message read: its start (0x22), a block (0x23), its end (0x25). The
    // blocks and the end have ten seconds each: only damaged answers there.
    row(QStringLiteral("message read start"), 0x22, -1, -1, 0, Kind::Unplug, { OfdReadError }, 1);
    row(QStringLiteral("message read start"), 0x22, -1, -1, 0, Kind::Busy, { OfdReadError }, 1);
    row(QStringLiteral("message read start"), 0x22, -1, -1, 0, Kind::CorruptChecksum, {}, 1);
    row(QStringLiteral("message read start"), 0x22, -1, -1, 0, Kind::CorruptStart, { OfdReadError },
        1);
    row(QStringLiteral("message read start"), 0x22, -1, -1, 0, Kind::CorruptShort, { OfdReadError },
        1);
    row(QStringLiteral("message block"), 0x23, -1, -1, 0, Kind::CorruptChecksum, {}, 1);
    row(QStringLiteral("message block"), 0x23, -1, -1, 0, Kind::CorruptStart, { OfdReadError }, 1);
    row(QStringLiteral("message block"), 0x23, -1, -1, 0, Kind::CorruptShort, { OfdAnswerError },
        1);
    row(QStringLiteral("message read end"), 0x25, -1, -1, 0, Kind::CorruptChecksum, {}, 1);
    row(QStringLiteral("message read end"), 0x25, -1, -1, 0, Kind::CorruptStart, { OfdReadError },
        1);
    row(QStringLiteral("message read end"), 0x25, -1, -1, 0, Kind::CorruptShort, {}, 1);

    // Send: the adapter is pulled out while the document is at the OFD; the
    // receipt cannot be written, the retry sends the document again.
    row(QStringLiteral("send"), WhileAtOfd, -1, -1, 0, Kind::Unplug, { TicketError }, 2);

    // Receipt write (0x26): the storage took the receipt when its answer got
    // lost; the retry finds nothing left to send.
    row(QStringLiteral("receipt write"), 0x26, -1, -1, 0, Kind::Unplug,
        { TicketError, OfdReadError }, 1);
    row(QStringLiteral("receipt write"), 0x26, -1, -1, 0, Kind::Busy, { TicketError, OfdReadError },
        1);
    row(QStringLiteral("receipt write"), 0x26, -1, -1, 0, Kind::CorruptChecksum, {}, 1);
    // An unreadable answer fails the write, but the storage took the receipt:
    // the transport state says nothing is left, so no retry is asked for.
    row(QStringLiteral("receipt write"), 0x26, -1, -1, 0, Kind::CorruptStart, { TicketError }, 1);
    row(QStringLiteral("receipt write"), 0x26, -1, -1, 0, Kind::CorruptShort, {}, 1);

    // Transport read: the final 0x20, the second one behind the receipt.
    row(QStringLiteral("transport read"), 0x20, -1, 0x26, 1, Kind::Unplug,
        { UnknownError, OfdReadError }, 1);
    row(QStringLiteral("transport read"), 0x20, -1, 0x26, 1, Kind::Busy,
        { UnknownError, OfdReadError }, 1);
    row(QStringLiteral("transport read"), 0x20, -1, 0x26, 1, Kind::CorruptChecksum, {}, 1);
    row(QStringLiteral("transport read"), 0x20, -1, 0x26, 1, Kind::CorruptStart,
        { UnknownError, OfdReadError }, 1);
    row(QStringLiteral("transport read"), 0x20, -1, 0x26, 1, Kind::CorruptShort, {}, 1);
#endif
}

void tst_StorageFaults::matrix()
{
    QFETCH(int, command);
    QFETCH(int, tag);
    QFETCH(int, after);
    QFETCH(int, skip);
    QFETCH(Kind, kind);
    QFETCH(QStringList, messages);
    QFETCH(int, ofdCopies);

    BenchOperator &op = m_bench.operatorAtBench();
    StorageFaults faults;
    op.setOnRetry([&faults](const BenchOperator::Box &) { faults.clear(); });

    // What the storage held whenever the result was shown.
    QList<quint8> phaseAtResult;
    QList<int> documentsAtResult;
    op.setOnResult([&](const BenchOperator::Box &) {
        phaseAtResult << usbemu::phase();
        documentsAtResult << usbemu::documents().size();
    });

    QSignalSpy finished(m_bench.form(), &RegistrationWidget::finish);
    QVERIFY(finished.isValid());

    if (command == 0x30) {
        // The storage check is the hand-over's: refused while the fault lasts.
        faults.arm(kind, quint8(command), tag, skip, after);
        const bool refused = !messages.isEmpty();
        QCOMPARE(m_bench.handOver(m_entry), !refused);
        QVERIFY(faults.fired());
        if (refused) {
            QCOMPARE(op.titles(), QStringList({ QStringLiteral("warning|ФИСКАЛИЗАЦИЯ") }));
            faults.clear();
            QVERIFY(m_bench.handOver(m_entry));
        }
    } else {
        QVERIFY(m_bench.handOver(m_entry));
    }
    QVERIFY(m_bench.fill(m_entry));

    QMetaObject::Connection atOfd;
    if (command == WhileAtOfd) {
        // The OFD answers a moment late; the adapter is gone meanwhile.
        m_bench.ofd().setScenario(ofdemu::Scenario::LateAnswer);
        m_bench.ofd().setDelay(300);
        atOfd = connect(
            &m_bench.ofd(), &OfdServerEmulator::documentReceived, this, [&faults, this]() {
                if (!faults.fired())
                    faults.unplugNow();
                m_bench.ofd().setScenario(ofdemu::Scenario::Normal);
            });
    } else if (command != 0x30) {
        faults.arm(kind, quint8(command), tag, skip, after);
    }

    m_bench.pressRegister();
    disconnect(atOfd);

    // The fault happened, and the operator saw what the procedure says.
    QVERIFY(faults.fired());
    QCOMPARE(op.messages(), messages);
    QCOMPARE(op.refusals(), 0);

    // The result came once, for a registered storage with its one document.
    QCOMPARE(op.results(), 1);
    QCOMPARE(phaseAtResult, QList<quint8> { usbemu::PhaseFiscalMode });
    QCOMPARE(documentsAtResult, QList<int> { 1 });

    // Nothing is left behind: the document was delivered and confirmed.
    const QList<usbemu::Document> documents = usbemu::documents();
    QCOMPARE(documents.size(), 1);
    QVERIFY(documents.first().confirmed);
    QCOMPARE(usbemu::unconfirmedCount(), 0);
    QCOMPARE(m_bench.copiesAtOfd(documents.first().body), ofdCopies);

    // The numbers the operator is shown are the storage's, or none at all.
    const QString report = op.boxes().last().text;
    // Each at the start of its line ("ИНН ОФД" holds "ФД" as well).
    const auto line = QRegularExpression::MultilineOption;
    const QRegularExpressionMatch docNumber
        = QRegularExpression(QStringLiteral("^ФД\\s+(\\d+)"), line).match(report);
    const QRegularExpressionMatch sign
        = QRegularExpression(QStringLiteral("^ФП\\s+(\\d+)"), line).match(report);
    if (docNumber.hasMatch())
        QCOMPARE(docNumber.captured(1).toUInt(), documents.first().number);
    if (sign.hasMatch())
        QCOMPARE(sign.captured(1).toUInt(), documents.first().fiscalSign);

    // The run is over and the window ready for the next.
    QVERIFY(finished.count() >= 1);
    QVERIFY(m_bench.window()->isEnabled());
    QVERIFY(!m_bench.form()->isEnabled());
}

QTEST_MAIN(tst_StorageFaults)
#include "tst_storagefaults.moc"
