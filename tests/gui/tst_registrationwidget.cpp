#include "fs/fsstate.h"
#include "fs/ofdinfo.h"
#include "registrationparams.h"
#include "registrationwidget.h"
#include "regnumber.h"

#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <functional>

using testsupport::StorageSetup;

class tst_RegistrationWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // The form as built.
    void texts_data();
    void texts();
    void gridPositions_data();
    void gridPositions();
    void lineEditLimits_data();
    void lineEditLimits();
    void tabs();
    void focusOrder();
    void afterConstruction();

    // The operator's choices.
    void chooseOperator_data();
    void chooseOperator();
    void typedOperatorKeepsInn();
    void offlineRule();
    void automatRule();

    // Copying into the record.
    void collectTexts_data();
    void collectTexts();
    void collectBits_data();
    void collectBits();
    void collectLeavesTheRest();

    // Hand-over from the main window.
    void regNumberButton_data();
    void regNumberButton();
    void header();
    void randomRegNumber_data();
    void randomRegNumber();

    // Storage services.
    void checkFs_data();
    void checkFs();
    void resetMgm_data();
    void resetMgm();

private:
    template <typename T> static T *child(RegistrationWidget &form, const char *name)
    {
        T *w = form.findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
    static FsState storageState(const QString &fsNumber, bool mgm);
};

FsState tst_RegistrationWidget::storageState(const QString &fsNumber, bool mgm)
{
    FsState state;
    state.setPhase(0x01);
    state.setOpenedDocType(0x00);
    state.setFsNumber(fsNumber);
    state.setDebugMode(mgm);
    return state;
}

void tst_RegistrationWidget::init() { setCurrentFsState(FsState()); }

void tst_RegistrationWidget::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const char *const rows[][2] = {
        { "windowHeader", "Регистрация" },
        { "label_2", "Кассир" },
        { "label_3", "ИНН Кассира" },
        { "lFnsWebSite", "Адрес сайта ФНС" },
        { "lSenderEmail", "Email отправителя чека" },
        { "label", "Регистрационный номер ККТ" },
        { "label_36", "ИНН пользователя" },
        { "label_35", "Наименование пользователя" },
        { "lbAdress", "Адрес расчетов" },
        { "lbPlace", "Место расчетов" },
        { "lbOfdName", "Наименование ОФД" },
        { "lbOfdInn", "ИНН ОФД" },
        { "lbBoxNumber", "Номер автомата" },
        { "cbSeparateMode", "Автономный режим" },
        { "cbBsoFlag", "Признак АС БСО" },
        { "cbAutomatMode", "Используется в составе автомата" },
        { "cbBoxPrinter", "Принтер в составе автомата" },
        { "cbLohotronFlag", "Проведение лотереи" },
        { "cbInetCalcFlag", "Расчеты в интернет" },
        { "cbServiceFlag", "Признак услуги" },
        { "cbAkcizeMode", "Продажа подакцизного товара" },
        { "cbEncryptingFlag", "Шифрование" },
        { "cbCasinoFlag", "Проведение азартных игр" },
        { "cbAgentBankPay", "Банковский платежный агент" },
        { "cbAgentBankPaySub", "Банковский платежный субагент" },
        { "cbAgentPay", "Платежный агент" },
        { "cbAgentPaySub", "Платежный субагент" },
        { "cbAgentPeverenn", "Поверенный" },
        { "cbAgentComissionare", "Комиссионер" },
        { "cbAgentAgent", "Агент" },
        { "cbFiscalTraditional", "Общая(традиционная)" },
        { "cbFiscalSimple", "Упрощенная" },
        { "cbFiscalSimplePlusMinus", "Упрощенная(доход минус расход)" },
        { "cbFiscalOnce", "Единый налог на вмененный доход" },
        { "cbFiscalOnceSh", "Единый сельскохозяйственный налог" },
        { "cbFiscalPatent", "Патентная система налогообложения" },
        { "pbRegNumber", "РНМ" },
        { "pbDoRegistration", "Выполнить регистрацию" },
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
}

void tst_RegistrationWidget::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    RegistrationWidget form;
    QWidget *w = form.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), text);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        QCOMPARE(button->text(), text);
    else
        QFAIL("neither a label nor a button");
}

void tst_RegistrationWidget::gridPositions_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");

    struct Cell
    {
        const char *grid;
        const char *name;
        int row, column, span;
    };
    const Cell cells[] = {
        { "gridLayout_2", "label_2", 0, 0, 1 },
        { "gridLayout_2", "leCashier", 0, 1, 1 },
        { "gridLayout_2", "label_3", 0, 2, 1 },
        { "gridLayout_2", "leCashierInn", 0, 3, 1 },
        { "gridLayout_2", "lFnsWebSite", 1, 0, 1 },
        { "gridLayout_2", "leFnsWebSite", 1, 1, 1 },
        { "gridLayout_2", "lSenderEmail", 1, 2, 1 },
        { "gridLayout_2", "leSenderEmail", 1, 3, 1 },
        { "gridLayout_2", "label", 2, 0, 1 },
        { "gridLayout_2", "leRegNumber", 2, 1, 1 },
        { "gridLayout_2", "label_36", 2, 2, 1 },
        { "gridLayout_2", "leUserInn", 2, 3, 1 },
        { "gridLayout_2", "label_35", 3, 0, 1 },
        { "gridLayout_2", "leUserName", 3, 1, 3 },
        { "gridLayout_2", "lbAdress", 4, 0, 1 },
        { "gridLayout_2", "leAddress", 4, 1, 3 },
        { "gridLayout_2", "lbPlace", 5, 0, 1 },
        { "gridLayout_2", "lePlace", 5, 1, 3 },
        { "gridLayout_2", "lbOfdName", 6, 0, 1 },
        { "gridLayout_2", "cbOfdName", 6, 1, 3 },
        { "gridLayout_2", "lbOfdInn", 7, 0, 1 },
        { "gridLayout_2", "leOfdInn", 7, 1, 1 },
        { "gridLayout_2", "lbBoxNumber", 7, 2, 1 },
        { "gridLayout_2", "leBoxNumber", 7, 3, 1 },
        { "gridLayout", "cbSeparateMode", 0, 0, 1 },
        { "gridLayout", "cbBsoFlag", 0, 1, 1 },
        { "gridLayout", "cbAutomatMode", 1, 0, 1 },
        { "gridLayout", "cbBoxPrinter", 1, 1, 1 },
        { "gridLayout", "cbLohotronFlag", 2, 0, 1 },
        { "gridLayout", "cbInetCalcFlag", 2, 1, 1 },
        { "gridLayout", "cbServiceFlag", 3, 0, 1 },
        { "gridLayout", "cbAkcizeMode", 3, 1, 1 },
        { "gridLayout", "cbEncryptingFlag", 4, 0, 1 },
        { "gridLayout", "cbCasinoFlag", 4, 1, 1 },
    };
    for (const Cell &c : cells) {
        QTest::newRow(c.name) << QString::fromLatin1(c.grid) << QString::fromLatin1(c.name) << c.row
                              << c.column << c.span;
    }
}

void tst_RegistrationWidget::gridPositions()
{
    QFETCH(QString, grid);
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);

    RegistrationWidget form;
    auto *layout = form.findChild<QGridLayout *>(grid);
    QVERIFY(layout);
    QWidget *w = form.findChild<QWidget *>(name);
    QVERIFY(w);
    const int index = layout->indexOf(w);
    QVERIFY2(index >= 0, "not in this grid");
    int r = -1, c = -1, rs = -1, cs = -1;
    layout->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, 1);
    QCOMPARE(cs, columnSpan);
}

void tst_RegistrationWidget::lineEditLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<int>("minimumWidth");

    QTest::newRow("leRegNumber") << "leRegNumber" << 16 << 0;
    QTest::newRow("leUserInn") << "leUserInn" << 12 << 100;
    QTest::newRow("leOfdInn") << "leOfdInn" << 10 << 100;
    QTest::newRow("leUserName") << "leUserName" << 32767 << 100;
    QTest::newRow("leAddress") << "leAddress" << 32767 << 100;
    QTest::newRow("leBoxNumber") << "leBoxNumber" << 32767 << 100;
    QTest::newRow("lePlace") << "lePlace" << 32767 << 0;
    QTest::newRow("leCashier") << "leCashier" << 32767 << 0;
}

void tst_RegistrationWidget::lineEditLimits()
{
    QFETCH(QString, name);
    QFETCH(int, maxLength);
    QFETCH(int, minimumWidth);

    RegistrationWidget form;
    auto *edit = form.findChild<QLineEdit *>(name);
    QVERIFY(edit);
    QCOMPARE(edit->maxLength(), maxLength);
    QCOMPARE(edit->minimumWidth(), minimumWidth);
    QCOMPARE(edit->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
}

void tst_RegistrationWidget::tabs()
{
    RegistrationWidget form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Form"));
    QCOMPARE(form.size(), QSize(801, 534));
    auto *tabs = child<QTabWidget>(form, "tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->currentIndex(), 0);
    const char *const names[] = { "tabMain", "tabAgent", "tabFiscalSystem" };
    const char *const titles[] = { "Общие реквизиты", "Признак агента", "Системы налогообложения" };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), QString::fromLatin1(names[i]));
        QCOMPARE(tabs->tabText(i), QString::fromUtf8(titles[i]));
    }
    auto *group = child<QGroupBox>(form, "groupBox");
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("Оказание услуг покупателю/клиенту"));
    QVERIFY(tabs->widget(1)->isAncestorOf(group));
    QVERIFY(tabs->widget(2)->isAncestorOf(child<QCheckBox>(form, "cbFiscalPatent")));

    auto *header = child<QLabel>(form, "windowHeader");
    QVERIFY(header);
    QCOMPARE(header->alignment(), Qt::AlignCenter);
    auto *border = child<QFrame>(form, "windowBorder");
    QVERIFY(border);
    QCOMPARE(border->frameShape(), QFrame::StyledPanel);
    QCOMPARE(border->frameShadow(), QFrame::Raised);
    QVERIFY(border->isAncestorOf(tabs));
    QCOMPARE(child<QProgressBar>(form, "progressBar")->value(), 0);
    QVERIFY(child<QComboBox>(form, "cbOfdName")->isEditable());
}

void tst_RegistrationWidget::focusOrder()
{
    const QStringList expected = {
        "leCashier",
        "leCashierInn",
        "leFnsWebSite",
        "leSenderEmail",
        "leRegNumber",
        "leUserInn",
        "leUserName",
        "leAddress",
        "lePlace",
        "cbOfdName",
        "leOfdInn",
        "cbSeparateMode",
        "cbAutomatMode",
        "cbLohotronFlag",
        "cbServiceFlag",
        "cbEncryptingFlag",
        "cbBsoFlag",
        "cbBoxPrinter",
        "cbInetCalcFlag",
        "cbAkcizeMode",
        "cbCasinoFlag",
        "leBoxNumber",
        "tabWidget",
        "cbAgentBankPay",
        "cbAgentBankPaySub",
        "cbAgentPay",
        "cbAgentPaySub",
        "cbAgentPeverenn",
        "cbAgentComissionare",
        "cbAgentAgent",
        "cbFiscalTraditional",
        "cbFiscalSimple",
        "cbFiscalSimplePlusMinus",
        "cbFiscalOnce",
        "cbFiscalOnceSh",
        "cbFiscalPatent",
        "pbDoRegistration",
        "pbRegNumber",
    };
    RegistrationWidget form;
    QWidget *start = child<QWidget>(form, "leCashier");
    QVERIFY(start);
    QStringList seen;
    QWidget *w = start;
    do {
        if (expected.contains(w->objectName()) && !seen.contains(w->objectName()))
            seen << w->objectName();
        w = w->nextInFocusChain();
    } while (w && w != start);
    QCOMPARE(seen, expected);
}

void tst_RegistrationWidget::afterConstruction()
{
    RegistrationWidget form;
    auto *ofdName = child<QComboBox>(form, "cbOfdName");
    auto *ofdInn = child<QLineEdit>(form, "leOfdInn");

    // The directory's first operator by INN.
    QCOMPARE(ofdName->currentIndex(), 0);
    QCOMPARE(ofdName->currentText(), QStringLiteral("Акционерное общество Тандер"));
    QCOMPARE(ofdInn->text(), QStringLiteral("2310031475"));

    // Every operator, in INN order, with its INN as item data.
    const OfdDirectory &directory = ofdDirectory();
    QCOMPARE(ofdName->count(), directory.size());
    QCOMPARE(ofdName->count(), 20);
    int i = 0;
    for (auto it = directory.cbegin(); it != directory.cend(); ++it, ++i) {
        QCOMPARE(ofdName->itemText(i), it.value().name());
        QCOMPARE(ofdName->itemData(i).toString(), it.key());
    }
    QCOMPARE(ofdName->itemData(19).toString(), QStringLiteral("9715260691"));

    // Online, not an automat; "РНМ" waits for the storage.
    for (const char *name : { "cbEncryptingFlag", "leOfdInn", "cbOfdName", "lbOfdInn", "lbOfdName",
             "leFnsWebSite", "lFnsWebSite", "leSenderEmail", "lSenderEmail" })
        QVERIFY2(child<QWidget>(form, name)->isVisibleTo(&form), name);
    for (const char *name : { "lbBoxNumber", "leBoxNumber", "cbBoxPrinter", "pbRegNumber" })
        QVERIFY2(!child<QWidget>(form, name)->isVisibleTo(&form), name);
}

void tst_RegistrationWidget::chooseOperator_data()
{
    QTest::addColumn<QString>("inn");
    QTest::addColumn<QString>("name");

    QTest::newRow("first row of the table") << "7704211201"
                                            << "Общество с ограниченной ответственностью Такском";
    QTest::newRow("last by INN") << "9715260691"
                                 << "Общество с ограниченной ответственностью Эвотор ОФД";
    QTest::newRow("quoted name") << "7729642175"
                                 << "Общество с ограниченной ответственностью \"ГРУППА ЭЛЕМЕНТ\"";
}

void tst_RegistrationWidget::chooseOperator()
{
    QFETCH(QString, inn);
    QFETCH(QString, name);

    RegistrationWidget form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *ofdName = child<QComboBox>(form, "cbOfdName");
    const int index = ofdName->findText(name);
    QVERIFY(index > 0);
    // As the operator does it: open the list and pick the entry.
    ofdName->setFocus();
    ofdName->setCurrentIndex(index);
    QCOMPARE(child<QLineEdit>(form, "leOfdInn")->text(), inn);

    form.collectParams();
    QCOMPARE(form.registrationParams().ofdName(), name);
    QCOMPARE(form.registrationParams().ofdInn(), inn);
}

void tst_RegistrationWidget::typedOperatorKeepsInn()
{
    RegistrationWidget form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *ofdName = child<QComboBox>(form, "cbOfdName");
    ofdName->setCurrentIndex(ofdName->findData(QStringLiteral("7704211201")));
    QCOMPARE(child<QLineEdit>(form, "leOfdInn")->text(), QStringLiteral("7704211201"));

    ofdName->lineEdit()->selectAll();
    // keyClicks() knows only Latin-1 keys; Cyrillic goes in as key text.
    for (const QChar ch : QStringLiteral("ООО Новый оператор"))
        QTest::sendKeyEvent(
            QTest::Click, ofdName->lineEdit(), Qt::Key_unknown, QString(ch), Qt::NoModifier);
    QCOMPARE(ofdName->currentText(), QStringLiteral("ООО Новый оператор"));
    QCOMPARE(child<QLineEdit>(form, "leOfdInn")->text(), QStringLiteral("7704211201"));

    form.collectParams();
    QCOMPARE(form.registrationParams().ofdName(), QStringLiteral("ООО Новый оператор"));
    QCOMPARE(form.registrationParams().ofdInn(), QStringLiteral("7704211201"));
}

void tst_RegistrationWidget::offlineRule()
{
    RegistrationWidget form;
    auto *offline = child<QCheckBox>(form, "cbSeparateMode");
    auto *encryption = child<QCheckBox>(form, "cbEncryptingFlag");
    auto *ofdName = child<QComboBox>(form, "cbOfdName");
    auto *ofdInn = child<QLineEdit>(form, "leOfdInn");
    child<QLineEdit>(form, "leFnsWebSite")->setText(QStringLiteral("www.nalog.ru"));
    child<QLineEdit>(form, "leSenderEmail")->setText(QStringLiteral("kassa@shop.ru"));
    encryption->setChecked(true);
    const QStringList ruled = { "cbEncryptingFlag", "leOfdInn", "cbOfdName", "lbOfdInn",
        "lbOfdName", "leFnsWebSite", "lFnsWebSite", "leSenderEmail", "lSenderEmail" };

    offline->click();
    QVERIFY(offline->isChecked());
    QVERIFY(!encryption->isChecked());
    QCOMPARE(ofdInn->text(), QString());
    QCOMPARE(ofdName->currentText(), QString());
    for (const QString &name : ruled)
        QVERIFY2(!form.findChild<QWidget *>(name)->isVisibleTo(&form), qPrintable(name));

    // The site and the address are only hidden; the record still gets them,
    // and the offline bit without the encryption bit.
    form.collectParams();
    RegistrationParams p = form.registrationParams();
    QCOMPARE(p.fnsSite(), QStringLiteral("www.nalog.ru"));
    QCOMPARE(p.email(), QStringLiteral("kassa@shop.ru"));
    QCOMPARE(p.ofdName(), QString());
    QCOMPARE(p.ofdInn(), QString());
    QCOMPARE(p.regFlags(), quint16(RegistrationParams::offlineMode));

    offline->click();
    QVERIFY(!offline->isChecked());
    for (const QString &name : ruled)
        QVERIFY2(form.findChild<QWidget *>(name)->isVisibleTo(&form), qPrintable(name));
    // Shown again, still empty; encryption stays off.
    QCOMPARE(ofdInn->text(), QString());
    QCOMPARE(ofdName->currentText(), QString());
    QVERIFY(!encryption->isChecked());
    // Choosing an operator again brings its INN back.
    ofdName->setCurrentIndex(ofdName->findData(QStringLiteral("7704211201")));
    QCOMPARE(ofdInn->text(), QStringLiteral("7704211201"));
}

void tst_RegistrationWidget::automatRule()
{
    RegistrationWidget form;
    auto *automat = child<QCheckBox>(form, "cbAutomatMode");
    auto *boxNumber = child<QLineEdit>(form, "leBoxNumber");
    auto *printer = child<QCheckBox>(form, "cbBoxPrinter");
    const QStringList ruled = { "lbBoxNumber", "leBoxNumber", "cbBoxPrinter" };

    automat->click();
    for (const QString &name : ruled)
        QVERIFY2(form.findChild<QWidget *>(name)->isVisibleTo(&form), qPrintable(name));
    boxNumber->setText(QStringLiteral(" АТМ-7 "));
    printer->setChecked(true);

    automat->click();
    for (const QString &name : ruled)
        QVERIFY2(!form.findChild<QWidget *>(name)->isVisibleTo(&form), qPrintable(name));
    QCOMPARE(boxNumber->text(), QStringLiteral(" АТМ-7 "));
    QVERIFY(printer->isChecked());

    form.collectParams();
    QCOMPARE(form.registrationParams().atmNumber(), QStringLiteral("АТМ-7"));
    QCOMPARE(form.registrationParams().regFlags(), quint16(RegistrationParams::externPrinter));

    automat->click();
    form.collectParams();
    QCOMPARE(form.registrationParams().regFlags(),
        quint16(RegistrationParams::externPrinter | RegistrationParams::automatMode));
}

void tst_RegistrationWidget::collectTexts_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cashier") << "leCashier"
                             << "  Иванов И. И. "
                             << "regCashierName"
                             << "Иванов И. И.";
    QTest::newRow("cashier INN") << "leCashierInn"
                                 << " 000000000000 "
                                 << "regCashierInn"
                                 << "000000000000";
    QTest::newRow("tax service site") << "leFnsWebSite"
                                      << " www.nalog.ru\t"
                                      << "fnsSite"
                                      << "www.nalog.ru";
    QTest::newRow("sender e-mail") << "leSenderEmail"
                                   << " kassa@shop.ru "
                                   << "email"
                                   << "kassa@shop.ru";
    QTest::newRow("registration number") << "leRegNumber"
                                         << " 00000000010123 "
                                         << "regNumber"
                                         << "00000000010123";
    QTest::newRow("user INN") << "leUserInn"
                              << " 7704211201 "
                              << "userInn"
                              << "7704211201";
    QTest::newRow("user name") << "leUserName"
                               << " ООО \"Ромашка\" "
                               << "userName"
                               << "ООО \"Ромашка\"";
    QTest::newRow("address") << "leAddress"
                             << " г. Тверь, ул. Советская, 1 "
                             << "paymentAddress"
                             << "г. Тверь, ул. Советская, 1";
    QTest::newRow("place") << "lePlace"
                           << " магазин "
                           << "paymentPlace"
                           << "магазин";
    QTest::newRow("OFD INN") << "leOfdInn"
                             << " 12345678 "
                             << "ofdInn"
                             << "12345678";
    QTest::newRow("OFD name typed") << "cbOfdName"
                                    << "  ООО Оператор  "
                                    << "ofdName"
                                    << "ООО Оператор";
    QTest::newRow("automat number, hidden") << "leBoxNumber"
                                            << " 17 "
                                            << "atmNumber"
                                            << "17";
}

void tst_RegistrationWidget::collectTexts()
{
    QFETCH(QString, widget);
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    const QMap<QString, std::function<QString(const RegistrationParams &)>> fields = {
        { "regCashierName", &RegistrationParams::regCashierName },
        { "regCashierInn", &RegistrationParams::regCashierInn },
        { "fnsSite", &RegistrationParams::fnsSite },
        { "email", &RegistrationParams::email },
        { "regNumber", &RegistrationParams::regNumber },
        { "userInn", &RegistrationParams::userInn },
        { "userName", &RegistrationParams::userName },
        { "paymentAddress", &RegistrationParams::paymentAddress },
        { "paymentPlace", &RegistrationParams::paymentPlace },
        { "ofdInn", &RegistrationParams::ofdInn },
        { "ofdName", &RegistrationParams::ofdName },
        { "atmNumber", &RegistrationParams::atmNumber },
    };
    QVERIFY(fields.contains(field));

    RegistrationWidget form;
    QWidget *w = form.findChild<QWidget *>(widget);
    QVERIFY(w);
    QLineEdit *edit = qobject_cast<QLineEdit *>(w);
    if (auto *combo = qobject_cast<QComboBox *>(w))
        edit = combo->lineEdit();
    QVERIFY(edit);
    edit->setText(typed);
    QCOMPARE(edit->text(), typed); // fits the field's limit

    form.collectParams();
    const RegistrationParams p = form.registrationParams();
    QCOMPARE(fields.value(field)(p), expected);
    // No other text field took this one's value.
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (it.key() != field)
            QVERIFY2(it.value()(p) != expected, qPrintable(it.key()));
    }
}

void tst_RegistrationWidget::collectBits_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("regFlags");
    QTest::addColumn<int>("taxes");
    QTest::addColumn<int>("agentFlags");

    QTest::newRow("Шифрование") << "cbEncryptingFlag" << 0x001 << 0 << 0;
    QTest::newRow("Автономный режим") << "cbSeparateMode" << 0x002 << 0 << 0;
    QTest::newRow("Используется в составе автомата") << "cbAutomatMode" << 0x004 << 0 << 0;
    QTest::newRow("Признак услуги") << "cbServiceFlag" << 0x008 << 0 << 0;
    QTest::newRow("Признак АС БСО") << "cbBsoFlag" << 0x010 << 0 << 0;
    QTest::newRow("Расчеты в интернет") << "cbInetCalcFlag" << 0x020 << 0 << 0;
    QTest::newRow("Принтер в составе автомата, hidden") << "cbBoxPrinter" << 0x040 << 0 << 0;
    QTest::newRow("Продажа подакцизного товара") << "cbAkcizeMode" << 0x080 << 0 << 0;
    QTest::newRow("Проведение азартных игр") << "cbCasinoFlag" << 0x100 << 0 << 0;
    QTest::newRow("Проведение лотереи") << "cbLohotronFlag" << 0x200 << 0 << 0;

    QTest::newRow("Общая(традиционная)") << "cbFiscalTraditional" << 0 << 0x01 << 0;
    QTest::newRow("Упрощенная") << "cbFiscalSimple" << 0 << 0x02 << 0;
    QTest::newRow("Упрощенная(доход минус расход)") << "cbFiscalSimplePlusMinus" << 0 << 0x04 << 0;
    QTest::newRow("Единый налог на вмененный доход") << "cbFiscalOnce" << 0 << 0x08 << 0;
    QTest::newRow("Единый сельскохозяйственный налог") << "cbFiscalOnceSh" << 0 << 0x10 << 0;
    QTest::newRow("Патентная система налогообложения") << "cbFiscalPatent" << 0 << 0x20 << 0;

    QTest::newRow("Банковский платежный агент") << "cbAgentBankPay" << 0 << 0 << 0x01;
    QTest::newRow("Банковский платежный субагент") << "cbAgentBankPaySub" << 0 << 0 << 0x02;
    QTest::newRow("Платежный агент") << "cbAgentPay" << 0 << 0 << 0x04;
    QTest::newRow("Платежный субагент") << "cbAgentPaySub" << 0 << 0 << 0x08;
    QTest::newRow("Поверенный") << "cbAgentPeverenn" << 0 << 0 << 0x10;
    QTest::newRow("Комиссионер") << "cbAgentComissionare" << 0 << 0 << 0x20;
    QTest::newRow("Агент") << "cbAgentAgent" << 0 << 0 << 0x40;
    QTest::newRow("none checked, defaults replaced") << QString() << 0 << 0 << 0;
}

void tst_RegistrationWidget::collectBits()
{
    QFETCH(QString, box);
    QFETCH(int, regFlags);
    QFETCH(int, taxes);
    QFETCH(int, agentFlags);

    RegistrationWidget form;
    // The record starts with the top bits set (0x8000, 0x80, 0x80).
    form.setParams(RegistrationParams());
    if (!box.isEmpty()) {
        auto *check = form.findChild<QCheckBox *>(box);
        QVERIFY(check);
        check->setChecked(true);
    }
    form.collectParams();
    const RegistrationParams p = form.registrationParams();
    QCOMPARE(int(p.regFlags()), regFlags);
    QCOMPARE(int(p.taxes()), taxes);
    QCOMPARE(int(p.agentFlags()), agentFlags);
}

void tst_RegistrationWidget::collectLeavesTheRest()
{
    RegistrationParams handed;
    handed.setOfficialModel(201);
    handed.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    handed.setSerial(QStringLiteral("00000012345678"));
    handed.setOfficialVersion(QStringLiteral("1.0 "));
    handed.setRegDocNumber(5);
    handed.setFiscalCode(77);
    handed.setRegDate(QDateTime(QDate(2018, 3, 5), QTime(14, 7)));

    setCurrentFsState(storageState(QStringLiteral("9999078900000001"), true));
    RegistrationWidget form;
    form.setParams(handed);
    // The storage's number is read again at every copy.
    setCurrentFsState(storageState(QStringLiteral("9999078900000002"), true));
    form.collectParams();
    const RegistrationParams p = form.registrationParams();
    QCOMPARE(p.fsNumber(), QStringLiteral("9999078900000002"));
    QCOMPARE(p.officialModel(), quint16(201));
    QCOMPARE(p.officialName(), QStringLiteral("ТАВРОН-Ф"));
    QCOMPARE(p.serial(), QStringLiteral("00000012345678"));
    QCOMPARE(p.officialVersion(), QStringLiteral("1.0 "));
    QCOMPARE(p.regDocNumber(), quint32(5));
    QCOMPARE(p.fiscalCode(), quint32(77));
    QCOMPARE(p.regDate(), QDateTime(QDate(2018, 3, 5), QTime(14, 7)));
    QCOMPARE(p.fdfVersion(), quint8(2));
    QCOMPARE(p.fSfDfVersion(), quint8(2));
}

void tst_RegistrationWidget::regNumberButton_data()
{
    QTest::addColumn<bool>("mgm");
    QTest::newRow("MGM") << true;
    QTest::newRow("fiscal storage") << false;
}

void tst_RegistrationWidget::regNumberButton()
{
    QFETCH(bool, mgm);

    setCurrentFsState(storageState(QStringLiteral("9999078900004321"), mgm));
    RegistrationWidget form;
    auto *button = child<QPushButton>(form, "pbRegNumber");
    QVERIFY(!button->isVisibleTo(&form));
    form.setParams(RegistrationParams());
    QCOMPARE(button->isVisibleTo(&form), mgm);

    // A later hand-over for the other kind follows the storage.
    setCurrentFsState(storageState(QStringLiteral("9999078900004321"), !mgm));
    form.setParams(RegistrationParams());
    QCOMPARE(button->isVisibleTo(&form), !mgm);
}

void tst_RegistrationWidget::header()
{
    setCurrentFsState(storageState(QStringLiteral("9999078900004321"), false));
    RegistrationWidget form;
    RegistrationParams p;
    p.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    p.setSerial(QStringLiteral(" 00012345 "));
    form.setParams(p);
    QCOMPARE(child<QLabel>(form, "windowHeader")->text(),
        QStringLiteral("РЕГИСТРАЦИЯ [ТАВРОН-Ф №00012345 -> 9999078900004321]"));
}

void tst_RegistrationWidget::randomRegNumber_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("userInn");
    QTest::addColumn<bool>("made");
    QTest::addColumn<QString>("fieldAfter"); // when no number is made

    QTest::newRow("10-digit INN") << "12345678"
                                  << "7704211201" << true << QString();
    QTest::newRow("12-digit INN") << "00000000000000000042"
                                  << "500100732259" << true << QString();
    QTest::newRow("serial above the 64-bit range") << "99999999999999999999"
                                                   << "7704211201" << true << QString();
    QTest::newRow("INN with a leading blank") << "12345678"
                                              << " 7704211201" << false << QString();
    QTest::newRow("INN with a trailing blank") << "12345678"
                                               << "7704211201 " << false << QString();
    QTest::newRow("wrong check digit") << "12345678"
                                       << "7704211202" << false << QString();
    QTest::newRow("no INN") << "12345678" << QString() << false << QString();
    QTest::newRow("no serial number: field left alone")
        << QString() << "7704211201" << false << "1111111111111111";
}

void tst_RegistrationWidget::randomRegNumber()
{
    QFETCH(QString, serial);
    QFETCH(QString, userInn);
    QFETCH(bool, made);
    QFETCH(QString, fieldAfter);

    setCurrentFsState(storageState(QStringLiteral("9999078900004321"), true));
    RegistrationWidget form;
    RegistrationParams p;
    p.setSerial(serial);
    form.setParams(p);
    child<QLineEdit>(form, "leUserInn")->setText(userInn);
    auto *regNumber = child<QLineEdit>(form, "leRegNumber");
    regNumber->setText(QStringLiteral("1111111111111111"));

    child<QPushButton>(form, "pbRegNumber")->click();

    const QString number = regNumber->text();
    if (made) {
        QCOMPARE(number.size(), 16);
        QVERIFY2(isRegNumberValid(number.toLatin1(), regNumberSerial(serial), userInn.toLatin1()),
            qPrintable(number));
        // The record takes it as it is.
        form.collectParams();
        QCOMPARE(form.registrationParams().regNumber(), number);
    } else {
        QCOMPARE(number, fieldAfter);
    }
}

void tst_RegistrationWidget::checkFs_data()
{
    QTest::addColumn<int>("setup");
    QTest::addColumn<int>("phase"); // -1: as the setup leaves it
    QTest::addColumn<int>("statusFault");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("error");

    using F = usbemu::FrameFault;
    const int mgm = int(StorageSetup::FreshMgm);
    QTest::newRow("MGM in phase 0") << mgm << 0x00 << int(F::None) << true << QString();
    QTest::newRow("MGM in phase 1") << mgm << 0x01 << int(F::None) << true << QString();
    QTest::newRow("fiscal storage in phase 1")
        << int(StorageSetup::FreshFs) << -1 << int(F::None) << true << QString();
    QTest::newRow("phase 3") << mgm << 0x03 << int(F::None) << false << "ФН уже активирован";
    QTest::newRow("phase 7") << mgm << 0x07 << int(F::None) << false << "ФН уже активирован";
    QTest::newRow("phase 15") << mgm << 0x0f << int(F::None) << false << "ФН уже активирован";
    QTest::newRow("registered fiscal storage")
        << int(StorageSetup::RegisteredFs) << -1 << int(F::None) << false << "ФН уже активирован";
    QTest::newRow("no adapter") << int(StorageSetup::NoAdapter) << -1 << int(F::None) << false
                                << "Нет связи с ФН";
    QTest::newRow("adapter without storage")
        << int(StorageSetup::NoStorage) << -1 << int(F::None) << false << "Нет связи с ФН";
    QTest::newRow("unknown phase 2: status not decodable")
        << mgm << 0x02 << int(F::None) << false << "Нет связи с ФН";
    QTest::newRow("status with a bad checksum")
        << mgm << -1 << int(F::BadChecksum) << false << "Нет связи с ФН";
    QTest::newRow("status cut short")
        << mgm << -1 << int(F::ShortFrame) << false << "Нет связи с ФН";
    QTest::newRow("status with a bad start byte")
        << mgm << -1 << int(F::BadStartByte) << false << "Нет связи с ФН";
}

void tst_RegistrationWidget::checkFs()
{
    QFETCH(int, setup);
    QFETCH(int, phase);
    QFETCH(int, statusFault);
    QFETCH(bool, passes);
    QFETCH(QString, error);

    testsupport::resetStorage(StorageSetup(setup));
    if (phase >= 0)
        usbemu::setPhase(quint8(phase));
    usbemu::setFrameFault(0x30, usbemu::FrameFault(statusFault));

    QString text = QStringLiteral("untouched");
    QCOMPARE(RegistrationWidget::checkFs(text), passes);
    QCOMPARE(text, passes ? QStringLiteral("untouched") : error);

    // The worker of the check is gone again, and so is the adapter handle.
    QCOMPARE(usbemu::openHandles(), 0);
    const FsState state = currentFsState();
    if (passes) {
        QVERIFY(state.isValid());
        QCOMPARE(state.fsNumber(), QString::fromLatin1(usbemu::DefaultSerialNumber));
    }
    if (setup == int(StorageSetup::FreshMgm) || setup == int(StorageSetup::FreshFs)) {
        // The check reads the storage; it never writes to it.
        for (const usbemu::Command &cmd : usbemu::receivedCommands())
            QVERIFY2(cmd.code == 0x30 || cmd.code == 0x33 || cmd.code == 0x32 || cmd.code == 0x20,
                qPrintable(QString::number(cmd.code, 16)));
    }
}

void tst_RegistrationWidget::resetMgm_data()
{
    QTest::addColumn<int>("setup");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("phaseAfter");

    QTest::newRow("registered MGM comes back")
        << int(StorageSetup::RegisteredMgm) << true << QString() << 0x01;
    QTest::newRow("MGM with a document for the OFD")
        << int(StorageSetup::MgmAwaitingReceipt) << true << QString() << 0x01;
    QTest::newRow("fresh fiscal storage refuses, check passes")
        << int(StorageSetup::FreshFs) << true << QString() << 0x01;
    QTest::newRow("registered fiscal storage refuses, check fails")
        << int(StorageSetup::RegisteredFs) << false << "ФН уже активирован" << 0x03;
    QTest::newRow("no adapter") << int(StorageSetup::NoAdapter) << false << "Нет связи с ФН" << -1;
}

void tst_RegistrationWidget::resetMgm()
{
    QFETCH(int, setup);
    QFETCH(bool, passes);
    QFETCH(QString, error);
    QFETCH(int, phaseAfter);

    testsupport::resetStorage(StorageSetup(setup));
    RegistrationWidget form;
    QString text = QStringLiteral("untouched");
    QCOMPARE(form.resetMgm(text), passes);
    QCOMPARE(text, passes ? QStringLiteral("untouched") : error);
    QCOMPARE(usbemu::openHandles(), 0);
    if (phaseAfter >= 0) {
        QCOMPARE(int(usbemu::phase()), phaseAfter);
        // The reset went to the storage: 0x60 with the byte 0x16.
        bool sawReset = false;
        for (const usbemu::Command &cmd : usbemu::receivedCommands())
            sawReset = sawReset || (cmd.code == 0x60 && cmd.data == QByteArray::fromHex("16"));
        QVERIFY(sawReset);
        QCOMPARE(currentFsState().phase(), quint8(phaseAfter));
    }
}

QTEST_MAIN(tst_RegistrationWidget)
#include "tst_registrationwidget.moc"
