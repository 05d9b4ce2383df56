// One OFD attempt end to end: the registration written into the emulated
// storage, its document read back, sent to the emulated OFD, the receipt
// written into the storage; then the storage has nothing left for the OFD and
// the operator's record holds every parameter as it was written.

#include "fs/fsstate.h"
#include "fs/fsworker.h"
#include "fs/ofdinfo.h"
#include "fs/ofdworker.h"
#include "ofdserveremulator.h"
#include "registrationparams.h"
#include "storagesetup.h"
#include "usb/usbemu.h"

#include <QJsonArray>
#include <QtTest>

#include <memory>

namespace {

struct Flag
{
    quint16 tag;
    quint8 bit;
};
// The work-mode byte as the storage's document carries it.
const Flag workModeTags[] = { { 1056, 0x01 }, { 1002, 0x02 }, { 1001, 0x04 }, { 1109, 0x08 },
    { 1110, 0x10 }, { 1108, 0x20 } };

} // namespace

class tst_OfdRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void registrationReachesOperator_data();
    void registrationReachesOperator();

private:
    std::unique_ptr<OfdServerEmulator> m_emulator;
};

void tst_OfdRoundTrip::init()
{
    testsupport::resetStorage(testsupport::StorageSetup::FreshMgm);
    m_emulator = std::make_unique<OfdServerEmulator>();
    QVERIFY2(m_emulator->start(), qPrintable(m_emulator->errorString()));
}

void tst_OfdRoundTrip::cleanup() { m_emulator.reset(); }

void tst_OfdRoundTrip::registrationReachesOperator_data()
{
    QTest::addColumn<quint16>("regFlags");
    QTest::addColumn<quint8>("taxes");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("cashier");

    QTest::newRow("cashier, services and internet, excisable goods")
        << quint16(RegistrationParams::allowServices | RegistrationParams::internetOnly
               | RegistrationParams::excisableGoods)
        << quint8(0x01) << QStringLiteral("ООО \"Ромашка\"") << QStringLiteral("Иванов И.И.");
    QTest::newRow("automat with its printer, games and lotteries")
        << quint16(RegistrationParams::automatMode | RegistrationParams::externPrinter
               | RegistrationParams::allowGames | RegistrationParams::allowLotteries
               | RegistrationParams::useEncryption)
        << quint8(0x05) << QStringLiteral("ИП Петров П.П.") << QString();
}

void tst_OfdRoundTrip::registrationReachesOperator()
{
    QFETCH(quint16, regFlags);
    QFETCH(quint8, taxes);
    QFETCH(QString, userName);
    QFETCH(QString, cashier);

    RegistrationParams params;
    params.setUserName(userName);
    params.setUserInn(QString::fromLatin1(testsupport::SetupInn));
    params.setRegNumber(QString::fromLatin1(testsupport::SetupRegNumber));
    params.setTaxes(taxes);
    params.setRegFlags(regFlags);
    params.setAgentFlags(0x05);
    params.setAtmNumber(QStringLiteral("A-17"));
    params.setRegCashierName(cashier);
    params.setPaymentAddress(QStringLiteral("г. Москва, ул. Тверская, д. 1"));
    params.setPaymentPlace(QStringLiteral("Торговый зал"));
    params.setOfficialVersion(QStringLiteral("1.2"));
    params.setSerial(QStringLiteral("0000000001"));
    params.setOfdInn(QStringLiteral("7703282175"));
    params.setOfdName(QStringLiteral("Энвижн Груп"));
    params.setFnsSite(QStringLiteral("www.nalog.gov.ru"));
    params.setEmail(QStringLiteral("kkt@example.ru"));
    const QMap<quint16, QByteArray> tlvs = params.toTlvMap();
    const QDateTime closing(QDate(2024, 3, 5), QTime(14, 7));
    const quint8 workMode = quint8(regFlags & RegistrationParams::WorkModeByteMask);

    // the fiscalization: one registration report on the storage
    FsWorker storage;
    storage.start();
    quint8 error = 0xFF;
    QVERIFY(storage.beginRegistration(0, error));
    QCOMPARE(error, quint8(0));
    for (const QByteArray &tlv : tlvs) {
        QVERIFY(storage.sendDocumentData(tlv, error));
        QCOMPARE(error, quint8(0));
    }
    FiscalStorageAnswer closed;
    QVERIFY(storage.finishRegistration(
        closing, params.userInn(), params.regNumber(), taxes, workMode, closed));
    QCOMPARE(closed.code(), quint8(0));
    QCOMPARE(closed.data().size(), 8);
    const quint32 docNumber = qFromLittleEndian<quint32>(closed.data().constData());
    const quint32 fiscalSign = qFromLittleEndian<quint32>(closed.data().constData() + 4);

    // the OFD attempt
    OfdWorker ofd;
    const OfdInfo record(QStringLiteral("7703282175"), QStringLiteral("127.0.0.1"),
        m_emulator->port(), QString(), 10000, QString(), QStringLiteral("test operator"),
        QStringLiteral("test"));
    QVERIFY(ofd.selectOfd(&record));
    QVERIFY(ofd.open(30000));
    storage.setTransportConnected(1);
    QByteArray message;
    QVERIFY(storage.readOfdMessage(message));
    const QByteArray receipt = ofd.sendSyncDocument(message);
    QVERIFY(!receipt.isEmpty());
    FiscalStorageAnswer taken;
    QVERIFY(storage.sendOfdTicket(receipt, taken));
    QCOMPARE(taken.code(), quint8(0));
    FiscalStorageAnswer transport;
    QVERIFY(storage.readTransportState(transport));
    QCOMPARE(currentFsState().transport().offlineDocsCount(), quint16(0));
    ofd.close(0);
    storage.stop();

    QCOMPARE(usbemu::unconfirmedCount(), 0);
    QCOMPARE(usbemu::documents().size(), 1);
    QVERIFY(usbemu::documents().at(0).confirmed);

    // what the operator received
    const QList<QJsonObject> records = m_emulator->records();
    QCOMPARE(records.size(), 1);
    const QJsonObject document = records.at(0);
    QCOMPARE(document.value("document").toString(), QString::fromLatin1(message.toHex()));
    QCOMPARE(document.value("documentType").toInt(), 1);
    QCOMPARE(document.value("storageNumber").toString(),
        QString::fromLatin1(usbemu::DefaultSerialNumber));
    QCOMPARE(document.value("headerStorageNumber").toString(),
        QString::fromLatin1(usbemu::DefaultSerialNumber));
    QCOMPARE(document.value("documentNumber").toDouble(), double(docNumber));
    QCOMPARE(document.value("fiscalSign").toDouble(), double(fiscalSign));
    QCOMPARE(document.value("dateTime").toString(), QStringLiteral("2024-03-05T14:07:00Z"));

    const QJsonArray tags = document.value("tags").toArray();
    QCOMPARE(tags.size(), 13 + tlvs.size());
    auto tagAt = [&tags](int i) { return tags.at(i).toObject(); };
    QCOMPARE(tagAt(4).value("tag").toInt(), 1018);
    QCOMPARE(tagAt(4).value("value").toString(), QString::fromLatin1(testsupport::SetupInn));
    QCOMPARE(tagAt(5).value("tag").toInt(), 1037);
    QCOMPARE(tagAt(5).value("value").toString(), QString::fromLatin1(testsupport::SetupRegNumber));
    QCOMPARE(tagAt(6).value("tag").toInt(), 1062);
    QCOMPARE(tagAt(6).value("value").toInt(), int(taxes));
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(tagAt(7 + i).value("tag").toInt(), int(workModeTags[i].tag));
        QCOMPARE(tagAt(7 + i).value("value").toInt(), (workMode & workModeTags[i].bit) ? 1 : 0);
    }
    // every parameter TLV, byte for byte, in the order sent
    int i = 13;
    for (auto it = tlvs.cbegin(); it != tlvs.cend(); ++it, ++i) {
        QCOMPARE(tagAt(i).value("tag").toInt(), int(it.key()));
        QCOMPARE(tagAt(i).value("hex").toString(), QString::fromLatin1(it.value().mid(4).toHex()));
    }
}

QTEST_GUILESS_MAIN(tst_OfdRoundTrip)
#include "tst_ofdroundtrip.moc"
