// The emulated OFD on its own: its container, document and receipt code, its
// exchange over TCP in every scenario, its record and the standalone program.
// The program's OfdMessage and Crc16 serve as the independent judges of what
// the emulator writes; the emulator links nothing of the program's.

#include "common/crc16.h"
#include "fs/ofdmessage.h"
#include "ofdemucontainer.h"
#include "ofdemudocument.h"
#include "ofdserveremulator.h"
#include "ofdtestdocument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using ofdemu::Scenario;

namespace {

const QByteArray storageNumber("9999078900004321");

// A registration document as the storage writes it (byte layout worked by
// hand): 1040 = 3, 1041, 1077 = 0x11223344, 1012 = 2024-03-05 14:07 UTC,
// 1018 "7700001235  ", 1037 "0000000001012345    ", 1062 = 1, the six
// work-mode flags of 0x28, then the TLVs the program sent: 1048 "ООО Ромашка"
// in CP866, 1057 = 5, 1209 = 2.
const QByteArray document
    = QByteArray::fromHex("0100900010040400030000001104100039393939303738393030303034333231 "
                          "3504040044332211f40304000427e765fa030c003737303030303132333520200d04 "
                          "1400303030303030303030313031323334352020202026040100012004010000ea03 "
                          "010000e90301000055040100015604010000540401000118040b008e8e8e2090aeac "
                          "a0e8aaa02104010005b904010002");

// The receipt for it at 2024-03-09 16:00 UTC (1710000000): 1041, 1040 = 3,
// 1012, 1078 = the first 18 bytes of the SHA-256 of the document.
const QByteArray receiptAt1710000000
    = QByteArray::fromHex("11041000393939393037383930303030343332311004040003000000f40304008087 "
                          "ec653604120036d9cb229475b2fcb16d776273a49d4a2965");

QByteArray containerFor(const QByteArray &body)
{
    OfdMessage message(storageNumber);
    return message.toByteArray(body);
}

// Reads from socket until it holds size bytes or the peer is gone.
QByteArray readBytes(QTcpSocket &socket, int size, int timeout = 5000)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < size && timer.elapsed() < timeout) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100)
            && socket.state() != QAbstractSocket::ConnectedState)
            break;
        bytes.append(socket.readAll());
    }
    return bytes;
}

} // namespace

class tst_OfdEmulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void crcAgreesWithProgram_data();
    void crcAgreesWithProgram();
    void headerChecks_data();
    void headerChecks();
    void decodeDocument();
    void decodeRefuses_data();
    void decodeRefuses();
    void receiptLayout();

    void answers_data();
    void answers();
    void splitAnswerComesInPieces();
    void silentScenarios_data();
    void silentScenarios();
    void refusesBadContainers_data();
    void refusesBadContainers();
    void clientLeavingInsideContainer();
    void twoDocumentsOnOneConnection();
    void socks5Front();
    void recordFile();
    void standaloneProgram();
    void standaloneRefusesUnknownScenario();

private:
    std::unique_ptr<OfdServerEmulator> m_emulator;
};

void tst_OfdEmulator::init() { m_emulator = std::make_unique<OfdServerEmulator>(); }

void tst_OfdEmulator::cleanup() { m_emulator.reset(); }

void tst_OfdEmulator::crcAgreesWithProgram_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint16>("expected");
    QTest::newRow("published check value") << QByteArray("123456789") << quint16(0x29B1);
    QTest::newRow("empty") << QByteArray() << quint16(0xFFFF);
    QTest::newRow("document") << document << Crc16::checksum(document);
    QByteArray allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.append(char(i));
    QTest::newRow("every byte value") << allBytes << Crc16::checksum(allBytes);
}

void tst_OfdEmulator::crcAgreesWithProgram()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint16, expected);
    QCOMPARE(ofdemu::crc16(bytes), expected);
}

void tst_OfdEmulator::headerChecks_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("sound");

    const QByteArray fs = QByteArray::fromHex("39393939303738393032303034333231");
    // vectors worked by hand, CRC-16/CCITT-FALSE from an independent script
    QTest::newRow("check mode 2") << QByteArray::fromHex("2a08410a81a20105") + fs
            + QByteArray::fromHex("0800160040d3")
                                  << true;
    QTest::newRow("check mode 1, right value")
        << QByteArray::fromHex("2a08410a81a20105") + fs + QByteArray::fromHex("080015008583")
        << true;
    QTest::newRow("check mode 1, wrong value")
        << QByteArray::fromHex("2a08410a81a20105") + fs + QByteArray::fromHex("080015008483")
        << false;
    QTest::newRow("check mode 3") << QByteArray::fromHex("2a08410a81a20105") + fs
            + QByteArray::fromHex("0800170005bc")
                                  << false;
    QTest::newRow("wrong signature")
        << QByteArray::fromHex("2a08410b81a20105") + fs + QByteArray::fromHex("080016009c5e")
        << false;
    QTest::newRow("wrong session version")
        << QByteArray::fromHex("2a08410a81a30105") + fs + QByteArray::fromHex("08001600695d")
        << false;
    QTest::newRow("application version 01 06")
        << QByteArray::fromHex("2a08410a81a20106") + fs + QByteArray::fromHex("080016004bd2")
        << false;
    QTest::newRow("body flag without a body")
        << QByteArray::fromHex("2a08410a81a20105") + fs + QByteArray::fromHex("000016000000")
        << false;
    QTest::newRow("29 bytes") << QByteArray::fromHex("2a08410a81a20105") + fs
            + QByteArray::fromHex("0800160040")
                              << false;
}

void tst_OfdEmulator::headerChecks()
{
    QFETCH(QByteArray, header);
    QFETCH(bool, sound);
    QString fault;
    ofdemu::ContainerHeader::parse(header, &fault);
    QCOMPARE(fault.isEmpty(), sound);
}

void tst_OfdEmulator::decodeDocument()
{
    QString fault;
    const auto decoded = ofdemu::RegistrationDocument::decode(document, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    const QJsonObject record = decoded.toJson();
    QCOMPARE(record.value("documentType").toInt(), 1);
    QCOMPARE(record.value("documentNumber").toInt(), 3);
    QCOMPARE(record.value("storageNumber").toString(), QString::fromLatin1(storageNumber));
    QCOMPARE(record.value("fiscalSign").toDouble(), double(0x11223344));
    QCOMPARE(record.value("dateTime").toString(), QStringLiteral("2024-03-05T14:07:00Z"));

    const QJsonArray tags = record.value("tags").toArray();
    const QList<int> order = { 1040, 1041, 1077, 1012, 1018, 1037, 1062, 1056, 1002, 1001, 1109,
        1110, 1108, 1048, 1057, 1209 };
    QCOMPARE(tags.size(), order.size());
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(tags.at(i).toObject().value("tag").toInt(), order.at(i));
    QCOMPARE(tags.at(4).toObject().value("value").toString(), QStringLiteral("7700001235  "));
    QCOMPARE(
        tags.at(5).toObject().value("value").toString(), QStringLiteral("0000000001012345    "));
    QCOMPARE(tags.at(10).toObject().value("value").toInt(), 1); // 1109, bit 3 of 0x28
    QCOMPARE(tags.at(13).toObject().value("value").toString(), QStringLiteral("ООО Ромашка"));
    QCOMPARE(
        tags.at(13).toObject().value("hex").toString(), QStringLiteral("8e8e8e2090aeaca0e8aaa0"));
    QCOMPARE(tags.at(14).toObject().value("value").toInt(), 5);
}

void tst_OfdEmulator::decodeRefuses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("sound");
    using ofdtest::le32;
    using ofdtest::tlv;
    const QByteArray fields = tlv(1040, le32(1)) + tlv(1041, storageNumber);
    QTest::newRow("registration report") << tlv(1, fields) << true;
    QTest::newRow("re-registration report") << tlv(11, fields) << true;
    QTest::newRow("other document") << tlv(2, fields) << false;
    QTest::newRow("no document number") << tlv(1, tlv(1041, storageNumber)) << false;
    QTest::newRow("no storage number") << tlv(1, tlv(1040, le32(1))) << false;
    QTest::newRow("inner TLV past the end")
        << tlv(1, fields + QByteArray::fromHex("ea030500")) << false;
    QTest::newRow("outer TLV cut") << tlv(1, fields).chopped(1) << false;
    QTest::newRow("two documents") << tlv(1, fields) + tlv(1, fields) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_OfdEmulator::decodeRefuses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, sound);
    QString fault;
    ofdemu::RegistrationDocument::decode(bytes, &fault);
    QCOMPARE(fault.isEmpty(), sound);
}

void tst_OfdEmulator::receiptLayout()
{
    QString fault;
    const auto decoded = ofdemu::RegistrationDocument::decode(document, &fault);
    QVERIFY(fault.isEmpty());
    const QByteArray receipt
        = ofdemu::buildReceipt(decoded, QDateTime::fromSecsSinceEpoch(1710000000, Qt::UTC));
    QCOMPARE(receipt.toHex(), receiptAt1710000000.toHex());
}

void tst_OfdEmulator::answers_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<int>("garbage");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<quint16>("flags");
    QTest::addColumn<QString>("checkValue"); // full, header, neither
    QTest::addColumn<int>("missing");

    const QByteArray start = QByteArray::fromHex("2a08410a81a20105");
    QTest::newRow("normal") << Scenario::Normal << 0 << start << quint16(0x16) << "full" << 0;
    QTest::newRow("late answer") << Scenario::LateAnswer << 0 << start << quint16(0x16) << "full"
                                 << 0;
    QTest::newRow("two stray bytes")
        << Scenario::Garbage2 << 2 << start << quint16(0x16) << "full" << 0;
    QTest::newRow("four stray bytes")
        << Scenario::Garbage4 << 4 << start << quint16(0x16) << "full" << 0;
    QTest::newRow("wrong check value")
        << Scenario::WrongCheckValue << 0 << start << quint16(0x16) << "neither" << 0;
    QTest::newRow("value over the header only")
        << Scenario::HeaderOnlyCheck << 0 << start << quint16(0x16) << "header" << 0;
    QTest::newRow("body one byte short")
        << Scenario::ShortBody << 0 << start << quint16(0x16) << "full" << 1;
    QTest::newRow("rest of the body later")
        << Scenario::ShortBodyRestLater << 0 << start << quint16(0x16) << "full" << 0;
    QTest::newRow("wrong signature")
        << Scenario::WrongSignature << 0 << QByteArray::fromHex("2a08410b81a20105") << quint16(0x16)
        << "full" << 0;
    QTest::newRow("wrong session version")
        << Scenario::WrongSessionVersion << 0 << QByteArray::fromHex("2a08410a81a30105")
        << quint16(0x16) << "full" << 0;
    QTest::newRow("check mode 3") << Scenario::CheckMode3 << 0 << start << quint16(0x17) << "full"
                                  << 0;
}

void tst_OfdEmulator::answers()
{
    QFETCH(Scenario, scenario);
    QFETCH(int, garbage);
    QFETCH(QByteArray, start);
    QFETCH(quint16, flags);
    QFETCH(QString, checkValue);
    QFETCH(int, missing);

    m_emulator->setScenario(scenario);
    m_emulator->setDelay(100);
    QVERIFY(m_emulator->start());
    QSignalSpy sent(m_emulator.get(), &OfdServerEmulator::answerSent);
    QVERIFY(sent.isValid());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(containerFor(document));
    QVERIFY(sent.wait(5000));
    const QByteArray announced = sent.at(0).at(0).toByteArray();
    const QByteArray answer = readBytes(socket, announced.size());
    QCOMPARE(answer.toHex(), announced.toHex());

    const QByteArray container = answer.mid(garbage);
    const QByteArray receiptBody = container.mid(OfdMessage::HeaderSize);
    QCOMPARE(container.left(8).toHex(), start.toHex());
    QCOMPARE(container.mid(8, 16), storageNumber);
    const quint16 length = qFromLittleEndian<quint16>(container.constData() + 24);
    QCOMPARE(int(length), receiptBody.size() + missing);
    QCOMPARE(qFromLittleEndian<quint16>(container.constData() + 26), flags);

    if (missing)
        return; // the check value covers a body that never came whole

    // the check value, judged with the program's CRC
    const quint16 crc = qFromLittleEndian<quint16>(container.constData() + 28);
    const QByteArray header28 = container.left(OfdMessage::CheckedHeaderSize);
    const bool full = crc == Crc16::checksum(header28 + receiptBody);
    const bool headerOnly = crc == Crc16::checksum(header28);
    if (checkValue == QLatin1String("full"))
        QVERIFY(full);
    else if (checkValue == QLatin1String("header"))
        QVERIFY(headerOnly && !full);
    else
        QVERIFY(!full && !headerOnly && crc != 0);

    // the receipt names the storage and the document
    QCOMPARE(
        receiptBody.left(20).toHex(), (QByteArray::fromHex("11041000") + storageNumber).toHex());
    QCOMPARE(receiptBody.mid(20, 8).toHex(), QByteArray("1004040003000000"));
}

void tst_OfdEmulator::splitAnswerComesInPieces()
{
    m_emulator->setScenario(Scenario::SplitAnswer);
    m_emulator->setDelay(500);
    QVERIFY(m_emulator->start());
    QSignalSpy sent(m_emulator.get(), &OfdServerEmulator::answerSent);
    QVERIFY(sent.isValid());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(containerFor(document));
    QVERIFY(socket.waitForReadyRead(5000));
    const QByteArray first = socket.readAll();
    QCOMPARE(first.size(), 10); // the rest follows the delay later

    QVERIFY(sent.wait(5000));
    const QByteArray announced = sent.at(0).at(0).toByteArray();
    const QByteArray answer = first + readBytes(socket, announced.size() - first.size());
    QCOMPARE(answer.toHex(), announced.toHex());

    OfdMessage check(storageNumber);
    QVERIFY(check.parseHeader(answer.left(OfdMessage::HeaderSize)));
    QVERIFY(check.parseData(answer.mid(OfdMessage::HeaderSize), false));
}

void tst_OfdEmulator::silentScenarios_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<int>("records");
    QTest::newRow("no answer, closed after the hold") << Scenario::NoAnswer << 1;
    QTest::newRow("closed right after connect") << Scenario::CloseAfterConnect << 0;
}

void tst_OfdEmulator::silentScenarios()
{
    QFETCH(Scenario, scenario);
    QFETCH(int, records);
    m_emulator->setScenario(scenario);
    m_emulator->setHoldTime(100);
    QVERIFY(m_emulator->start());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(containerFor(document));
    socket.flush();
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(socket.readAll(), QByteArray());
    QCOMPARE(m_emulator->records().size(), records);
    QCOMPARE(m_emulator->connectionCount(), 1);
}

void tst_OfdEmulator::refusesBadContainers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    const QByteArray good = containerFor(document);
    QByteArray badCrc = good;
    badCrc[28] = char(badCrc.at(28) ^ 0x01);
    QByteArray badSignature = good;
    badSignature[3] = 0x0b;
    QByteArray badApplication = good;
    badApplication[7] = 0x06;
    QByteArray mode3 = good;
    mode3[26] = char(mode3.at(26) | 0x03);

    QTest::newRow("wrong check value")
        << badCrc << "wrong check value over the header and the body";
    QTest::newRow("wrong signature") << badSignature << "wrong signature 2a08410b";
    QTest::newRow("wrong application version")
        << badApplication << "wrong application version 0106";
    QTest::newRow("check mode 3") << mode3 << "check mode 3";
    QTest::newRow("not a registration report")
        << containerFor(ofdtest::tlv(2, ofdtest::tlv(1040, ofdtest::le32(1))))
        << "tag 2 is not a registration report";
}

void tst_OfdEmulator::refusesBadContainers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QVERIFY(m_emulator->start());
    QSignalSpy refused(m_emulator.get(), &OfdServerEmulator::containerRefused);
    QVERIFY(refused.isValid());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(bytes);
    QVERIFY(refused.wait(5000));
    QCOMPARE(refused.at(0).at(0).toString(), reason);
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(socket.readAll(), QByteArray()); // no receipt

    const QList<QJsonObject> records = m_emulator->records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).value("error").toString(), reason);
    QCOMPARE(records.at(0).value("received").toString(), QString::fromLatin1(bytes.toHex()));
}

void tst_OfdEmulator::clientLeavingInsideContainer()
{
    QVERIFY(m_emulator->start());
    QSignalSpy documents(m_emulator.get(), &OfdServerEmulator::documentReceived);
    QVERIFY(documents.isValid());
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write(containerFor(document).left(40));
        socket.flush();
        socket.disconnectFromHost();
    }
    QVERIFY(documents.wait(5000));
    const QJsonObject record = documents.at(0).at(0).toJsonObject();
    QCOMPARE(record.value("error").toString(),
        QStringLiteral("connection closed inside a container after 40 bytes"));
}

void tst_OfdEmulator::twoDocumentsOnOneConnection()
{
    QVERIFY(m_emulator->start());
    QSignalSpy sent(m_emulator.get(), &OfdServerEmulator::answerSent);
    QVERIFY(sent.isValid());

    const QByteArray second = ofdtest::registrationDocument(storageNumber, 4);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(containerFor(document) + containerFor(second)); // in one write
    QTRY_COMPARE(sent.count(), 2);

    const QList<QJsonObject> records = m_emulator->records();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).value("documentNumber").toInt(), 3);
    QCOMPARE(records.at(1).value("documentNumber").toInt(), 4);
    const int total = sent.at(0).at(0).toByteArray().size() + sent.at(1).at(0).toByteArray().size();
    QCOMPARE(readBytes(socket, total).size(), total);
}

void tst_OfdEmulator::socks5Front()
{
    m_emulator->setSocks5Front(true);
    QVERIFY(m_emulator->start());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(QByteArray::fromHex("050100")); // version 5, one method: no authentication
    QCOMPARE(readBytes(socket, 2).toHex(), QByteArray("0500"));
    const QByteArray host("ofd.example.invalid");
    socket.write(
        QByteArray::fromHex("05010003") + char(host.size()) + host + QByteArray::fromHex("1b59"));
    QCOMPARE(readBytes(socket, 10).toHex(), QByteArray("05000001000000000000"));
    QCOMPARE(m_emulator->requestedHosts(), QStringList("ofd.example.invalid:7001"));

    socket.write(containerFor(document));
    const QByteArray answer
        = readBytes(socket, OfdMessage::HeaderSize + receiptAt1710000000.size());
    OfdMessage check(storageNumber);
    QVERIFY(check.parseHeader(answer.left(OfdMessage::HeaderSize)));
    QVERIFY(check.parseData(answer.mid(OfdMessage::HeaderSize), false));
    QCOMPARE(m_emulator->records().constFirst().value("requestedHost").toString(),
        QStringLiteral("ofd.example.invalid:7001"));
}

void tst_OfdEmulator::recordFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ofd.jsonl"));
    m_emulator->setRecordFile(path);
    QVERIFY(m_emulator->start());
    QSignalSpy sent(m_emulator.get(), &OfdServerEmulator::answerSent);
    QVERIFY(sent.isValid());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_emulator->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write(
        containerFor(document) + containerFor(ofdtest::registrationDocument(storageNumber, 4)));
    QTRY_COMPARE(sent.count(), 2);
    m_emulator->stop();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last newline
    QVERIFY(lines.at(2).isEmpty());
    for (int i = 0; i < 2; ++i) {
        QJsonParseError error;
        const QJsonObject line = QJsonDocument::fromJson(lines.at(i), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(line, m_emulator->records().at(i));
        QCOMPARE(line.value("documentNumber").toInt(), 3 + i);
    }
}

void tst_OfdEmulator::standaloneProgram()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ofd.jsonl"));

    QProcess program;
    program.start(QStringLiteral(OFD_EMULATOR_PROGRAM),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--record"), path });
    QVERIFY(program.waitForStarted(5000));
    QByteArray banner;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QRegularExpressionMatch match;
    QTRY_VERIFY((banner += program.readAllStandardError(),
        match = listening.match(QString::fromLatin1(banner)), match.hasMatch()));
    const quint16 port = quint16(match.captured(1).toUInt());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(containerFor(document));
    const QByteArray answer
        = readBytes(socket, OfdMessage::HeaderSize + receiptAt1710000000.size());
    OfdMessage check(storageNumber);
    QVERIFY(check.parseHeader(answer.left(OfdMessage::HeaderSize)));
    QVERIFY(check.parseData(answer.mid(OfdMessage::HeaderSize), false));
    socket.disconnectFromHost();

    program.terminate();
    QVERIFY(program.waitForFinished(5000));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 2);
    const QJsonObject line = QJsonDocument::fromJson(lines.at(0)).object();
    QCOMPARE(line.value("documentNumber").toInt(), 3);
    QCOMPARE(line.value("storageNumber").toString(), QString::fromLatin1(storageNumber));
    QCOMPARE(line.value("document").toString(), QString::fromLatin1(document.toHex()));
    QCOMPARE(line.value("receipt").toString(), QString::fromLatin1(check.data().toHex()));
}

void tst_OfdEmulator::standaloneRefusesUnknownScenario()
{
    QProcess program;
    program.start(QStringLiteral(OFD_EMULATOR_PROGRAM),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--scenario"),
            QStringLiteral("sometimes") });
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAllStandardError().contains("unknown scenario sometimes"));
}

QTEST_GUILESS_MAIN(tst_OfdEmulator)
#include "tst_ofdemulator.moc"
