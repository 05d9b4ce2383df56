// The fiscalization run end to end: the real main window and registration
// form offscreen; the emulated processing server, adapter with storage and
// OFD (on 127.0.0.1:7777, the loopback operator of the directory) as peers.

#include "appbench.h"
#include "modalanswerer.h"

#include "fs/fiscalstorageanswer.h"
#include "fs/fsworker.h"
#include "mainwidget.h"
#include "ofdserveremulator.h"
#include "processingserveremulator.h"
#include "registrationwidget.h"
#include "regnumber.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using testsupport::StorageSetup;

namespace {

using appbench::LoopbackOfdInn;
using appbench::LoopbackOfdName;
using appbench::LoopbackOfdPort;

// What the test operator types into the form, and whether the offline mode
// ("cbSeparateMode") is checked.
struct Entry : appbench::Entry
{
    bool offline = false;
};

// Ten work-mode and other check boxes of this entry: services, excisable
// goods and lotteries set; taxes ОСН and Патент; agent kind "Платежный агент".
const quint8 EntryTaxes = 0x21;
const quint8 EntryWorkModeByte = 0x08;
const quint8 EntryAgents = 0x04;

// The report as the result dialog shows it, one text line per row cell:
// the first line that starts with the prefix, and the line after the line
// that holds just the label.
QStringList reportLines(const QString &report)
{
    QStringList lines;
    const QStringList raw = report.split(QRegularExpression(QStringLiteral("[\\n\\x{2029}]")));
    for (const QString &line : raw)
        lines << line.trimmed();
    return lines;
}

QString reportLine(const QString &report, const QString &prefix)
{
    const QStringList lines = reportLines(report);
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return line;
    }
    return QString();
}

QString reportValue(const QString &report, const QString &label)
{
    const QStringList lines = reportLines(report);
    const int at = lines.indexOf(label);
    return at >= 0 && at + 1 < lines.size() ? lines.at(at + 1) : QString();
}

QByteArray padded(const QString &text, int size)
{
    QByteArray bytes = text.toLatin1();
    bytes.append(QByteArray(size - bytes.size(), ' '));
    return bytes;
}

enum class Fault
{
    None,
    InvalidEntry, // no cashier, a user INN with a wrong check digit
    AnotherStorage, // the storage's serial number changes after the hand-over
    RefuseOpening, // 0x02 refused
    RefuseTlv, // 0x07 refused
    RefuseClosing, // 0x03 refused
    ShortClosingAnswer, // 0x03 "done" with 4 bytes of data
    ClosingAnswerDamaged, // the storage closes the report; its answer has a bad checksum
    ClosingAnswerCutShort, // the storage closes the report; its answer is cut short
    OfdRefuses, // nothing listens on 127.0.0.1:7777
    OfdRefusesConfirmedMeanwhile, // the same; the document is confirmed before the retry
    OfdNoAnswer, // the OFD reads the document, never answers, hangs up
    ReceiptRefused, // 0x26 refused by the storage
    ThreeUnsent, // two older documents wait for the OFD as well
    Offline, // "Автономный режим"
};

// How a row's fault is taken away when the operator is asked to try again.
enum class AtRetry
{
    Keep,
    ClearFault
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(AtRetry)

// A window logged in, the storage set up, a serial number typed, "Начать"
// pressed and the hand-over agreed: the form is enabled.
#define HAND_OVER(serial)                                                                          \
    do {                                                                                           \
        m_window = appbench::openWindow(m_processing);                                             \
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isEnabled(), 10000);                                    \
        m_form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));          \
        QVERIFY(m_form);                                                                           \
        auto *leSerial = m_window->findChild<QLineEdit *>(QStringLiteral("leSerial"));             \
        QTest::keyClicks(leSerial, serial);                                                        \
        m_answerer->setAnswers({ QMessageBox::Yes });                                              \
        QTest::mouseClick(                                                                         \
            m_window->findChild<QPushButton *>(QStringLiteral("pbStart")), Qt::LeftButton);        \
        QCOMPARE(m_answerer->boxes(), QStringList { QStringLiteral("question|ФИСКАЛИЗАЦИЯ") });    \
        QVERIFY(m_form->isEnabled());                                                              \
        m_answerer->clear();                                                                       \
        usbemu::resetCounters();                                                                   \
    } while (false)

class tst_Fiscalization : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void happyPath();
    void failures_data();
    void failures();

private:
    template <typename T> T *field(const char *name) const
    {
        return m_form->findChild<T *>(QLatin1String(name));
    }
    void fill(const Entry &entry);
    void check(const char *name, bool checked);
    void pressRegister();
    QList<usbemu::Command> commands(quint8 code) const;
    QList<QJsonObject> newOfdRecords() const;

    ProcessingServerEmulator m_processing;
    OfdServerEmulator m_ofd;
    int m_ofdRecordsBefore = 0;
    ModalAnswerer *m_answerer = nullptr;
    std::unique_ptr<MainWidget> m_window;
    RegistrationWidget *m_form = nullptr;
};

void tst_Fiscalization::initTestCase()
{
    QVERIFY(appbench::startProcessing(m_processing));
    QVERIFY2(m_ofd.start(QHostAddress(QStringLiteral("127.0.0.1")), LoopbackOfdPort),
        qPrintable(m_ofd.errorString()));
    QVERIFY(isInnValid(Entry().cashierInn.toLatin1()));
    QVERIFY(isInnValid(Entry().userInn.toLatin1()));
    QCOMPARE(Entry().regNumber().size(), 16);
}

void tst_Fiscalization::init()
{
    testsupport::resetStorage(StorageSetup::FreshMgm);
    m_ofd.setScenario(ofdemu::Scenario::Normal);
    m_ofd.setHoldTime(-1);
    m_ofdRecordsBefore = m_ofd.records().size();
    m_answerer = new ModalAnswerer(this);
}

void tst_Fiscalization::cleanup()
{
    m_window.reset();
    m_form = nullptr;
    delete m_answerer;
    m_answerer = nullptr;
}

void tst_Fiscalization::check(const char *name, bool checked)
{
    auto *box = field<QCheckBox>(name);
    QVERIFY2(box, name);
    if (box->isChecked() != checked)
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QCOMPARE(box->isChecked(), checked);
}

void tst_Fiscalization::fill(const Entry &entry)
{
    const QList<QPair<const char *, QString>> texts = entry.texts();
    for (const auto &text : texts) {
        auto *edit = field<QLineEdit>(text.first);
        QVERIFY2(edit, text.first);
        appbench::typeInto(edit, text.second);
        QCOMPARE(edit->text(), text.second);
    }
    auto *cbOfdName = field<QComboBox>("cbOfdName");
    const int ofdIndex = cbOfdName->findData(LoopbackOfdInn);
    QVERIFY(ofdIndex >= 0);
    cbOfdName->setCurrentIndex(ofdIndex);
    QCOMPARE(field<QLineEdit>("leOfdInn")->text(), LoopbackOfdInn);
    QCOMPARE(cbOfdName->currentText(), LoopbackOfdName);

    check("cbFiscalTraditional", true);
    check("cbFiscalPatent", true);
    check("cbAgentPay", true);
    check("cbServiceFlag", true);
    check("cbAkcizeMode", true);
    check("cbLohotronFlag", true);
    check("cbSeparateMode", entry.offline);
}

void tst_Fiscalization::pressRegister()
{
    auto *button = field<QPushButton>("pbDoRegistration");
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

QList<usbemu::Command> tst_Fiscalization::commands(quint8 code) const
{
    QList<usbemu::Command> found;
    const QList<usbemu::Command> all = usbemu::receivedCommands();
    for (const usbemu::Command &command : all) {
        if (command.code == code)
            found << command;
    }
    return found;
}

QList<QJsonObject> tst_Fiscalization::newOfdRecords() const
{
    return m_ofd.records().mid(m_ofdRecordsBefore);
}

void tst_Fiscalization::happyPath()
{
    const Entry entry;
    HAND_OVER(entry.serial);
    fill(entry);
    QSignalSpy finished(m_form, &RegistrationWidget::finish);
    QVERIFY(finished.isValid());

    auto *progress = field<QProgressBar>("progressBar");
    int progressAtResult = -1;
    int progressMaximum = -1;
    m_answerer->setOnBox([&](const ModalAnswerer::Seen &seen) {
        if (seen.kind == QLatin1String("result")) {
            progressAtResult = progress->value();
            progressMaximum = progress->maximum();
        }
    });
    m_answerer->setAnswers({ QMessageBox::Apply, QMessageBox::Apply });
    pressRegister();

    // Two confirmations of the report, then the result dialog, nothing else.
    QCOMPARE(m_answerer->boxes(),
        QStringList({ QStringLiteral("question|РЕГИСТРАЦИЯ"),
            QStringLiteral("question|РЕГИСТРАЦИЯ"), QStringLiteral("result|Dialog") }));
    QCOMPARE(m_answerer->unexpected(), 0);
    const QString confirmation = m_answerer->seen().first().text;
    QVERIFY(confirmation.contains(QStringLiteral(">ФН</td>")));
    QVERIFY(confirmation.contains(QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ")));
    QVERIFY(confirmation.contains(entry.userName));
    QVERIFY(!confirmation.contains(QStringLiteral(">ФД <")));

    // The storage: opened with kind 0, every TLV in ascending tag order, closed.
    QCOMPARE(commands(0x02).size(), 1);
    QCOMPARE(commands(0x02).first().data, QByteArray(1, '\0'));
    QList<quint16> tags;
    const QList<usbemu::Command> tlvCommands = commands(0x07);
    for (const usbemu::Command &command : tlvCommands)
        tags << quint16(quint8(command.data.at(0)) | (quint8(command.data.at(1)) << 8));
    const QList<quint16> expectedTags = { 1009, 1013, 1017, 1021, 1046, 1048, 1057, 1060, 1117,
        1126, 1187, 1188, 1189, 1193, 1203, 1207, 1209, 1221 };
    QCOMPARE(tags, expectedTags);
    QCOMPARE(commands(0x03).size(), 1);
    const QByteArray closing = commands(0x03).first().data;
    QCOMPARE(closing.size(), 39);
    QCOMPARE(closing.mid(5, 12), padded(entry.userInn, 12));
    QCOMPARE(closing.mid(17, 20), padded(entry.regNumber(), 20));
    QCOMPARE(quint8(closing.at(37)), EntryTaxes);
    QCOMPARE(quint8(closing.at(38)), EntryWorkModeByte);
    QVERIFY(commands(0x06).isEmpty());
    QCOMPARE(usbemu::phase(), usbemu::PhaseFiscalMode);

    // The document reached the OFD and its receipt went back into the storage.
    const QList<usbemu::Document> documents = usbemu::documents();
    QCOMPARE(documents.size(), 1);
    QVERIFY(documents.first().confirmed);
    QCOMPARE(usbemu::unconfirmedCount(), 0);
    QCOMPARE(commands(0x26).size(), 1);

    // The result: the record holds the storage's answers, the report shows them.
    const RegistrationParams params = m_form->registrationParams();
    QCOMPARE(params.regDocNumber(), documents.first().number);
    QCOMPARE(params.fiscalCode(), documents.first().fiscalSign);
    QCOMPARE(params.fsNumber(), QString::fromLatin1(usbemu::DefaultSerialNumber));
    QVERIFY(params.regDate().isValid());
    const QString report = m_answerer->seen().last().text;
    QVERIFY2(report.contains(params.regDate().toString(QStringLiteral("dd.MM.yy hh:mm"))),
        qPrintable(report));
    QCOMPARE(reportValue(report, QStringLiteral("ФД")), QStringLiteral("1"));
    QCOMPARE(reportLine(report, QStringLiteral("ФП ")),
        QStringLiteral("ФП %1").arg(documents.first().fiscalSign, 10, 10, QLatin1Char('0')));
    QCOMPARE(progressMaximum, expectedTags.size() + 1);
    QCOMPARE(progressAtResult, progressMaximum);

    // The run is over: the window is ready again.
    QCOMPARE(finished.count(), 1);
    QVERIFY(m_window->isEnabled());
    QVERIFY(!m_form->isEnabled());
    QCOMPARE(progress->value(), 0);
    QVERIFY(progress->format().isEmpty());

    // Every parameter entered arrived at the OFD unchanged.
    const QList<QJsonObject> records = newOfdRecords();
    QCOMPARE(records.size(), 1);
    const QJsonObject record = records.first();
    QCOMPARE(record.value(QStringLiteral("storageNumber")).toString(),
        QString::fromLatin1(usbemu::DefaultSerialNumber));
    QCOMPARE(record.value(QStringLiteral("documentNumber")).toInt(), 1);
    QMap<int, QJsonObject> byTag;
    const QJsonArray tagList = record.value(QStringLiteral("tags")).toArray();
    for (const QJsonValue &tag : tagList)
        byTag.insert(tag.toObject().value(QStringLiteral("tag")).toInt(), tag.toObject());
    auto text
        = [&byTag](int tag) { return byTag.value(tag).value(QStringLiteral("value")).toString(); };
    auto hex = [&byTag](int tag) {
        return byTag.value(tag).value(QStringLiteral("hex")).toString().toLatin1();
    };
    QCOMPARE(hex(1018), padded(entry.userInn, 12).toHex());
    QCOMPARE(hex(1037), padded(entry.regNumber(), 20).toHex());
    QCOMPARE(hex(1062), QByteArray::number(EntryTaxes, 16).rightJustified(2, '0'));
    QCOMPARE(text(1048), entry.userName);
    QCOMPARE(text(1009), entry.address);
    QCOMPARE(text(1187), entry.place);
    QCOMPARE(text(1021), entry.cashier);
    QCOMPARE(text(1203), entry.cashierInn);
    QCOMPARE(hex(1017), padded(LoopbackOfdInn, 12).toHex());
    QCOMPARE(text(1046), LoopbackOfdName);
    QCOMPARE(text(1060), entry.fnsSite);
    QCOMPARE(text(1117), entry.email);
    QCOMPARE(text(1013), entry.serial);
    QCOMPARE(text(1188), QStringLiteral("001"));
    QCOMPARE(hex(1057), QByteArray::number(EntryAgents, 16).rightJustified(2, '0'));
    const QList<QPair<int, QByteArray>> flags = { { 1056, "00" }, { 1002, "00" }, { 1001, "00" },
        { 1109, "01" }, { 1110, "00" }, { 1108, "00" }, { 1207, "01" }, { 1193, "00" },
        { 1126, "01" }, { 1221, "00" }, { 1189, "02" }, { 1209, "02" } };
    for (const auto &flag : flags)
        QCOMPARE(hex(flag.first), flag.second);
}

void tst_Fiscalization::failures_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<AtRetry>("atRetry");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("messages"); // texts of the warning and critical boxes
    QTest::addColumn<int>("finishes");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<int>("ofdDocuments"); // received by the OFD in this run
    QTest::addColumn<int>("unconfirmed");

    const int apply = QMessageBox::Apply;
    const int cancel = QMessageBox::Cancel;
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const QString confirm = QStringLiteral("question|РЕГИСТРАЦИЯ");
    const QString invalid = QStringLiteral("critical|РЕГИСТРАЦИЯ");
    const QString attention = QStringLiteral("critical|Внимание");
    const QString retry = QStringLiteral("question|ФИСКАЛИЗАЦИЯ");
    const QString ofdError = QStringLiteral("critical|ОТПРАВКА В ОФД");
    const QString ofdRetry = QStringLiteral("question|ОТПРАВКА В ОФД");
    const QString result = QStringLiteral("result|Dialog");
    const QString unreachable = QStringLiteral("Ошибка связи с ОФД: 127.0.0.1:7777");
    const QString unknown = QStringLiteral("НЕИЗВЕСТНАЯ ОШИБКА ОТПРАВКИ В ОФД");

    QTest::newRow("entries fail their checks")
        << Fault::InvalidEntry << AtRetry::Keep << QList<int> {} << QStringList { invalid }
        << QStringList { QStringLiteral("1. Не заданы ФИО кассира\n2. Некорректный ИНН "
                                        "Пользователя\n3. Некорректный рег. номер") }
        << 0 << false << 0 << 0;
    QTest::newRow("cancel at the first confirmation")
        << Fault::None << AtRetry::Keep << QList<int> { cancel } << QStringList { confirm }
        << QStringList {} << 0 << false << 0 << 0;
    QTest::newRow("cancel inside the attempt, then give up")
        << Fault::None << AtRetry::Keep << QList<int> { apply, cancel, no }
        << QStringList { confirm, confirm, retry } << QStringList {} << 1 << false << 0 << 0;
    QTest::newRow("cancel inside the attempt, then register")
        << Fault::None << AtRetry::Keep << QList<int> { apply, cancel, yes, apply }
        << QStringList { confirm, confirm, retry, confirm, result } << QStringList {} << 1 << true
        << 1 << 0;
    QTest::newRow("another storage than at hand-over")
        << Fault::AnotherStorage << AtRetry::Keep << QList<int> { apply, apply, yes, apply, no }
        << QStringList { confirm, confirm, attention, retry, confirm, attention, retry }
        << QStringList { QStringLiteral("Изменился ФН"), QStringLiteral("Изменился ФН") } << 3
        << false << 0 << 0;
    QTest::newRow("opening refused")
        << Fault::RefuseOpening << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, attention, retry }
        << QStringList { QStringLiteral("Ошибка начала фискализации") } << 1 << false << 0 << 0;
    QTest::newRow("opening refused once, then registered")
        << Fault::RefuseOpening << AtRetry::ClearFault << QList<int> { apply, apply, yes, apply }
        << QStringList { confirm, confirm, attention, retry, confirm, result }
        << QStringList { QStringLiteral("Ошибка начала фискализации") } << 1 << true << 1 << 0;
    QTest::newRow("one TLV refused")
        << Fault::RefuseTlv << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, attention, retry }
        << QStringList { QStringLiteral("Ошибка передачи параметра") } << 1 << false << 0 << 0;
    QTest::newRow("closing refused")
        << Fault::RefuseClosing << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, attention, retry }
        << QStringList { QStringLiteral("Ошибка завершения фискализации") } << 1 << false << 0 << 0;
    QTest::newRow("closing refused once, then registered")
        << Fault::RefuseClosing << AtRetry::ClearFault << QList<int> { apply, apply, yes, apply }
        << QStringList { confirm, confirm, attention, retry, confirm, result }
        << QStringList { QStringLiteral("Ошибка завершения фискализации") } << 1 << true << 1 << 0;
    // The storage closed the report but its answer was lost on the way: the
    // next attempt finds the storage registered, goes on with the delivery,
    // and shows the storage's document number without a fiscal sign.
    QTest::newRow("closing answer damaged, storage registered")
        << Fault::ClosingAnswerDamaged << AtRetry::Keep << QList<int> { apply, apply, yes, apply }
        << QStringList { confirm, confirm, attention, retry, confirm, result }
        << QStringList { QStringLiteral("Ошибка завершения фискализации") } << 1 << true << 1 << 0;
    QTest::newRow("closing answer cut short, storage registered")
        << Fault::ClosingAnswerCutShort << AtRetry::Keep << QList<int> { apply, apply, yes, apply }
        << QStringList { confirm, confirm, attention, retry, confirm, result }
        << QStringList { QStringLiteral("Ошибка завершения фискализации") } << 1 << true << 1 << 0;
    QTest::newRow("closing answer without its numbers")
        << Fault::ShortClosingAnswer << AtRetry::Keep << QList<int> { apply, apply }
        << QStringList { confirm, confirm, ofdError, result }
        << QStringList { QStringLiteral("Ошибка получения данных для ОФД") } << 1 << false << 0
        << 0;
    QTest::newRow("OFD unreachable, document left, give up")
        << Fault::OfdRefuses << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, ofdError, ofdRetry, result }
        << QStringList { unreachable } << 1 << true << 0 << 1;
    QTest::newRow("OFD unreachable, then reachable")
        << Fault::OfdRefuses << AtRetry::ClearFault << QList<int> { apply, apply, yes }
        << QStringList { confirm, confirm, ofdError, ofdRetry, result }
        << QStringList { unreachable } << 1 << true << 1 << 0;
    QTest::newRow("OFD unreachable, nothing left unsent")
        << Fault::OfdRefusesConfirmedMeanwhile << AtRetry::Keep << QList<int> { apply, apply, yes }
        << QStringList { confirm, confirm, ofdError, ofdRetry, ofdError, result }
        << QStringList { unreachable, unreachable } << 1 << true << 0 << 0;
    QTest::newRow("no receipt from the OFD")
        << Fault::OfdNoAnswer << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, ofdError, ofdRetry, result }
        << QStringList { QStringLiteral("Ошибка получения ответа от ОФД") } << 1 << true << 1 << 1;
    QTest::newRow("receipt refused by the storage")
        << Fault::ReceiptRefused << AtRetry::Keep << QList<int> { apply, apply, no }
        << QStringList { confirm, confirm, ofdError, ofdRetry, result }
        << QStringList { QStringLiteral("Ошибка записи квитанции от ОФД") } << 1 << true << 1 << 1;
    QTest::newRow("receipt refused once, then taken")
        << Fault::ReceiptRefused << AtRetry::ClearFault << QList<int> { apply, apply, yes }
        << QStringList { confirm, confirm, ofdError, ofdRetry, result }
        << QStringList { QStringLiteral("Ошибка записи квитанции от ОФД") } << 1 << true << 2 << 0;
    QTest::newRow("three unsent documents, three rounds")
        << Fault::ThreeUnsent << AtRetry::Keep << QList<int> { apply, apply, yes, yes }
        << QStringList { confirm, confirm, ofdError, ofdRetry, ofdError, ofdRetry, result }
        << QStringList { unknown, unknown } << 1 << true << 3 << 0;
    QTest::newRow("offline mode skips the OFD")
        << Fault::Offline << AtRetry::Keep << QList<int> { apply, apply }
        << QStringList { confirm, confirm, result } << QStringList {} << 1 << true << 0 << 1;
}

void tst_Fiscalization::failures()
{
    QFETCH(Fault, fault);
    QFETCH(AtRetry, atRetry);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, messages);
    QFETCH(int, finishes);
    QFETCH(bool, registered);
    QFETCH(int, ofdDocuments);
    QFETCH(int, unconfirmed);
    const QString retry = QStringLiteral("question|ФИСКАЛИЗАЦИЯ");

    int olderDocuments = 0;
    if (fault == Fault::ThreeUnsent) {
        // Two documents the OFD has not confirmed yet, and the storage ready
        // for another registration.
        usbemu::Registration earlier;
        earlier.dateTime = testsupport::setupRegistrationTime();
        earlier.inn = testsupport::SetupInn;
        earlier.regNumber = testsupport::SetupRegNumber;
        for (int i = 0; i < 2; ++i) {
            QVERIFY(usbemu::registerStorage(earlier, false));
            usbemu::setPhase(usbemu::PhaseReadiness);
        }
        olderDocuments = 2;
    }

    Entry entry;
    entry.offline = fault == Fault::Offline;
    HAND_OVER(entry.serial);
    fill(entry);
    if (fault == Fault::InvalidEntry) {
        field<QLineEdit>("leCashier")->clear();
        field<QLineEdit>("leUserInn")->setText(QStringLiteral("7700001236"));
    }
    QSignalSpy finished(m_form, &RegistrationWidget::finish);
    QVERIFY(finished.isValid());

    auto setFault = [fault, this](bool on) {
        switch (fault) {
        case Fault::AnotherStorage:
            usbemu::setSerialNumber(
                on ? QByteArrayLiteral("9999078900009999") : usbemu::DefaultSerialNumber);
            break;
        case Fault::RefuseOpening:
            on ? usbemu::setCannedAnswer(0x02, usbemu::AnswerWrongState)
               : usbemu::clearCannedAnswer(0x02);
            break;
        case Fault::RefuseTlv:
            on ? usbemu::setCannedAnswer(0x07, usbemu::AnswerBadParameters)
               : usbemu::clearCannedAnswer(0x07);
            break;
        case Fault::RefuseClosing:
            on ? usbemu::setCannedAnswer(0x03, usbemu::AnswerWrongState)
               : usbemu::clearCannedAnswer(0x03);
            break;
        case Fault::ShortClosingAnswer:
            on ? usbemu::setCannedAnswer(0x03, usbemu::AnswerOk, QByteArray::fromHex("01000000"))
               : usbemu::clearCannedAnswer(0x03);
            break;
        case Fault::ClosingAnswerDamaged:
            usbemu::setFrameFault(
                0x03, on ? usbemu::FrameFault::BadChecksum : usbemu::FrameFault::None);
            break;
        case Fault::ClosingAnswerCutShort:
            usbemu::setFrameFault(
                0x03, on ? usbemu::FrameFault::ShortFrame : usbemu::FrameFault::None);
            break;
        case Fault::OfdRefuses:
        case Fault::OfdRefusesConfirmedMeanwhile:
            m_ofd.setScenario(on ? ofdemu::Scenario::Refuse : ofdemu::Scenario::Normal);
            break;
        case Fault::OfdNoAnswer:
            m_ofd.setScenario(on ? ofdemu::Scenario::NoAnswer : ofdemu::Scenario::Normal);
            m_ofd.setHoldTime(on ? 100 : -1);
            break;
        case Fault::ReceiptRefused:
            on ? usbemu::setCannedAnswer(0x26, usbemu::AnswerBadParameters)
               : usbemu::clearCannedAnswer(0x26);
            break;
        default:
            break;
        }
    };
    setFault(true);

    QList<int> fiscalizeRetryProgress;
    m_answerer->setOnBox([&](const ModalAnswerer::Seen &seen) {
        const bool retryQuestion = seen.kind == QLatin1String("question")
            && (seen.title == QStringLiteral("ФИСКАЛИЗАЦИЯ")
                || seen.title == QStringLiteral("ОТПРАВКА В ОФД"));
        if (seen.kind + QLatin1Char('|') + seen.title == retry)
            fiscalizeRetryProgress << field<QProgressBar>("progressBar")->value();
        if (retryQuestion && atRetry == AtRetry::ClearFault)
            setFault(false);
        if (retryQuestion && fault == Fault::OfdRefusesConfirmedMeanwhile) {
            // The document reaches the OFD some other way meanwhile: its
            // receipt is written into the storage before the operator answers.
            FsWorker worker;
            worker.start();
            QByteArray message;
            QVERIFY(worker.readOfdMessage(message));
            FiscalStorageAnswer answer;
            QVERIFY(
                worker.sendOfdTicket(testsupport::ofdReceipt(usbemu::serialNumber(), 1), answer));
            worker.stop();
        }
    });
    QList<QMessageBox::StandardButton> scripted;
    for (int answer : qAsConst(answers))
        scripted << QMessageBox::StandardButton(answer);
    m_answerer->setAnswers(scripted);
    pressRegister();

    QVERIFY2(m_answerer->boxes() == boxes,
        qPrintable(
            QStringLiteral("boxes: %1").arg(m_answerer->boxes().join(QStringLiteral(" / ")))));
    QCOMPARE(m_answerer->unexpected(), 0);
    QCOMPARE(m_answerer->unanswered(), 0);
    QStringList shown;
    for (const ModalAnswerer::Seen &seen : m_answerer->seen()) {
        if (seen.kind == QLatin1String("critical") || seen.kind == QLatin1String("warning"))
            shown << seen.text;
    }
    QCOMPARE(shown, messages);
    QCOMPARE(finished.count(), finishes);
    if (finishes > 0) {
        QVERIFY(!m_form->isEnabled());
        QVERIFY(m_window->isEnabled());
    } else {
        QVERIFY(m_form->isEnabled());
    }
    // The retry question of a failed attempt finds the progress back at 0.
    QCOMPARE(fiscalizeRetryProgress.size(), boxes.count(retry));
    for (int value : qAsConst(fiscalizeRetryProgress))
        QCOMPARE(value, 0);

    // The storage: registered or not; a failed step cancelled its document.
    QCOMPARE(usbemu::phase(), registered ? usbemu::PhaseFiscalMode : usbemu::PhaseReadiness);
    QCOMPARE(usbemu::documents().size() - olderDocuments, registered ? 1 : 0);
    const bool closingAnswerLost
        = fault == Fault::ClosingAnswerDamaged || fault == Fault::ClosingAnswerCutShort;
    const bool attemptFailedInStorage = fault == Fault::RefuseOpening || fault == Fault::RefuseTlv
        || fault == Fault::RefuseClosing || closingAnswerLost;
    if (closingAnswerLost) {
        // One report opened and closed: the retry did not open another.
        QCOMPARE(commands(0x02).size(), 1);
        QCOMPARE(commands(0x03).size(), 1);
    }
    QCOMPARE(commands(0x06).size() >= 1, attemptFailedInStorage || fault == Fault::ReceiptRefused);
    if (fault == Fault::AnotherStorage || fault == Fault::InvalidEntry
        || (fault == Fault::None && !registered)) {
        QVERIFY(commands(0x02).isEmpty());
        QVERIFY(commands(0x07).isEmpty());
    }
    if (fault == Fault::ReceiptRefused) {
        // After the refused receipt the reading and the document are cancelled.
        const QList<usbemu::Command> all = usbemu::receivedCommands();
        int refused = -1;
        for (int i = 0; i < all.size() && refused < 0; ++i)
            refused = all.at(i).code == 0x26 ? i : -1;
        QVERIFY(refused >= 0 && refused + 3 < all.size());
        QCOMPARE(all.at(refused + 1).code, quint8(0x24));
        QCOMPARE(all.at(refused + 2).code, quint8(0x06));
        QCOMPARE(all.at(refused + 3).code, quint8(0x20));
    }

    // The OFD: what it received, and what the storage still waits for.
    const QList<QJsonObject> records = newOfdRecords();
    int documentsReceived = 0;
    QList<int> numbers;
    for (const QJsonObject &record : records) {
        if (record.contains(QStringLiteral("documentNumber"))) {
            ++documentsReceived;
            numbers << record.value(QStringLiteral("documentNumber")).toInt();
        }
    }
    QCOMPARE(documentsReceived, ofdDocuments);
    if (fault == Fault::ThreeUnsent)
        QCOMPARE(numbers, QList<int>({ 1, 2, 3 }));
    QCOMPARE(usbemu::unconfirmedCount(), unconfirmed);

    // The result dialog: the storage's numbers only when it answered them.
    if (boxes.contains(QStringLiteral("result|Dialog"))) {
        const QString report = m_answerer->seen().last().text;
        const bool docShown = fault != Fault::ShortClosingAnswer;
        const bool signShown = docShown && !closingAnswerLost;
        QCOMPARE(reportLine(report, QStringLiteral("ФП ")).isEmpty(), !signShown);
        const RegistrationParams params = m_form->registrationParams();
        QVERIFY(params.regDate().isValid());
        QCOMPARE(params.regDocNumber() != 0, docShown);
        QCOMPARE(params.fiscalCode() != 0, signShown);
        if (docShown) {
            const usbemu::Document last = usbemu::documents().last();
            QCOMPARE(reportValue(report, QStringLiteral("ФД")), QString::number(last.number));
            QCOMPARE(params.regDocNumber(), last.number);
            if (signShown)
                QCOMPARE(params.fiscalCode(), last.fiscalSign);
            // The date the storage closed the report with, to the minute. The
            // storage keeps the wall-clock bytes it was given; the emulator
            // reads them as UTC.
            QCOMPARE(params.regDate().toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                last.dateTime.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
        } else {
            QVERIFY(reportValue(report, QStringLiteral("ФД")).isEmpty());
        }
    }
}

QTEST_MAIN(tst_Fiscalization)
#include "tst_fiscalization.moc"
