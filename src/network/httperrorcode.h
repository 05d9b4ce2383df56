#ifndef HTTPERRORCODE_H
#define HTTPERRORCODE_H

#include <QtGlobal>

// Codes of the error maps ("result") that the request layer makes itself.
// Network failures carry the reply's own QNetworkReply::NetworkError value (a
// small positive number), an answer of the wrong type carries -1, and a
// server's own result r (r <= ServerResultMax) arrives as ServerResultBase + r.
enum HttpErrorCode : qint32
{
    UnknownError = 0x5F000000,
    JsonParseError = 0x5F000001,
    NotAuthorized = 0x5F000002,
    AgentBlocked = 0x5F000003,
    UserBlocked = 0x5F000004,
    ServerUnaccessible = 0x5F000005,
};

namespace HttpResult {
constexpr qint32 WrongType = -1;
constexpr quint32 ServerResultBase = 0x7F000000u;
constexpr quint32 ServerResultMax = 0x5EFFFFFFu;
} // namespace HttpResult

#endif // HTTPERRORCODE_H
