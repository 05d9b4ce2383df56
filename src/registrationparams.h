#ifndef REGISTRATIONPARAMS_H
#define REGISTRATIONPARAMS_H

#include <QByteArray>
#include <QChar>
#include <QCoreApplication>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QtGlobal>

// Everything one fiscalization writes into the fiscal storage, and what the
// storage gives back (document number, fiscal sign, registration date).
// A plain value type.
class RegistrationParams
{
    Q_DECLARE_TR_FUNCTIONS(RegistrationParams)

public:
    // Work modes, bits of regFlags. Bits 0-5 make the work-mode byte of the
    // command that closes the registration (regFlags & WorkModeByteMask);
    // bits 6-9 reach the storage only as TLVs.
    enum RegFlag : quint16
    {
        useEncryption = 0x0001,
        offlineMode = 0x0002,
        automatMode = 0x0004,
        allowServices = 0x0008,
        makeBso = 0x0010,
        internetOnly = 0x0020,
        externPrinter = 0x0040, // tag 1221
        excisableGoods = 0x0080, // tag 1207
        allowGames = 0x0100, // tag 1193
        allowLotteries = 0x0200, // tag 1126
    };
    static constexpr quint16 WorkModeByteMask = 0x3F;

    enum class TlvKind
    {
        String,
        UInt,
        Bool
    };

    RegistrationParams();

    quint8 fdfVersion() const { return m_fdfVersion; }
    void setFdfVersion(quint8 value) { m_fdfVersion = value; }
    quint8 fSfDfVersion() const { return m_fSfDfVersion; }
    void setFSfDfVersion(quint8 value) { m_fSfDfVersion = value; }
    quint32 regDocNumber() const { return m_regDocNumber; }
    void setRegDocNumber(quint32 value) { m_regDocNumber = value; }
    quint32 fiscalCode() const { return m_fiscalCode; }
    void setFiscalCode(quint32 value) { m_fiscalCode = value; }
    QString userName() const { return m_userName; }
    void setUserName(const QString &value) { m_userName = value; }
    QString userInn() const { return m_userInn; }
    void setUserInn(const QString &value) { m_userInn = value.trimmed(); }
    quint8 taxes() const { return m_taxes; }
    void setTaxes(quint8 value) { m_taxes = value; }
    QString regNumber() const { return m_regNumber; }
    void setRegNumber(const QString &value) { m_regNumber = value.trimmed(); }
    quint16 regFlags() const { return m_regFlags; }
    void setRegFlags(quint16 value) { m_regFlags = value; }
    QString atmNumber() const { return m_atmNumber; }
    void setAtmNumber(const QString &value) { m_atmNumber = value; }
    quint8 agentFlags() const { return m_agentFlags; }
    void setAgentFlags(quint8 value) { m_agentFlags = value; }
    QString regCashierName() const { return m_regCashierName; }
    void setRegCashierName(const QString &value) { m_regCashierName = value; }
    QString regCashierInn() const { return m_regCashierInn; }
    void setRegCashierInn(const QString &value) { m_regCashierInn = value; }
    QString paymentAddress() const { return m_paymentAddress; }
    void setPaymentAddress(const QString &value) { m_paymentAddress = value; }
    QString paymentPlace() const { return m_paymentPlace; }
    void setPaymentPlace(const QString &value) { m_paymentPlace = value; }
    QString ofdInn() const { return m_ofdInn; }
    void setOfdInn(const QString &value) { m_ofdInn = value.trimmed(); }
    QString ofdName() const { return m_ofdName; }
    void setOfdName(const QString &value) { m_ofdName = value; }
    QString serial() const { return m_serial; }
    void setSerial(const QString &value) { m_serial = value.trimmed(); }
    QString fsNumber() const { return m_fsNumber; }
    void setFsNumber(const QString &value) { m_fsNumber = value; }
    QDateTime regDate() const { return m_regDate; }
    void setRegDate(const QDateTime &value) { m_regDate = value; }
    QString fnsSite() const { return m_fnsSite; }
    void setFnsSite(const QString &value) { m_fnsSite = value; }
    QString email() const { return m_email; }
    void setEmail(const QString &value) { m_email = value; }
    quint16 officialModel() const { return m_officialModel; }
    void setOfficialModel(quint16 value) { m_officialModel = value; }
    QString officialName() const { return m_officialName; }
    void setOfficialName(const QString &value) { m_officialName = value; }
    QString officialVersion() const { return m_officialVersion; }
    void setOfficialVersion(const QString &value) { m_officialVersion = value; }

    // Whether the work-mode bit is set in regFlags.
    bool hasRegFlag(RegFlag flag) const { return (m_regFlags & flag) != 0; }
    // regFlags & 0x3F: the work-mode byte of the command that closes the registration.
    quint8 workModeByte() const { return quint8(m_regFlags & WorkModeByteMask); }

    // Runs every check and collects the operator's messages of the failing
    // ones, numbered from 1 ("1. ...") and joined with "\n", into errors.
    // True, with errors empty, when every check passes.
    bool validate(QString &errors) const;

    // The TLV of every parameter that goes to the storage, keyed by tag; the
    // map iterates in ascending tag order, the order in which they are sent.
    QMap<quint16, QByteArray> toTlvMap() const;

    // One TLV, little-endian: tag (2 bytes), length (2 bytes), value.
    //  String: the text in CP866. With fixedLength it is cut or padded at the
    //          end with fill (in CP866; a blank when fill has no CP866 byte) to
    //          length bytes; without it the text goes whole. The length field
    //          holds at most 0xFFFF, so a longer text is cut to 0xFFFF bytes.
    //  UInt:   value as an unsigned number in length bytes (1, 2, 4 or 8).
    //  Bool:   one byte, 1 or 0.
    static QByteArray encodeTlv(quint16 tag, TlvKind kind, const QVariant &value, quint16 length,
        bool fixedLength, QChar fill);

private:
    quint8 m_fdfVersion = 2;
    quint8 m_fSfDfVersion = 2;
    quint32 m_regDocNumber = 0;
    quint32 m_fiscalCode = 0;
    QString m_userName;
    QString m_userInn;
    quint8 m_taxes = 0x80;
    QString m_regNumber;
    quint16 m_regFlags = 0x8000;
    QString m_atmNumber;
    quint8 m_agentFlags = 0x80;
    QString m_regCashierName;
    QString m_regCashierInn;
    QString m_paymentAddress;
    QString m_paymentPlace;
    QString m_ofdInn;
    QString m_ofdName;
    QString m_serial;
    QString m_fsNumber;
    QDateTime m_regDate;
    QString m_fnsSite;
    QString m_email;
    quint16 m_officialModel = 0;
    QString m_officialName;
    QString m_officialVersion;
};

Q_DECLARE_METATYPE(RegistrationParams)

#endif // REGISTRATIONPARAMS_H
