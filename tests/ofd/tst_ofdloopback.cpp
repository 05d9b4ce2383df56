// The directory's loopback operator (INN 7703282175, 127.0.0.1:7777) served
// by the emulated OFD: in-process, and as the standalone program on its
// default address. Uses the fixed port, so it runs alone.

#include "fs/fsstate.h"
#include "fs/ofdinfo.h"
#include "fs/ofdworker.h"
#include "ofdserveremulator.h"
#include "ofdtestdocument.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray fsNumber("9999078900004321");
const QString loopbackInn = QStringLiteral("7703282175");
constexpr quint16 loopbackPort = 7777;

} // namespace

class tst_OfdLoopback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void directoryOperatorInProcess();
    void directoryOperatorStandalone();
};

void tst_OfdLoopback::initTestCase()
{
    FsState state;
    state.setFsNumber(QString::fromLatin1(fsNumber));
    setCurrentFsState(state);
}

void tst_OfdLoopback::directoryOperatorInProcess()
{
    OfdServerEmulator emulator;
    QVERIFY2(emulator.start(QHostAddress(QHostAddress::LocalHost), loopbackPort),
        qPrintable(emulator.errorString()));

    // the steps of one OFD attempt of the registration
    OfdWorker worker;
    worker.setOfdInn(loopbackInn);
    QVERIFY(worker.open(30000));
    QCOMPARE(worker.ofd().addr(), QStringLiteral("127.0.0.1"));
    QCOMPARE(worker.ofd().port(), loopbackPort);
    const QByteArray document = ofdtest::registrationDocument(fsNumber, 1);
    const QByteArray receipt = worker.sendSyncDocument(document);
    worker.close(0);

    QVERIFY(!receipt.isEmpty());
    QCOMPARE(emulator.records().size(), 1);
    QCOMPARE(emulator.records().at(0).value("document").toString(),
        QString::fromLatin1(document.toHex()));
    QCOMPARE(
        emulator.records().at(0).value("receipt").toString(), QString::fromLatin1(receipt.toHex()));
}

void tst_OfdLoopback::directoryOperatorStandalone()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ofd.jsonl"));

    QProcess program;
    program.start(QStringLiteral(OFD_EMULATOR_PROGRAM), { QStringLiteral("--record"), path });
    QVERIFY(program.waitForStarted(5000));
    QByteArray banner;
    QTRY_VERIFY2((banner += program.readAllStandardError()).contains("listening on 127.0.0.1:7777"),
        banner.constData());

    OfdWorker worker;
    worker.setOfdInn(loopbackInn);
    QVERIFY(worker.open(30000));
    const QByteArray document = ofdtest::registrationDocument(fsNumber, 2, 0x01020304);
    const QByteArray receipt = worker.sendSyncDocument(document);
    worker.close(0);
    QVERIFY(!receipt.isEmpty());

    program.terminate();
    QVERIFY(program.waitForFinished(5000));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 2);
    const QJsonObject line = QJsonDocument::fromJson(lines.at(0)).object();
    QCOMPARE(line.value("storageNumber").toString(), QString::fromLatin1(fsNumber));
    QCOMPARE(line.value("documentNumber").toInt(), 2);
    QCOMPARE(line.value("fiscalSign").toDouble(), double(0x01020304));
    QCOMPARE(line.value("receipt").toString(), QString::fromLatin1(receipt.toHex()));
}

QTEST_GUILESS_MAIN(tst_OfdLoopback)
#include "tst_ofdloopback.moc"
