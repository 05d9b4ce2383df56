#include "mgr/processingsrvaccessmgr.h"

#include "mgr/appsession.h"
#include "mgr/processingserver.h"
#include "network/httpsreplyhandler.h"
#include "tessarocore/logging.h"

#include <QDebug>

const QString ProcessingSrvAccessMgr::DataPackPath = QStringLiteral("/vendrel/api/WebDataPackPost");

ProcessingSrvAccessMgr::ProcessingSrvAccessMgr(QObject *parent)
    : HttpsAccessManager(ProcessingServer::sslConfiguration(), parent)
{ }

ProcessingSrvAccessMgr::ProcessingSrvAccessMgr(const QSslConfiguration &ssl, QObject *parent)
    : HttpsAccessManager(ssl, parent)
{ }

ProcessingSrvAccessMgr::ProcessingSrvAccessMgr(const QString &host, quint16 port, QObject *parent)
    : HttpsAccessManager(host, port, ProcessingServer::sslConfiguration(), parent)
{ }

ProcessingSrvAccessMgr::ProcessingSrvAccessMgr(
    const QString &host, quint16 port, const QSslConfiguration &ssl, QObject *parent)
    : HttpsAccessManager(host, port, ssl, parent)
{ }

HttpsReplyHandler *ProcessingSrvAccessMgr::requestSupportedModels()
{
    const AppSession session = storedSession(AppSession::OperatorLogin);

    // Every data set from its beginning: the change id after which to send is 0.
    QVariantMap afterChId;
    afterChId.insert(QStringLiteral("hardware"), 0);
    afterChId.insert(QStringLiteral("hardwareType"), 0);
    afterChId.insert(QStringLiteral("kktAllowedSerialRange"), 0);
    QVariantMap web;
    web.insert(QStringLiteral("afterChId"), afterChId);
    QVariantMap body;
    body.insert(QStringLiteral("web"), web);
    body.insert(QStringLiteral("session"), session.toSessionMap());

    HttpsReplyHandler *handler = postData(DataPackPath, body, QUrlQuery());
    if (handler)
        connect(handler, &HttpsReplyHandler::dataLoaded, this,
            &ProcessingSrvAccessMgr::onSupportedModelsLoaded);
    return handler;
}

void ProcessingSrvAccessMgr::onSupportedModelsLoaded(QVariant data)
{
    const QVariant hardware = data.toMap().value(QStringLiteral("hardware"));
    const QVariantList list
        = hardware.type() == QVariant::List ? hardware.toList() : QVariantList();
    qWarning().noquote() << tessaro::logvariant(list);
    emit supportedModelsLoaded(list);
}
