// Renders the registration form and the result dialog offscreen into PNG
// files, from the program's own widgets filled with sample data.
//
//   tavron-screenshots <output directory>
//
// Each picture is one entry of the shot table below; a window that wants a
// picture of its own adds a function and a row.

#include "fs/fsstate.h"
#include "mainwindowshots.h"
#include "registrationparams.h"
#include "registrationwidget.h"
#include "resultdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextStream>

#include <functional>
#include <memory>

namespace {

RegistrationParams sampleRecord()
{
    RegistrationParams p;
    p.setOfficialModel(201);
    p.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    p.setSerial(QStringLiteral("00000012345678"));
    p.setOfficialVersion(QStringLiteral("1.0"));
    return p;
}

// A fresh MGM on the bus, as the storage check leaves the latest status.
void sampleStorage()
{
    FsState state;
    state.setPhase(0x01);
    state.setOpenedDocType(0x00);
    state.setFsNumber(QStringLiteral("9999078900004321"));
    state.setDebugMode(true);
    setCurrentFsState(state);
}

template <typename T> T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

std::unique_ptr<QWidget> registrationForm(int tab)
{
    sampleStorage();
    auto form = std::make_unique<RegistrationWidget>();
    form->setParams(sampleRecord());
    child<QLineEdit>(form.get(), "leCashier")->setText(QStringLiteral("Иванов Иван Иванович"));
    child<QLineEdit>(form.get(), "leCashierInn")->setText(QStringLiteral("500100732259"));
    child<QLineEdit>(form.get(), "leFnsWebSite")->setText(QStringLiteral("www.nalog.gov.ru"));
    child<QLineEdit>(form.get(), "leSenderEmail")->setText(QStringLiteral("kassa@romashka.ru"));
    child<QLineEdit>(form.get(), "leRegNumber")->setText(QStringLiteral("0000000001012345"));
    child<QLineEdit>(form.get(), "leUserInn")->setText(QStringLiteral("7704211201"));
    child<QLineEdit>(form.get(), "leUserName")->setText(QStringLiteral("ООО \"Ромашка\""));
    child<QLineEdit>(form.get(), "leAddress")
        ->setText(QStringLiteral("г. Тверь, ул. Советская, д. 1"));
    child<QLineEdit>(form.get(), "lePlace")->setText(QStringLiteral("Магазин \"Ромашка\""));
    auto *ofd = child<QComboBox>(form.get(), "cbOfdName");
    ofd->setCurrentIndex(ofd->findData(QStringLiteral("7704211201")));
    child<QCheckBox>(form.get(), "cbServiceFlag")->setChecked(true);
    child<QCheckBox>(form.get(), "cbAgentPay")->setChecked(true);
    child<QCheckBox>(form.get(), "cbFiscalSimple")->setChecked(true);
    child<QTabWidget>(form.get(), "tabWidget")->setCurrentIndex(tab);
    form->resize(801, 534);
    return form;
}

std::unique_ptr<QWidget> resultDialog()
{
    RegistrationParams p = sampleRecord();
    p.setUserName(QStringLiteral("ООО \"Ромашка\""));
    p.setUserInn(QStringLiteral("7704211201"));
    p.setPaymentAddress(QStringLiteral("г. Тверь, ул. Советская, д. 1"));
    p.setPaymentPlace(QStringLiteral(" Магазин \"Ромашка\""));
    p.setRegCashierName(QStringLiteral("Иванов Иван Иванович"));
    p.setRegCashierInn(QStringLiteral("500100732259"));
    p.setEmail(QStringLiteral("kassa@romashka.ru"));
    p.setOfdName(QStringLiteral("Общество с ограниченной ответственностью Такском"));
    p.setOfdInn(QStringLiteral("7704211201"));
    p.setFnsSite(QStringLiteral("www.nalog.gov.ru"));
    p.setTaxes(0x02);
    p.setAgentFlags(0x04);
    p.setRegFlags(0x0008);
    p.setRegNumber(QStringLiteral("0000000001012345"));
    p.setFsNumber(QStringLiteral("9999078900004321"));
    p.setRegDate(QDateTime(QDate(2024, 3, 5), QTime(14, 7)));
    p.setRegDocNumber(1);
    p.setFiscalCode(1234567);
    return std::make_unique<ResultDialog>(p);
}

struct Shot
{
    const char *file;
    std::function<std::unique_ptr<QWidget>()> make;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: tavron-screenshots <output directory>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }

    const Shot shots[] = {
        { "registration-form.png", [] { return registrationForm(0); } },
        { "registration-form-agents.png", [] { return registrationForm(1); } },
        { "registration-form-taxes.png", [] { return registrationForm(2); } },
        { "result-dialog.png", resultDialog },
    };

    int failures = 0;
    for (const Shot &shot : shots) {
        std::unique_ptr<QWidget> widget = shot.make();
        widget->show();
        QCoreApplication::processEvents();
        // Every text from its beginning, as the operator sees a field after leaving it.
        const QList<QLineEdit *> edits = widget->findChildren<QLineEdit *>();
        for (QLineEdit *edit : edits)
            edit->setCursorPosition(0);
        const QString path = out.filePath(QString::fromLatin1(shot.file));
        if (widget->grab().save(path)) {
            err << "wrote " << path << "\n";
        } else {
            err << "cannot write " << path << "\n";
            ++failures;
        }
    }
    failures += mainWindowShots(out, err);
    return failures == 0 ? 0 : 1;
}
