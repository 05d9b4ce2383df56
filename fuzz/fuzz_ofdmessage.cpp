// The OFD container: OfdMessage::parseHeader and parseData on arbitrary
// bytes, and the round trip of a body through toByteArray.
//
// Input: one mode byte, then 30 header bytes and the body (a shorter input is
// a short header).
//   mode bit 0: the signature and session version are made right, so that
//               the fields behind them are reached
//   mode bit 1: the length field is set to the body's size
//   mode bit 2: the check value is made right for the check mode of the flags
#include "fuzzsupport.h"

#include "fs/ofdmessage.h"

#include <QDebug>
#include <QtEndian>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    return 0;
}

namespace {

const QByteArray FsNumber = QByteArrayLiteral("9999078900012345");

void putUInt16(QByteArray &bytes, int offset, quint16 value)
{
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const quint8 mode = data[0];
    const QByteArray rest = fuzzsupport::bytes(data + 1, size - 1);
    QByteArray header = rest.left(OfdMessage::HeaderSize);
    const QByteArray body = rest.mid(OfdMessage::HeaderSize);

    if (header.size() == OfdMessage::HeaderSize) {
        if (mode & 1)
            header.replace(0, 6, OfdMessage::signature() + OfdMessage::sessionVersion());
        if (mode & 2)
            putUInt16(header, 24, quint16(body.size()));
        if (mode & 4) {
            const quint16 flags = qFromLittleEndian<quint16>(header.constData() + 26);
            const QByteArray checked = header.left(OfdMessage::CheckedHeaderSize);
            quint16 value = 0;
            if ((flags & OfdMessage::CheckModeMask) == OfdMessage::HeaderCheck)
                value = OfdMessage::checksum(checked);
            else if ((flags & OfdMessage::CheckModeMask) == OfdMessage::FullCheck)
                value = OfdMessage::checksum(checked + body);
            putUInt16(header, 28, value);
        }
    }

    OfdMessage received(FsNumber);
    const bool headerOk = received.parseHeader(header);
    if (headerOk) {
        FUZZ_CHECK(header.size() == OfdMessage::HeaderSize);
        FUZZ_CHECK(received.checkMode() != OfdMessage::InvalidCheck);
        const bool strict = received.parseData(body, false);
        const bool lenient = received.parseData(body, true);
        // The lenient reading accepts everything the strict one does.
        FUZZ_CHECK(!strict || lenient);
        if (lenient)
            FUZZ_CHECK(received.data() == body && body.size() == received.length());
    }
    QString text;
    QDebug(&text) << received;

    // Whatever the operator could send back, a container we build for a body
    // reads back to the same body, strictly checked.
    if (body.size() <= OfdMessage::MaxBodySize) {
        OfdMessage outgoing(FsNumber);
        const QByteArray container = outgoing.toByteArray(body);
        FUZZ_CHECK(container.size() == OfdMessage::HeaderSize + body.size());
        OfdMessage back(FsNumber);
        FUZZ_CHECK(back.parseHeader(container.left(OfdMessage::HeaderSize)));
        FUZZ_CHECK(back.parseData(container.mid(OfdMessage::HeaderSize), false));
        FUZZ_CHECK(back.data() == body);
    }
    return 0;
}
