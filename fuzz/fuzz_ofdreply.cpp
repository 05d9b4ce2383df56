// The OFD worker's reading of the operator's reply: the input is everything
// the operator's server sends back on one connection. A listening socket on
// 127.0.0.1 plays the server; the worker connects to it, the input is written
// into the connection, and then the worker sends a document and reads the
// reply exactly as in a registration.
//
// The server side resets each connection (SO_LINGER 0) so that a long run
// leaves no connections waiting in TIME_WAIT.
#include "fuzzsupport.h"

#include "fs/fsstate.h"
#include "fs/ofdinfo.h"
#include "fs/ofdmessage.h"
#include "fs/ofdworker.h"

#include <QCoreApplication>
#include <QEvent>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString FsNumber = QStringLiteral("9999078900012345");
int listener = -1;
quint16 listenerPort = 0;

void openListener()
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    FUZZ_CHECK(listener >= 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    FUZZ_CHECK(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    FUZZ_CHECK(::listen(listener, 4) == 0);
    socklen_t length = sizeof address;
    FUZZ_CHECK(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    listenerPort = ntohs(address.sin_port);
}

void writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n
            = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        FUZZ_CHECK(n > 0);
        done += n;
    }
}

void resetAndClose(int fd)
{
    const linger reset = { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    openListener();
    FsState state;
    state.setFsNumber(FsNumber);
    setCurrentFsState(state);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Nothing at all from the operator is the reply time-out; that path is
    // the worker's tests', not worth a wait per input here.
    if (size < 1)
        return 0;
    const QByteArray reply = fuzzsupport::bytes(data, size);

    const OfdInfo server(QStringLiteral("7703282175"), QStringLiteral("127.0.0.1"), listenerPort,
        QString(), 10000, QString(), QStringLiteral("fuzz"), QStringLiteral("fuzz"));
    auto *worker = new OfdWorker;
    worker->setReplyTimeout(200);
    FUZZ_CHECK(worker->selectOfd(&server));
    FUZZ_CHECK(worker->open(5000));
    const int connection = ::accept(listener, nullptr, nullptr);
    FUZZ_CHECK(connection >= 0);
    // The reply is in the connection before the document goes out, so the
    // worker finds all of it on its first look.
    writeAll(connection, reply);

    const QByteArray receipt
        = worker->sendSyncDocument(QByteArrayLiteral("\x01\x00\x02\x00\xaa\xbb"));
    // Whatever came back is a body the container check accepted, found
    // in what the server sent.
    if (!receipt.isEmpty()) {
        FUZZ_CHECK(reply.contains(receipt));
        FUZZ_CHECK(reply.size() >= OfdMessage::HeaderSize + receipt.size());
    }

    resetAndClose(connection);
    worker->close(0);
    worker->stop();
    delete worker;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
