#ifndef PROCESSINGSRVACCESSMGR_H
#define PROCESSINGSRVACCESSMGR_H

#include "network/httpsaccessmanager.h"

#include <QVariantList>

// Asks the processing server for the cash-register models the operator may
// register: one JSON POST "/vendrel/api/WebDataPackPost" on behalf of the
// session stored under AppSession::OperatorLogin.
//
// The constructors without an SSL configuration trust the system's CA
// certificates and the one compiled into the program.
class ProcessingSrvAccessMgr : public HttpsAccessManager
{
    Q_OBJECT
public:
    static const QString DataPackPath;

    explicit ProcessingSrvAccessMgr(QObject *parent = nullptr);
    ProcessingSrvAccessMgr(const QSslConfiguration &ssl, QObject *parent = nullptr);
    ProcessingSrvAccessMgr(const QString &host, quint16 port, QObject *parent = nullptr);
    ProcessingSrvAccessMgr(
        const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent = nullptr);

    // Sends the data-pack request; null when no request could be sent.
    HttpsReplyHandler *requestSupportedModels();

signals:
    // The model records of the answer's "hardware", in the answer's order.
    void supportedModelsLoaded(QVariantList data);

private slots:
    void onSupportedModelsLoaded(QVariant data);
};

#endif // PROCESSINGSRVACCESSMGR_H
