#include "registrationbench.h"

#include "appbench.h"
#include "benchoperator.h"
#include "mainwidget.h"
#include "registrationwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace bench {

QList<quint16> entryTags()
{
    return { 1009, 1013, 1017, 1021, 1046, 1048, 1057, 1060, 1117, 1126, 1187, 1188, 1189, 1193,
        1203, 1207, 1209, 1221 };
}

namespace {

bool typeInto(QLineEdit *edit, const QString &text)
{
    if (!edit)
        return false;
    appbench::typeInto(edit, text);
    return edit->text() == text;
}

} // namespace

RegistrationBench::RegistrationBench(Ofd ofd)
    : m_ofdMode(ofd)
    , m_operator(std::make_unique<BenchOperator>())
{ }

RegistrationBench::~RegistrationBench()
{
    closeWindow();
    m_ofd.stop();
    if (m_ofdProcess) {
        m_ofdProcess->terminate();
        if (!m_ofdProcess->waitForFinished(5000))
            m_ofdProcess->kill();
        m_ofdProcess->waitForFinished(5000);
    }
    if (!m_ofdRecord.isEmpty())
        QFile::remove(m_ofdRecord);
}

bool RegistrationBench::startStandaloneOfd()
{
    m_ofdRecord = QDir::temp().filePath(
        QStringLiteral("tavron-ofd-%1.jsonl").arg(QCoreApplication::applicationPid()));
    QFile::remove(m_ofdRecord);
    m_ofdProcess = std::make_unique<QProcess>();
    m_ofdProcess->setProcessChannelMode(QProcess::SeparateChannels);
    m_ofdProcess->start(QStringLiteral(TAVRON_OFD_EMULATOR),
        { QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
            QString::number(LoopbackOfdPort), QStringLiteral("--record"), m_ofdRecord });
    if (!m_ofdProcess->waitForStarted(10000)) {
        m_error = m_ofdProcess->errorString();
        return false;
    }
    // It says "listening on ADDRESS:PORT" on stderr once it is ready.
    QByteArray said;
    const bool ready = QTest::qWaitFor(
        [&]() {
            said += m_ofdProcess->readAllStandardError();
            return said.contains("listening on") || m_ofdProcess->state() == QProcess::NotRunning;
        },
        10000);
    if (!ready || !said.contains("listening on")) {
        m_error = QStringLiteral("the OFD emulator did not start: ") + QString::fromLocal8Bit(said);
        return false;
    }
    return true;
}

bool RegistrationBench::start()
{
    if (!appbench::startProcessing(m_processing)) {
        m_error = QStringLiteral("the processing server emulator did not start");
        return false;
    }
    if (m_ofdMode == Ofd::Standalone)
        return startStandaloneOfd();
    if (!m_ofd.start(QHostAddress(QStringLiteral("127.0.0.1")), LoopbackOfdPort)) {
        m_error = m_ofd.errorString();
        return false;
    }
    return true;
}

bool RegistrationBench::openWindow(int waitMs)
{
    closeWindow();
    m_window = appbench::openWindow(m_processing);
    m_form = m_window->findChild<RegistrationWidget *>(QStringLiteral("wFiscalize"));
    auto *models = m_window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    return m_form && models
        && QTest::qWaitFor([&]() { return m_window->isEnabled() && models->count() > 0; }, waitMs);
}

void RegistrationBench::closeWindow()
{
    m_window.reset();
    m_form = nullptr;
}

bool RegistrationBench::handOver(const Entry &entry)
{
    if (!m_window || !m_form)
        return false;
    auto *serial = m_window->findChild<QLineEdit *>(QStringLiteral("leSerial"));
    auto *models = m_window->findChild<QComboBox *>(QStringLiteral("cbModel"));
    auto *start = m_window->findChild<QPushButton *>(QStringLiteral("pbStart"));
    if (!serial || !models || !start || models->count() == 0)
        return false;
    models->setCurrentIndex(0);
    if (serial->text() != entry.serial && !typeInto(serial, entry.serial))
        return false;
    QTest::mouseClick(start, Qt::LeftButton);
    return m_form->isEnabled();
}

bool RegistrationBench::fill(const Entry &entry)
{
    const QList<QPair<const char *, QString>> texts = entry.texts();
    for (const auto &text : texts) {
        if (!typeInto(m_form->findChild<QLineEdit *>(QLatin1String(text.first)), text.second))
            return false;
    }
    auto *ofdName = m_form->findChild<QComboBox *>(QStringLiteral("cbOfdName"));
    if (!ofdName)
        return false;
    const int ofdIndex = ofdName->findData(LoopbackOfdInn);
    if (ofdIndex < 0)
        return false;
    ofdName->setCurrentIndex(ofdIndex);

    const char *const checked[] = { "cbFiscalTraditional", "cbFiscalPatent", "cbAgentPay",
        "cbServiceFlag", "cbAkcizeMode", "cbLohotronFlag" };
    for (const char *name : checked) {
        auto *box = m_form->findChild<QCheckBox *>(QLatin1String(name));
        if (!box)
            return false;
        box->setChecked(true);
    }
    auto *offline = m_form->findChild<QCheckBox *>(QStringLiteral("cbSeparateMode"));
    if (!offline)
        return false;
    if (offline->isChecked())
        QTest::mouseClick(offline, Qt::LeftButton, {}, QPoint(5, offline->height() / 2));
    return !offline->isChecked();
}

void RegistrationBench::pressRegister()
{
    if (auto *button = m_form->findChild<QPushButton *>(QStringLiteral("pbDoRegistration")))
        QTest::mouseClick(button, Qt::LeftButton);
}

bool RegistrationBench::pressClean()
{
    auto *button = m_window->findChild<QPushButton *>(QStringLiteral("pbCleanFs"));
    if (!button || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

QList<QJsonObject> RegistrationBench::ofdDocuments() const
{
    QList<QJsonObject> documents;
    QList<QJsonObject> records;
    if (m_ofdMode == Ofd::Standalone) {
        QFile file(m_ofdRecord);
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = file.readAll().split('\n');
            for (const QByteArray &line : lines) {
                if (!line.trimmed().isEmpty())
                    records << QJsonDocument::fromJson(line).object();
            }
        }
    } else {
        records = m_ofd.records();
    }
    for (const QJsonObject &record : records) {
        if (record.contains(QStringLiteral("documentNumber")))
            documents << record;
    }
    return documents;
}

void RegistrationBench::markOfd() { m_ofdMark = ofdDocuments().size(); }

int RegistrationBench::copiesAtOfd(const QByteArray &document) const
{
    const QString hex = QString::fromLatin1(document.toHex());
    int copies = 0;
    const QList<QJsonObject> documents = ofdDocuments().mid(m_ofdMark);
    for (const QJsonObject &record : documents)
        copies += record.value(QStringLiteral("document")).toString() == hex ? 1 : 0;
    return copies;
}

} // namespace bench
