#include "registrationparams.h"
#include "resultdialog.h"

#include <QtTest>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <zlib.h>

namespace {

// The members of a ZIP package, read from its central directory; each member
// is inflated and its CRC-32 checked, so a member that cannot be read back
// makes the package invalid.
struct ZipMember
{
    QString name;
    int method = -1;
    QByteArray data;
};

quint16 le16(const QByteArray &b, int at)
{
    return quint16(quint8(b.at(at)) | quint8(b.at(at + 1)) << 8);
}

quint32 le32(const QByteArray &b, int at)
{
    return quint32(le16(b, at)) | quint32(le16(b, at + 2)) << 16;
}

QByteArray inflateRaw(const QByteArray &compressed, qsizetype expectedSize, bool *ok)
{
    QByteArray out(int(expectedSize), Qt::Uninitialized);
    z_stream zs = {};
    *ok = false;
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return QByteArray();
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    zs.avail_in = uInt(compressed.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    *ok = rc == Z_STREAM_END && zs.total_out == uLong(expectedSize);
    inflateEnd(&zs);
    return out;
}

// Returns false when the bytes are not a well-formed package.
bool readZip(const QByteArray &zip, QList<ZipMember> &members)
{
    // End of central directory: signature 50 4b 05 06, at least 22 bytes from the end.
    int eocd = zip.lastIndexOf(QByteArray::fromHex("504b0506"));
    if (eocd < 0 || eocd + 22 > zip.size())
        return false;
    const int count = le16(zip, eocd + 10);
    int at = int(le32(zip, eocd + 16));
    for (int i = 0; i < count; ++i) {
        // Central header: signature 50 4b 01 02, 46 bytes before the name.
        if (at + 46 > zip.size() || le32(zip, at) != 0x02014b50)
            return false;
        ZipMember m;
        m.method = le16(zip, at + 10);
        const quint32 crc = le32(zip, at + 16);
        const quint32 packedSize = le32(zip, at + 20);
        const quint32 size = le32(zip, at + 24);
        const int nameLen = le16(zip, at + 28);
        const int extraLen = le16(zip, at + 30);
        const int commentLen = le16(zip, at + 32);
        const int local = int(le32(zip, at + 42));
        m.name = QString::fromUtf8(zip.mid(at + 46, nameLen));
        at += 46 + nameLen + extraLen + commentLen;

        // Local header: signature 50 4b 03 04, 30 bytes before the name.
        if (local + 30 > zip.size() || le32(zip, local) != 0x04034b50)
            return false;
        const int dataAt = local + 30 + le16(zip, local + 26) + le16(zip, local + 28);
        if (dataAt + qint64(packedSize) > zip.size())
            return false;
        const QByteArray packed = zip.mid(dataAt, int(packedSize));
        bool ok = false;
        if (m.method == 0) {
            m.data = packed;
            ok = packedSize == size;
        } else if (m.method == 8) {
            m.data = inflateRaw(packed, size, &ok);
        }
        if (!ok)
            return false;
        if (crc32(0, reinterpret_cast<const Bytef *>(m.data.constData()), uInt(m.data.size()))
            != crc)
            return false;
        members << m;
    }
    return true;
}

RegistrationParams sampleRecord()
{
    RegistrationParams p;
    p.setUserName(QStringLiteral("ООО Ромашка"));
    p.setUserInn(QStringLiteral("7704211201"));
    p.setRegCashierName(QStringLiteral("Иванов"));
    p.setOfficialName(QStringLiteral("ТАВРОН-Ф"));
    p.setSerial(QStringLiteral("12345678"));
    p.setOfficialVersion(QStringLiteral("1.0"));
    p.setRegNumber(QStringLiteral("0000000001012345"));
    p.setFsNumber(QStringLiteral("9999078900001234"));
    p.setRegDate(QDateTime(QDate(2018, 3, 5), QTime(14, 7)));
    p.setRegDocNumber(1);
    p.setFiscalCode(12345);
    p.setTaxes(0x01);
    p.setAgentFlags(0);
    p.setRegFlags(0);
    return p;
}

} // namespace

class tst_ResultDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void showsReport();
    void save_data();
    void save();
    void cancelWritesNothing();
    void unwritableFileIsReported();

private:
    // Presses "Сохранить" and answers the file dialog that opens with the
    // given filter and name (an empty name cancels it). Returns false when no
    // file dialog came up.
    bool saveAs(ResultDialog &dialog, const QString &filter, const QString &fileName);
};

void tst_ResultDialog::initTestCase()
{
    // The file dialog must be Qt's own, so that the test can drive it.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_ResultDialog::form()
{
    ResultDialog dialog(sampleRecord());
    QCOMPARE(dialog.objectName(), QStringLiteral("ResultDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.size(), QSize(640, 800));
    auto *save = dialog.findChild<QPushButton *>(QStringLiteral("pbSave"));
    QVERIFY(save);
    QCOMPARE(save->text(), QStringLiteral("Сохранить"));
    auto *box = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(box);
    QCOMPARE(box->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Close));
    QVERIFY(box->centerButtons());
    QVERIFY(dialog.findChild<QFrame *>(QStringLiteral("frame")));

    // A language change sets the title and the button text again.
    dialog.setWindowTitle(QStringLiteral("changed"));
    save->setText(QStringLiteral("changed"));
    QEvent languageChange(QEvent::LanguageChange);
    QApplication::sendEvent(&dialog, &languageChange);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(save->text(), QStringLiteral("Сохранить"));

    // Close ends the dialog with "rejected".
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QVERIFY(rejected.isValid());
    dialog.show();
    box->button(QDialogButtonBox::Close)->click();
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog.isVisible());
}

void tst_ResultDialog::showsReport()
{
    ResultDialog dialog(sampleRecord());
    auto *browser = dialog.findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    QVERIFY(browser);
    const QString text = browser->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("ООО Ромашка")));
    QVERIFY(text.contains(QStringLiteral("ИНН 7704211201")));
    QVERIFY(text.contains(QStringLiteral("05.03.18 14:07")));
    QVERIFY(text.contains(QStringLiteral("ФП 0000012345")));
    // Markup is rendered, not shown.
    QVERIFY(!text.contains(QStringLiteral("<div")));
}

bool tst_ResultDialog::saveAs(ResultDialog &dialog, const QString &filter, const QString &fileName)
{
    bool sawDialog = false;
    QString caption;
    QStringList offered;
    int ticks = 0;
    // The file dialog runs its own event loop and fills its view in the
    // background, so the answer is given again on every tick until the dialog
    // has taken it. The timer lives only as long as this call.
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, [&] {
        auto *fileDialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!fileDialog)
            return;
        sawDialog = true;
        caption = fileDialog->windowTitle();
        offered = fileDialog->nameFilters();
        if (fileName.isEmpty() || ++ticks > 1000) {
            // Cancelled, or the dialog never took the name: give up rather than hang.
            fileDialog->reject();
            return;
        }
        fileDialog->selectNameFilter(filter);
        // Typed into the name field as the operator does; selectFile() would
        // leave the field alone while it has the keyboard focus.
        if (auto *nameEdit = fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(fileName);
        else
            fileDialog->selectFile(fileName);
        if (fileDialog->selectedNameFilter() == filter
            && fileDialog->selectedFiles() == QStringList { fileName }) {
            // QFileDialog::accept() is protected; through the base it still runs.
            static_cast<QDialog *>(fileDialog)->accept();
        }
    });
    answer.start();
    dialog.findChild<QPushButton *>(QStringLiteral("pbSave"))->click();
    answer.stop();
    if (!sawDialog)
        return false;
    const QStringList expectedFilters = { QStringLiteral("Документ ODF (*.odt)"),
        QStringLiteral("Текстовый документ (*.txt)"), QStringLiteral("HTML (*.html)") };
    return caption == QStringLiteral("Сохранение результатов фискализации")
        && offered == expectedFilters;
}

void tst_ResultDialog::save_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("writtenName");
    QTest::addColumn<QString>("format");

    QTest::newRow("odf, extension added")
        << QStringLiteral("Документ ODF (*.odt)") << QStringLiteral("report")
        << QStringLiteral("report.odt") << QStringLiteral("odf");
    QTest::newRow("odf, extension given")
        << QStringLiteral("Документ ODF (*.odt)") << QStringLiteral("report.odt")
        << QStringLiteral("report.odt") << QStringLiteral("odf");
    QTest::newRow("text, extension added")
        << QStringLiteral("Текстовый документ (*.txt)") << QStringLiteral("report")
        << QStringLiteral("report.txt") << QStringLiteral("plaintext");
    QTest::newRow("html, extension added")
        << QStringLiteral("HTML (*.html)") << QStringLiteral("report")
        << QStringLiteral("report.html") << QStringLiteral("html");
    QTest::newRow("html, upper-case extension is not the extension")
        << QStringLiteral("HTML (*.html)") << QStringLiteral("report.HTML")
        << QStringLiteral("report.HTML.html") << QStringLiteral("html");
    QTest::newRow("text under an odf name")
        << QStringLiteral("Текстовый документ (*.txt)") << QStringLiteral("report.odt")
        << QStringLiteral("report.odt.txt") << QStringLiteral("plaintext");
}

void tst_ResultDialog::save()
{
    QFETCH(QString, filter);
    QFETCH(QString, typedName);
    QFETCH(QString, writtenName);
    QFETCH(QString, format);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ResultDialog dialog(sampleRecord());
    QVERIFY(saveAs(dialog, filter, dir.filePath(typedName)));

    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { writtenName });
    QFile file(dir.filePath(writtenName));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString reportText
        = dialog.findChild<QTextBrowser *>(QStringLiteral("textBrowser"))->toPlainText();

    if (format == QLatin1String("plaintext")) {
        QCOMPARE(QString::fromUtf8(bytes), reportText);
        QVERIFY(reportText.contains(QStringLiteral("ФП 0000012345")));
        QVERIFY(!bytes.contains('<'));
    } else if (format == QLatin1String("html")) {
        QVERIFY(bytes.contains("<html>"));
        QTextDocument reread;
        reread.setHtml(QString::fromUtf8(bytes));
        QCOMPARE(reread.toPlainText(), reportText);
    } else {
        QList<ZipMember> members;
        QVERIFY2(readZip(bytes, members), "not a readable ZIP package");
        QVERIFY(!members.isEmpty());
        // An ODF package opens with its media type, stored uncompressed.
        QCOMPARE(members.first().name, QStringLiteral("mimetype"));
        QCOMPARE(members.first().method, 0);
        QCOMPARE(members.first().data, QByteArray("application/vnd.oasis.opendocument.text"));
        QVERIFY(bytes.mid(30, 8) == "mimetype");
        QByteArray content;
        bool hasManifest = false;
        for (const ZipMember &m : qAsConst(members)) {
            if (m.name == QLatin1String("content.xml"))
                content = m.data;
            if (m.name == QLatin1String("META-INF/manifest.xml"))
                hasManifest = true;
        }
        QVERIFY(hasManifest);
        QVERIFY(!content.isEmpty());
        const QString xml = QString::fromUtf8(content);
        QVERIFY(xml.contains(QStringLiteral("ОТЧЕТ О РЕГИСТРАЦИИ")));
        QVERIFY(xml.contains(QStringLiteral("ООО Ромашка")));
        QVERIFY(xml.contains(QStringLiteral("9999078900001234")));
        QVERIFY(xml.contains(QStringLiteral("ФП 0000012345")));
    }
}

void tst_ResultDialog::cancelWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ResultDialog dialog(sampleRecord());
    QVERIFY(saveAs(dialog, QString(), QString()));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void tst_ResultDialog::unwritableFileIsReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ResultDialog dialog(sampleRecord());

    QString warningTitle;
    QString warningText;
    // The warning comes up once the file dialog has closed.
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        warningTitle = box->windowTitle();
        warningText = box->text();
        box->accept();
    });
    answer.start();

    const QString target = dir.filePath(QStringLiteral("missing/report"));
    QVERIFY(saveAs(dialog, QStringLiteral("Текстовый документ (*.txt)"), target));
    QCOMPARE(warningTitle, QStringLiteral("СОХРАНЕНИЕ"));
    QCOMPARE(warningText,
        QStringLiteral("Не удалось сохранить отчет в файл %1")
            .arg(QDir::toNativeSeparators(target + QStringLiteral(".txt"))));
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".txt")));
}

QTEST_MAIN(tst_ResultDialog)
#include "tst_resultdialog.moc"
