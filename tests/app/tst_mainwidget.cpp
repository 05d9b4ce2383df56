// The main window end to end: it logs in to the emulated processing server,
// lists the models that qualify, checks the emulated storage before it asks
// the operator, hands the record over to the form, and erases an MGM.

#include "appbench.h"
#include "modalanswerer.h"

#include "fs/fsstate.h"
#include "mainwidget.h"
#include "mgr/processingserver.h"
#include "processingserveremulator.h"
#include "registrationwidget.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using testsupport::StorageSetup;

// A window that got its model list.
#define OPEN_READY_WINDOW()                                                                        \
    do {                                                                                           \
        m_window = appbench::openWindow(m_processing);                                             \
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isEnabled(), 10000);                                    \
    } while (false)

namespace {

// The models of the emulator's built-in list that qualify, as shown.
const QStringList DefaultListed
    = { QStringLiteral("Меридиан-Ф"), QStringLiteral("Каскад 02Ф"), QStringLiteral("Вершина-255") };

enum class EraseFault
{
    None,
    RefuseErase,
    Unplug
};

} // namespace

Q_DECLARE_METATYPE(EraseFault)

class tst_MainWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsDisabledAndLogsIn();
    void rowLayout();
    void modelFilter_data();
    void modelFilter();
    void laterModelListReturnsToReady();
    void startWarnings_data();
    void startWarnings();
    void storageCheckRefused_data();
    void storageCheckRefused();
    void question_data();
    void question();
    void finishReturnsToReady();
    void eraseMgm_data();
    void eraseMgm();

private:
    void typeSerial(const QString &serial);
    void pressStart();

    ProcessingServerEmulator m_processing;
    ModalAnswerer *m_answerer = nullptr;
    std::unique_ptr<MainWidget> m_window;
};

void tst_MainWidget::initTestCase()
{
    qRegisterMetaType<StorageSetup>();
    QVERIFY(appbench::startProcessing(m_processing));
}

void tst_MainWidget::init()
{
    m_processing.setHardware(ProcessingServerEmulator::defaultHardware());
    m_processing.clearRequests();
    testsupport::resetStorage(StorageSetup::FreshMgm);
    m_answerer = new ModalAnswerer(this);
}

void tst_MainWidget::cleanup()
{
    m_window.reset();
    delete m_answerer;
    m_answerer = nullptr;
}

void tst_MainWidget::typeSerial(const QString &serial)
{
    auto *leSerial = m_window->findChild<QLineEdit *>(QStringLiteral("leSerial"));
    QVERIFY(leSerial);
    leSerial->clear();
    QTest::keyClicks(leSerial, serial);
}

void tst_MainWidget::pressStart()
{
    auto *pbStart = m_window->findChild<QPushButton *>(QStringLiteral("pbStart"));
    QVERIFY(pbStart);
    QTest::mouseClick(pbStart, Qt::LeftButton);
}

void tst_MainWidget::startsDisabledAndLogsIn()
{
    m_window = appbench::openWindow(m_processing);
    auto *cbModel = m_window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    auto *pbCleanFs = m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"));
    auto *form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));
    QVERIFY(cbModel && pbCleanFs && form);

    QCOMPARE(m_window->windowTitle(), QStringLiteral("ТАВРОН"));
    QVERIFY(!m_window->isEnabled());
    QVERIFY(!pbCleanFs->isEnabled());
    QVERIFY(!form->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(m_window->isEnabled(), 10000);
    QStringList shown;
    for (int i = 0; i < cbModel->count(); ++i)
        shown << cbModel->itemText(i);
    QCOMPARE(shown, DefaultListed);
    QCOMPARE(cbModel->currentIndex(), 0);
    // The item carries the whole record as the server sent it, untrimmed.
    const QVariantMap first = cbModel->itemData(0).toMap();
    QCOMPARE(first.value(QStringLiteral("name")).toString(), QStringLiteral("  Меридиан-Ф  "));
    QCOMPARE(first.value(QStringLiteral("officialVersion")).toString(), QStringLiteral("001 "));
    QCOMPARE(first.value(QStringLiteral("idHardware")).toInt(), 101);
    QVERIFY(!form->isEnabled());
    QVERIFY(!pbCleanFs->isEnabled());

    // One login with the compiled-in account, then one model request on
    // behalf of the session the login opened.
    const QList<EmulatedRequest> requests = m_processing.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests.at(0).path(), QStringLiteral("/vendrel/api/LoginSession"));
    QCOMPARE(requests.at(0).queryValue(QStringLiteral("idHardSoft")), QStringLiteral("1"));
    QCOMPARE(requests.at(0).queryValue(QStringLiteral("login")), ProcessingServer::login());
    QCOMPARE(requests.at(0).queryValue(QStringLiteral("password")), ProcessingServer::password());
    QCOMPARE(requests.at(1).path(), QStringLiteral("/vendrel/api/WebDataPackPost"));
    const QJsonObject body = QJsonDocument::fromJson(requests.at(1).body()).object();
    QCOMPARE(body.value(QStringLiteral("session"))
                 .toObject()
                 .value(QStringLiteral("idSession"))
                 .toString(),
        m_processing.sessions().last());

    // Nothing was asked of the storage yet, and no box came up.
    QVERIFY(usbemu::receivedCommands().isEmpty());
    QVERIFY(m_answerer->seen().isEmpty());
}

void tst_MainWidget::rowLayout()
{
    m_window = appbench::openWindow(m_processing);
    auto *row = m_window->findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QVERIFY(row);
    QStringList names;
    for (int i = 0; i < row->count(); ++i) {
        QLayoutItem *item = row->itemAt(i);
        names << (item->widget() ? item->widget()->objectName() : QStringLiteral("spacer"));
    }
    QCOMPARE(names,
        QStringList({ QStringLiteral("cbModel"), QStringLiteral("label"),
            QStringLiteral("leSerial"), QStringLiteral("spacer"), QStringLiteral("pbCleanFs"),
            QStringLiteral("pbStart") }));
    QCOMPARE(
        m_window->findChild<QLabel *>(QStringLiteral("label"))->text(), QStringLiteral("ЗН ККТ"));
    QCOMPARE(m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"))->text(),
        QStringLiteral("Стереть МГМ"));
    QCOMPARE(m_window->findChild<QPushButton *>(QStringLiteral("pbStart"))->text(),
        QStringLiteral("Начать"));
    // Twenty digit positions (the blank character follows the semicolon).
    QCOMPARE(m_window->findChild<QLineEdit *>(QStringLiteral("leSerial"))
                 ->inputMask()
                 .section(QLatin1Char(';'), 0, 0),
        QString(20, QLatin1Char('9')));
    QCOMPARE(m_window->minimumSize(), QSize(800, 600));
}

void tst_MainWidget::modelFilter_data()
{
    QTest::addColumn<QVariant>("hardwareType");
    QTest::addColumn<QVariant>("officialModel");
    QTest::addColumn<bool>("listed");

    QTest::newRow("cash register, model 200") << QVariant(1) << QVariant(200) << true;
    QTest::newRow("cash register, model 255") << QVariant(1) << QVariant(255) << true;
    QTest::newRow("cash register, model 199") << QVariant(1) << QVariant(199) << false;
    QTest::newRow("cash register, model 256") << QVariant(1) << QVariant(256) << false;
    QTest::newRow("hardware type 2, model 230") << QVariant(2) << QVariant(230) << false;
    QTest::newRow("hardware type 0, model 230") << QVariant(0) << QVariant(230) << false;
    QTest::newRow("no model code") << QVariant(1) << QVariant() << false;
    QTest::newRow("model code as digits text")
        << QVariant(1) << QVariant(QStringLiteral("210")) << true;
    QTest::newRow("model code as other text")
        << QVariant(1) << QVariant(QStringLiteral("x210")) << false;
    QTest::newRow("hardware type as text 1")
        << QVariant(QStringLiteral("1")) << QVariant(220) << true;
}

void tst_MainWidget::modelFilter()
{
    QFETCH(QVariant, hardwareType);
    QFETCH(QVariant, officialModel);
    QFETCH(bool, listed);

    QVariantMap record = appbench::model(1, officialModel, QStringLiteral("  Модель Х \t"));
    record.insert(QStringLiteral("idHardwareType"), hardwareType);
    // A qualifying record after it shows that the filter skips, not stops.
    m_processing.setHardware({ record, appbench::model(1, 240, QStringLiteral("Контроль")) });
    OPEN_READY_WINDOW();
    auto *cbModel = m_window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    QStringList shown;
    for (int i = 0; i < cbModel->count(); ++i)
        shown << cbModel->itemText(i);
    QStringList expected;
    if (listed)
        expected << QStringLiteral("Модель Х");
    expected << QStringLiteral("Контроль");
    QCOMPARE(shown, expected);
}

void tst_MainWidget::laterModelListReturnsToReady()
{
    OPEN_READY_WINDOW();
    auto *form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));
    auto *cbModel = m_window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    typeSerial(QStringLiteral("1001"));
    m_answerer->setAnswers({ QMessageBox::Yes });
    pressStart();
    QVERIFY(form->isEnabled());

    const QVariantList later = { appbench::model(1, 201, QStringLiteral(" Новая ")) };
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "initDialog", Q_ARG(QVariantList, later)));
    QCOMPARE(cbModel->count(), 1);
    QCOMPARE(cbModel->itemText(0), QStringLiteral("Новая"));
    QVERIFY(m_window->isEnabled());
    QVERIFY(!form->isEnabled());
    QVERIFY(!m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"))->isEnabled());
}

void tst_MainWidget::startWarnings_data()
{
    QTest::addColumn<bool>("withModels");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("warning");

    QTest::newRow("no model listed")
        << false << QStringLiteral("12345") << QStringLiteral("Не задана модель кассы");
    QTest::newRow("serial number empty")
        << true << QString() << QStringLiteral("Не зада наводской номер кассы");
    QTest::newRow("serial number of blanks")
        << true << QStringLiteral("    ") << QStringLiteral("Не зада наводской номер кассы");
    QTest::newRow("no model and no serial")
        << false << QString() << QStringLiteral("Не задана модель кассы");
}

void tst_MainWidget::startWarnings()
{
    QFETCH(bool, withModels);
    QFETCH(QString, serial);
    QFETCH(QString, warning);

    if (!withModels)
        m_processing.setHardware({ appbench::model(2, 230, QStringLiteral("Накопитель")) });
    OPEN_READY_WINDOW();
    QCOMPARE(
        m_window->findChild<QComboBox *>(QStringLiteral("cbModel"))->count(), withModels ? 3 : 0);
    typeSerial(serial);
    QVERIFY(m_window->findChild<QLineEdit *>(QStringLiteral("leSerial"))->text().trimmed().isEmpty()
        == serial.trimmed().isEmpty());

    pressStart();
    QCOMPARE(m_answerer->boxes(), QStringList { QStringLiteral("warning|ФИСКАЛИЗАЦИЯ") });
    QCOMPARE(m_answerer->seen().first().text, warning);
    // The storage was not even looked at, and nothing was handed over.
    QVERIFY(usbemu::receivedCommands().isEmpty());
    QVERIFY(!m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"))->isEnabled());
    QVERIFY(m_window->isEnabled());
}

void tst_MainWidget::storageCheckRefused_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<int>("phase"); // -1: as the setup leaves it
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("cleanEnabled");

    QTest::newRow("no adapter") << StorageSetup::NoAdapter << -1 << QStringLiteral("Нет связи с ФН")
                                << false;
    QTest::newRow("no storage on the bus")
        << StorageSetup::NoStorage << -1 << QStringLiteral("Нет связи с ФН") << false;
    QTest::newRow("registered fiscal storage")
        << StorageSetup::RegisteredFs << -1 << QStringLiteral("ФН уже активирован") << false;
    QTest::newRow("registered MGM")
        << StorageSetup::RegisteredMgm << -1 << QStringLiteral("ФН уже активирован") << true;
    QTest::newRow("MGM in phase 7")
        << StorageSetup::FreshMgm << 0x07 << QStringLiteral("ФН уже активирован") << true;
    QTest::newRow("fiscal storage in phase 15")
        << StorageSetup::FreshFs << 0x0F << QStringLiteral("ФН уже активирован") << false;
}

void tst_MainWidget::storageCheckRefused()
{
    QFETCH(StorageSetup, setup);
    QFETCH(int, phase);
    QFETCH(QString, warning);
    QFETCH(bool, cleanEnabled);

    OPEN_READY_WINDOW();
    testsupport::resetStorage(setup);
    if (phase >= 0)
        usbemu::setPhase(quint8(phase));
    typeSerial(QStringLiteral("777"));
    pressStart();

    QCOMPARE(m_answerer->boxes(), QStringList { QStringLiteral("warning|ФИСКАЛИЗАЦИЯ") });
    QCOMPARE(m_answerer->seen().first().text, warning);
    QVERIFY(!m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"))->isEnabled());
    QCOMPARE(
        m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"))->isEnabled(), cleanEnabled);
    QCOMPARE(usbemu::openDocumentType(), quint8(0));
}

void tst_MainWidget::question_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("cleanEnabled");

    const QString serial = QString::fromLatin1(usbemu::DefaultSerialNumber);
    QTest::newRow("MGM, Yes")
        << StorageSetup::FreshMgm << int(QMessageBox::Yes)
        << QStringLiteral("Зафискализировать Меридиан-Ф №0042 c МГМ №%1?").arg(serial) << true;
    QTest::newRow("MGM, No")
        << StorageSetup::FreshMgm << int(QMessageBox::No)
        << QStringLiteral("Зафискализировать Меридиан-Ф №0042 c МГМ №%1?").arg(serial) << true;
    QTest::newRow("fiscal storage, Yes")
        << StorageSetup::FreshFs << int(QMessageBox::Yes)
        << QStringLiteral("Зафискализировать Меридиан-Ф №0042 c ФН №%1?").arg(serial) << false;
    QTest::newRow("fiscal storage, No")
        << StorageSetup::FreshFs << int(QMessageBox::No)
        << QStringLiteral("Зафискализировать Меридиан-Ф №0042 c ФН №%1?").arg(serial) << false;
}

void tst_MainWidget::question()
{
    QFETCH(StorageSetup, setup);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(bool, cleanEnabled);

    OPEN_READY_WINDOW();
    testsupport::resetStorage(setup);
    auto *form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));
    typeSerial(QStringLiteral("0042"));
    m_answerer->setAnswers({ QMessageBox::StandardButton(answer) });
    pressStart();

    QCOMPARE(m_answerer->boxes(), QStringList { QStringLiteral("question|ФИСКАЛИЗАЦИЯ") });
    QCOMPARE(m_answerer->seen().first().text, question);
    QCOMPARE(m_answerer->unexpected(), 0);
    // The storage check ran before the question: status, version, lifetime and
    // transport, read by the worker's start and once more by the check.
    QList<quint8> codes;
    const QList<usbemu::Command> commands = usbemu::receivedCommands();
    for (const usbemu::Command &command : commands)
        codes << command.code;
    QCOMPARE(codes, QList<quint8>({ 0x30, 0x33, 0x32, 0x20, 0x30, 0x33, 0x32, 0x20 }));

    const RegistrationParams params = form->registrationParams();
    if (answer == QMessageBox::Yes) {
        QVERIFY(form->isEnabled());
        QCOMPARE(params.officialModel(), quint16(200));
        QCOMPARE(params.officialName(), QStringLiteral("МЕРИДИАН-Ф"));
        QCOMPARE(params.serial(), QStringLiteral("0042"));
        QCOMPARE(params.officialVersion(), QStringLiteral("001 "));
    } else {
        QVERIFY(!form->isEnabled());
        QVERIFY(params.serial().isEmpty());
        QCOMPARE(params.officialModel(), quint16(0));
    }
    QCOMPARE(
        m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"))->isEnabled(), cleanEnabled);
}

void tst_MainWidget::finishReturnsToReady()
{
    OPEN_READY_WINDOW();
    auto *form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));
    auto *pbCleanFs = m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"));
    typeSerial(QStringLiteral("5"));
    m_answerer->setAnswers({ QMessageBox::Yes });
    pressStart();
    QVERIFY(form->isEnabled());
    QVERIFY(pbCleanFs->isEnabled());

    QSignalSpy finished(form, &RegistrationWidget::finish);
    QVERIFY(finished.isValid());
    QVERIFY(QMetaObject::invokeMethod(form, "finish"));
    QCOMPARE(finished.count(), 1);
    QVERIFY(m_window->isEnabled());
    QVERIFY(!form->isEnabled());
    QVERIFY(!pbCleanFs->isEnabled());
}

void tst_MainWidget::eraseMgm_data()
{
    QTest::addColumn<StorageSetup>("setup");
    QTest::addColumn<EraseFault>("fault");
    QTest::addColumn<QString>("warning"); // empty: none expected
    QTest::addColumn<int>("phaseAfter");
    QTest::addColumn<bool>("cleanEnabled");

    QTest::newRow("registered MGM erased")
        << StorageSetup::RegisteredMgm << EraseFault::None << QString() << 0x01 << true;
    QTest::newRow("fresh MGM erased")
        << StorageSetup::FreshMgm << EraseFault::None << QString() << 0x01 << true;
    QTest::newRow("erase refused, still registered")
        << StorageSetup::RegisteredMgm << EraseFault::RefuseErase
        << QStringLiteral("ФН уже активирован") << 0x03 << true;
    QTest::newRow("erase refused, check passes")
        << StorageSetup::FreshMgm << EraseFault::RefuseErase << QString() << 0x01 << true;
    QTest::newRow("adapter unplugged before the erase")
        << StorageSetup::RegisteredMgm << EraseFault::Unplug << QStringLiteral("Нет связи с ФН")
        << 0x03 << false;
}

void tst_MainWidget::eraseMgm()
{
    QFETCH(StorageSetup, setup);
    QFETCH(EraseFault, fault);
    QFETCH(QString, warning);
    QFETCH(int, phaseAfter);
    QFETCH(bool, cleanEnabled);

    OPEN_READY_WINDOW();
    testsupport::resetStorage(setup);
    auto *pbCleanFs = m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"));
    QVERIFY(!pbCleanFs->isEnabled());

    // "Начать" looks at the storage; for an MGM that enables the erase.
    typeSerial(QStringLiteral("9"));
    if (setup == StorageSetup::FreshMgm)
        m_answerer->setAnswers({ QMessageBox::No });
    pressStart();
    QCOMPARE(m_answerer->unexpected(), 0);
    QVERIFY(pbCleanFs->isEnabled());

    switch (fault) {
    case EraseFault::None:
        break;
    case EraseFault::RefuseErase:
        usbemu::setCannedAnswer(0x60, usbemu::AnswerUnknownCommand);
        break;
    case EraseFault::Unplug:
        usbemu::setAdapterPlugged(false);
        break;
    }
    m_answerer->clear();
    usbemu::resetCounters();
    QTest::mouseClick(pbCleanFs, Qt::LeftButton);

    if (warning.isEmpty()) {
        QVERIFY(m_answerer->seen().isEmpty());
    } else {
        QCOMPARE(m_answerer->boxes(), QStringList { QStringLiteral("warning|ОЧИСТКА МГМ") });
        QCOMPARE(m_answerer->seen().first().text, warning);
    }
    if (fault != EraseFault::Unplug) {
        bool eraseSent = false;
        const QList<usbemu::Command> commands = usbemu::receivedCommands();
        for (const usbemu::Command &command : commands)
            eraseSent
                = eraseSent || (command.code == 0x60 && command.data == QByteArray(1, '\x16'));
        QVERIFY(eraseSent);
    }
    QCOMPARE(int(usbemu::phase()), phaseAfter);
    if (phaseAfter == 0x01)
        QVERIFY(usbemu::documents().isEmpty());
    QCOMPARE(pbCleanFs->isEnabled(), cleanEnabled);
    QVERIFY(!m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"))->isEnabled());
}

QTEST_MAIN(tst_MainWidget)
#include "tst_mainwidget.moc"
