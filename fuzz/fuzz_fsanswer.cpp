// Storage answer frames: FiscalStorageAnswer::fromByteArray, then every typed
// decoder on what it took from the frame.
//
// Input: one mode byte, then the rest.
//   mode bit 0 set:   the rest is the frame exactly as the adapter delivered it.
//   mode bit 0 clear: the rest is code byte + data; the target wraps them into
//                     a frame with a correct length and checksum, so that the
//                     decoders see arbitrary data and not only checksum failures.
#include "fuzzsupport.h"

#include "fs/fiscalstorageanswer.h"
#include "fs/fsstate.h"

#include <QDebug>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzsupport::initApplication(argc, argv);
    return 0;
}

namespace {

bool isDecoderResult(quint8 result, quint8 frameResult)
{
    return result == FiscalStorageMsg::FrameOk || result == FiscalStorageMsg::DataMismatch
        || result == frameResult;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool raw = data[0] & 1;
    const QByteArray rest = fuzzsupport::bytes(data + 1, size - 1);

    QByteArray frame = rest;
    if (!raw) {
        if (rest.isEmpty())
            return 0;
        FiscalStorageAnswer built;
        built.setCode(quint8(rest.at(0)));
        built.setData(rest.mid(1));
        frame = built.toByteArray();
        // marker, two length bytes and two checksum bytes around code + data
        FUZZ_CHECK(frame.size() == rest.size() + FiscalStorageMsg::FrameOverhead);
    }

    FiscalStorageAnswer answer;
    const quint8 result = answer.fromByteArray(frame);
    FUZZ_CHECK(result <= FiscalStorageMsg::BadChecksum);
    FUZZ_CHECK(answer.frameResult() == result);
    if (!raw)
        FUZZ_CHECK(result == FiscalStorageMsg::FrameOk);
    if (result == FiscalStorageMsg::FrameOk) {
        // A frame that parsed is rebuilt byte for byte.
        FUZZ_CHECK(answer.toByteArray() == frame);
        FUZZ_CHECK(answer.data().size() == frame.size() - FiscalStorageMsg::FrameOverhead - 1);
    }
    FUZZ_CHECK(!answer.isValid() || result == FiscalStorageMsg::FrameOk);
    const quint8 fsError = answer.fsError();
    FUZZ_CHECK(fsError <= 0x20 || fsError == FiscalStorageAnswer::UnknownError);

    FsState state;
    FUZZ_CHECK(isDecoderResult(answer.decodeStatus(state), result));
    FUZZ_CHECK(isDecoderResult(answer.decodeNumber(state), result));
    FUZZ_CHECK(isDecoderResult(answer.decodeLifeTime(state), result));
    FUZZ_CHECK(isDecoderResult(answer.decodeVersion(state), result));
    FsTransportState transport;
    const quint8 transportResult = answer.decodeTransport(transport);
    FUZZ_CHECK(isDecoderResult(transportResult, result));
    if (transportResult == FiscalStorageMsg::FrameOk)
        FUZZ_CHECK(transport.isValid());
    state.setTransport(transport);

    // The status goes through the process-wide copy and into the log as the
    // program does with it.
    setCurrentFsState(state);
    FUZZ_CHECK(currentFsState() == state);
    QString text;
    QDebug(&text) << state << answer;
    return 0;
}
