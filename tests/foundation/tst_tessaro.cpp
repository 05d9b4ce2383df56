#include "tessarocore/abstractworker.h"
#include "tessarocore/gzipstreamwrapper.h"
#include "tessarocore/logging.h"

#include <QtTest>

using tessaro::GzipStreamWrapper;

namespace {

// Records the order in which the hooks ran.
class RecordingWorker : public tessaro::AbstractWorker
{
public:
    QStringList calls;

protected:
    bool onStart() override
    {
        calls << QStringLiteral("start");
        return true;
    }
    bool onStop() override
    {
        calls << QStringLiteral("stop");
        return false;
    }
};

QStringList captured;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured << message;
}

} // namespace

class tst_Tessaro : public QObject
{
    Q_OBJECT

private slots:
    void workerHooksRunSynchronously();
    void workerWithoutParent();

    void gzipRoundTrip_data();
    void gzipRoundTrip();
    void gzipRefusesBadInput_data();
    void gzipRefusesBadInput();
    void gzipCapsInflatedSize();

    void logbinaryText_data();
    void logbinaryText();
    void logvariantText_data();
    void logvariantText();
    void logtabInDebugLine();
};

void tst_Tessaro::workerHooksRunSynchronously()
{
    RecordingWorker worker;
    worker.start();
    QCOMPARE(worker.calls, QStringList{QStringLiteral("start")});
    worker.stop();
    QCOMPARE(worker.calls, (QStringList{QStringLiteral("start"), QStringLiteral("stop")}));

    // Through the meta-object, as a queued caller would name the slot.
    QVERIFY(QMetaObject::invokeMethod(&worker, "start", Qt::DirectConnection));
    QCOMPARE(worker.calls.size(), 3);
    QCOMPARE(worker.calls.last(), QStringLiteral("start"));
}

void tst_Tessaro::workerWithoutParent()
{
    RecordingWorker worker;
    QVERIFY(!worker.parent());
    QVERIFY(worker.inherits("tessaro::AbstractWorker"));
}

void tst_Tessaro::gzipRoundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("json answer") << QByteArray(R"({"idSession":"abc","idDealer":1})");
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(char((quint32(i) * 7919u) >> 3));
    QTest::newRow("300 kB spanning many chunks") << binary;
}

void tst_Tessaro::gzipRoundTrip()
{
    QFETCH(QByteArray, plain);

    const QByteArray packed = GzipStreamWrapper::gzcompress(plain);
    QVERIFY(packed.size() >= 18); // gzip header and trailer at the least
    QCOMPARE(quint8(packed.at(0)), quint8(0x1f));
    QCOMPARE(quint8(packed.at(1)), quint8(0x8b));
    QCOMPARE(GzipStreamWrapper::gzuncompress(packed), plain);
}

void tst_Tessaro::gzipRefusesBadInput_data()
{
    QTest::addColumn<QByteArray>("input");

    const QByteArray good = GzipStreamWrapper::gzcompress(QByteArray("hello, workshop").repeated(20));
    QByteArray damaged = good;
    damaged[damaged.size() / 2] = char(damaged.at(damaged.size() / 2) ^ 0x55);
    QByteArray badTrailer = good;
    badTrailer[badTrailer.size() - 6] = char(badTrailer.at(badTrailer.size() - 6) ^ 0x01); // CRC-32

    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("plain text") << QByteArray("{\"result\":0}");
    QTest::newRow("zlib stream, not gzip") << QByteArray::fromHex("789c4b4c4a0600024d0127");
    QTest::newRow("header only") << good.left(10);
    QTest::newRow("truncated in the middle") << good.left(good.size() / 2);
    QTest::newRow("trailer cut off") << good.left(good.size() - 4);
    QTest::newRow("damaged deflate data") << damaged;
    QTest::newRow("wrong CRC-32 in trailer") << badTrailer;
}

void tst_Tessaro::gzipRefusesBadInput()
{
    QFETCH(QByteArray, input);
    QVERIFY(GzipStreamWrapper::gzuncompress(input).isEmpty());
}

void tst_Tessaro::gzipCapsInflatedSize()
{
    // A bomb in miniature: 4 MiB of zeros pack into a few kB.
    const QByteArray zeros(4 * 1024 * 1024, '\0');
    const QByteArray bomb = GzipStreamWrapper::gzcompress(zeros);
    QVERIFY(bomb.size() < 64 * 1024);

    QCOMPARE(GzipStreamWrapper::gzuncompress(bomb, zeros.size()).size(), zeros.size());
    QVERIFY(GzipStreamWrapper::gzuncompress(bomb, zeros.size() - 1).isEmpty());
    QVERIFY(GzipStreamWrapper::gzuncompress(bomb, 1024).isEmpty());
    QCOMPARE(GzipStreamWrapper::MaxInflatedSize, qint64(64) * 1024 * 1024);
}

void tst_Tessaro::logbinaryText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");

    QTest::newRow("frame") << QByteArray::fromHex("04010030ffcd") << QStringLiteral("[6] 04 01 00 30 ff cd |...0..|");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("[0]  ||");
    QTest::newRow("utf-8 text") << QByteArray("ФН 1") << QStringLiteral("[6] d0 a4 d0 9d 20 31 |ФН 1|");
}

void tst_Tessaro::logbinaryText()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);

    QCOMPARE(tessaro::logbinary(data, "UTF-8").toString(), expected);

    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    qWarning() << tessaro::logbinary(data);
    qInstallMessageHandler(previous);
    QCOMPARE(captured, QStringList{expected});
}

void tst_Tessaro::logvariantText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("map as compact json")
        << QVariant(QVariantMap{{"result", 0}, {"resultDescription", "ok"}})
        << QStringLiteral(R"({"result":0,"resultDescription":"ok"})");
    QTest::newRow("list") << QVariant(QVariantList{1, "a"}) << QStringLiteral(R"([1,"a"])");
    QTest::newRow("number") << QVariant(42) << QStringLiteral("42");
    QTest::newRow("invalid") << QVariant() << QStringLiteral("<invalid>");
}

void tst_Tessaro::logvariantText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    QCOMPARE(tessaro::logvariant(value).toString(), expected);
}

void tst_Tessaro::logtabInDebugLine()
{
    captured.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    qWarning().noquote() << "left" << tessaro::logtab << "right";
    qInstallMessageHandler(previous);
    QCOMPARE(captured.size(), 1);
    QVERIFY2(captured.first().contains(QLatin1Char('\t')), qPrintable(captured.first()));
    QVERIFY(captured.first().indexOf(QLatin1String("left")) < captured.first().indexOf(QLatin1Char('\t')));
    QVERIFY(captured.first().indexOf(QLatin1Char('\t')) < captured.first().indexOf(QLatin1String("right")));
}

QTEST_GUILESS_MAIN(tst_Tessaro)
#include "tst_tessaro.moc"
