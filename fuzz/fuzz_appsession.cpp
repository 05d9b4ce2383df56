// AppSession(QVariantMap) from arbitrary JSON, as a login answer delivers it;
// then the session store and the identifiers a data request carries.
#include "fuzzsupport.h"

#include "mgr/appsession.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVariantList>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonParseError parseError;
    const QJsonDocument document
        = QJsonDocument::fromJson(fuzzsupport::bytes(data, size), &parseError);
    const QVariant value = document.toVariant();

    // An object is a session answer; an array gives one record per element.
    QVariantList maps;
    if (value.type() == QVariant::List)
        maps = value.toList();
    else
        maps.append(value);

    for (const QVariant &element : qAsConst(maps)) {
        const AppSession session(element.toMap());
        const QVariantMap ids = session.toSessionMap();
        FUZZ_CHECK(ids.size() == 3);
        FUZZ_CHECK(ids.value(QStringLiteral("idSession")).toString() == session.idSession());
        FUZZ_CHECK(ids.value(QStringLiteral("idDealer")).toString()
            == QString::number(session.idDealer()));
        FUZZ_CHECK(
            ids.value(QStringLiteral("idUser")).toString() == QString::number(session.idUser()));

        const AppSession copy = session;
        FUZZ_CHECK(copy == session);
        storeSession(AppSession::OperatorLogin, session);
        FUZZ_CHECK(storedSession(AppSession::OperatorLogin) == session);
        FUZZ_CHECK(hasStoredSession(AppSession::OperatorLogin));
        // A second reading of the same map gives the same record.
        FUZZ_CHECK(AppSession(element.toMap()) == session);
    }
    return 0;
}
