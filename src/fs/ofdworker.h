#ifndef OFDWORKER_H
#define OFDWORKER_H

#include "fs/ofdinfo.h"
#include "tessarocore/abstractworker.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QPointer>
#include <QString>

class QTcpSocket;

// The TCP client of the fiscal data operator (OFD). It picks the operator's
// server from the OFD directory by INN, connects, wraps a document of the
// storage into the OFD container, sends it and hands back the body of the
// operator's reply, the receipt. One worker serves one exchange.
class OfdWorker : public tessaro::AbstractWorker
{
    Q_OBJECT
public:
    // How long sendSyncDocument waits for the first byte of the reply.
    static constexpr int DefaultReplyTimeout = 20000;

    OfdWorker();
    ~OfdWorker() override;

    // A copy of the selected operator's record.
    OfdInfo ofd() const { return m_ofd; }
    QString ofdInn() const { return m_ofdInn; }
    QString fsNumber() const { return m_fsNumber; }

    // Takes info when given; otherwise, while no valid record is selected,
    // looks the INN up in the directory. True when a valid record is selected.
    bool selectOfd(const OfdInfo *info = nullptr);

    // The reply wait of sendSyncDocument; the program keeps the default.
    int replyTimeout() const { return m_replyTimeout; }
    void setReplyTimeout(int ms) { m_replyTimeout = ms; }

signals:
    void connectionStateChanged(bool conneced);
    void receiptRecieved(QByteArray data);

public slots:
    void setOfdInn(QString ofdInn);
    bool open(int wait);
    bool open() { return open(0); }
    void close(int wait);
    void close() { close(0); }
    void sendDocument(QByteArray data);
    QByteArray sendSyncDocument(QByteArray data);

private slots:
    void socketStateChanged(QAbstractSocket::SocketState state);
    QByteArray socketReadyRead();
    void socketError(QAbstractSocket::SocketError error);

protected:
    bool onStart() override;
    bool onStop() override;

private:
    // Steps shared by both sends: the storage number and a connected socket.
    bool prepareSend();
    // The container for data, or an empty array when it cannot be built.
    QByteArray buildContainer(const QByteArray &data) const;
    void writeContainer(const QByteArray &container);

    OfdInfo m_ofd;
    QPointer<QTcpSocket> m_socket;
    QString m_fsNumber;
    QString m_ofdInn;
    int m_replyTimeout = DefaultReplyTimeout;
};

#endif // OFDWORKER_H
