#include "network/abstracthttpsreplyhandler.h"

#include "network/httperrorcode.h"
#include "network/urlmask.h"
#include "tessarocore/gzipstreamwrapper.h"
#include "tessarocore/logging.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkReply>
#include <QTextStream>

namespace {
const QString ResultKey = QStringLiteral("result");
const QString DescriptionKey = QStringLiteral("resultDescription");
} // namespace

AbstractHttpsReplyHandler::AbstractHttpsReplyHandler(QObject *parent)
    : QObject(parent)
{ }

bool AbstractHttpsReplyHandler::prepareReply(QNetworkReply *reply)
{
    if (!reply) {
        prepareError(UnknownError, QStringLiteral("Unknown error"), QString());
        emit error(m_errorMap);
        return false;
    }

    const QUrl url = reply->url();
    const QString urlText = UrlMask::maskedUrl(url);
    if (reply->error() != QNetworkReply::NoError) {
        prepareError(reply->error(), UrlMask::maskSecrets(reply->errorString(), url), urlText);
        emit error(m_errorMap);
        return false;
    }

    QByteArray body = reply->readAll();
    if (reply->rawHeader("Content-Encoding").contains("gzip"))
        body = tessaro::GzipStreamWrapper::gzuncompress(body);

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qCritical() << parseError.errorString();
        prepareError(JsonParseError, parseError.errorString(), urlText);
        emit error(m_errorMap);
        return false;
    }

    const QVariant value = document.toVariant();
    if (value.type() == QVariant::Map) {
        const QVariantMap answer = value.toMap();
        if (answer.contains(ResultKey)) {
            // The server's own error report: its code moves into our code
            // space unless its unsigned reading is beyond it (-1 stays -1).
            m_errorMap = answer;
            const quint32 r = static_cast<quint32>(answer.value(ResultKey).toLongLong());
            if (r <= HttpResult::ServerResultMax)
                m_errorMap.insert(ResultKey, r + HttpResult::ServerResultBase);
            emit error(m_errorMap);
            return false;
        }
    }
    return handleData(value, urlText);
}

void AbstractHttpsReplyHandler::prepareError(qint32 code, const QString &msg, const QString &url)
{
    m_errorMap.insert(ResultKey, int(code));
    m_errorMap.insert(DescriptionKey, msg);
    QString line;
    QTextStream stream(&line);
    stream << "0x" << QString::number(quint32(code), 16) << ' ' << msg << tessaro::logtab << url;
    stream.flush();
    qWarning().noquote() << line;
}
