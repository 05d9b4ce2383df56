// The answer path of the processing-server client: prepareReply and the
// handlers behind it, on arbitrary bodies, with and without
// "Content-Encoding: gzip".
//
// Input: one mode byte, then the body.
//   mode bits 0-2: the handler (taken modulo 5)
//       0  HttpsReplyHandler expecting an object (every data request)
//       1  HttpsReplyHandler expecting a list
//       2  HttpsReplyHandler accepting any type
//       3  LoginHttpsHandler, with the login manager storing the session
//       4  HttpsReplyHandler feeding the model list of the data manager
//   mode bit 3: the reply carries "Content-Encoding: gzip"
//   mode bit 4: with bit 3, the body is gzip-compressed by the target first,
//               so that the JSON reader sees arbitrary text behind the inflater
//   mode bit 5: the reply ended in a network error
#include "fuzzsupport.h"

#include "mgr/loginaccessmanager.h"
#include "mgr/loginhttpshandler.h"
#include "mgr/processingsrvaccessmgr.h"
#include "network/httperrorcode.h"
#include "network/httpsreplyhandler.h"
#include "tessarocore/gzipstreamwrapper.h"

#include <QNetworkReply>

namespace {

// A finished reply that serves its body from memory.
class BufferReply : public QNetworkReply
{
public:
    BufferReply(const QByteArray &body, bool gzipHeader, bool networkError)
        : m_body(body)
    {
        setUrl(QUrl(
            QStringLiteral("https://127.0.0.1:1/vendrel/api/LoginSession?login=a&password=b")));
        setOperation(QNetworkAccessManager::GetOperation);
        if (gzipHeader)
            setRawHeader("Content-Encoding", "gzip");
        if (networkError)
            setError(QNetworkReply::ConnectionRefusedError, QStringLiteral("Connection refused"));
        open(QIODevice::ReadOnly);
        setFinished(true);
    }

    void abort() override { }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return m_body.size() - m_position + QNetworkReply::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = qMin<qint64>(maxSize, m_body.size() - m_position);
        if (count <= 0)
            return -1;
        memcpy(data, m_body.constData() + m_position, size_t(count));
        m_position += count;
        return count;
    }

private:
    QByteArray m_body;
    qint64 m_position = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    qRegisterMetaType<AppSession>("AppSession");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const quint8 mode = data[0];
    QByteArray body = fuzzsupport::bytes(data + 1, size - 1);
    const bool gzipHeader = mode & 0x08;
    if (gzipHeader && (mode & 0x10))
        body = tessaro::GzipStreamWrapper::gzcompress(body);
    const bool networkError = mode & 0x20;

    LoginAccessManager login(QStringLiteral("127.0.0.1"), 1, QSslConfiguration());
    ProcessingSrvAccessMgr dataMgr(QStringLiteral("127.0.0.1"), 1, QSslConfiguration());
    AbstractHttpsReplyHandler *handler = nullptr;
    switch ((mode & 0x07) % 5) {
    case 0:
        handler = new HttpsReplyHandler(&dataMgr);
        break;
    case 1:
        handler = new HttpsReplyHandler(QVariant::List, &dataMgr);
        break;
    case 2:
        handler = new HttpsReplyHandler(QVariant::Invalid, &dataMgr);
        break;
    case 3:
        handler = new LoginHttpsHandler(AppSession::OperatorLogin, &login);
        QObject::connect(
            handler, SIGNAL(loginSuccess(QVariantMap)), &login, SLOT(onLoginSuccess(QVariantMap)));
        break;
    default:
        handler = new HttpsReplyHandler(&dataMgr);
        QObject::connect(handler, SIGNAL(dataLoaded(QVariant)), &dataMgr,
            SLOT(onSupportedModelsLoaded(QVariant)));
        break;
    }

    int errors = 0;
    QObject::connect(handler, &AbstractHttpsReplyHandler::error, [&errors] { ++errors; });
    int done = 0;
    if (auto *plain = qobject_cast<HttpsReplyHandler *>(handler))
        QObject::connect(plain, &HttpsReplyHandler::dataLoaded, [&done] { ++done; });
    else if (auto *loginHandler = qobject_cast<LoginHttpsHandler *>(handler))
        QObject::connect(loginHandler, &LoginHttpsHandler::loginSuccess, [&done] { ++done; });

    BufferReply reply(body, gzipHeader, networkError);
    const bool accepted = handler->prepareReply(&reply);

    // An accepted answer was handed on exactly once and is no error; a refused
    // one produced at most one error report (the login answer that is no
    // object is refused without one), always with a "result".
    if (accepted) {
        FUZZ_CHECK(done == 1 && errors == 0);
    } else {
        FUZZ_CHECK(done == 0 && errors <= 1);
        if (errors == 1)
            FUZZ_CHECK(handler->errorMap().contains(QStringLiteral("result")));
    }
    if (networkError)
        FUZZ_CHECK(!accepted
            && handler->errorMap().value(QStringLiteral("result")).toInt()
                == QNetworkReply::ConnectionRefusedError);
    if (body.isEmpty() && !networkError)
        FUZZ_CHECK(!accepted
            && handler->errorMap().value(QStringLiteral("result")).toInt() == JsonParseError);
    delete handler;
    return 0;
}
