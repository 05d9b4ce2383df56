// The hot paths on their own: checksums, storage frames, the TLVs of a full
// record, the report page and the OFD container.

#include "benchfixtures.h"

#include "common/crc16.h"
#include "fs/fiscalstorageanswer.h"
#include "fs/fiscalstoragecmd.h"
#include "fs/fsstate.h"
#include "fs/ofdmessage.h"
#include "registrationreport.h"

#include <benchmark/benchmark.h>

namespace {

// 42 bytes: the input of a registration number's check value; 64 KiB: more
// than the largest OFD container.
void crcSizes(benchmark::internal::Benchmark *bench) { bench->Arg(42)->Arg(65536); }

void BM_Crc16Table(benchmark::State &state)
{
    const QByteArray data = benchfixtures::patternBytes(int(state.range(0)));
    const Crc16 crc;
    for (auto _ : state)
        benchmark::DoNotOptimize(crc.compute(data.constData(), data.size(), true));
    state.SetBytesProcessed(qint64(state.iterations()) * data.size());
}
BENCHMARK(BM_Crc16Table)->Apply(crcSizes);

void BM_Crc16Bitwise(benchmark::State &state)
{
    const QByteArray data = benchfixtures::patternBytes(int(state.range(0)));
    const Crc16 crc;
    for (auto _ : state)
        benchmark::DoNotOptimize(crc.compute(data.constData(), data.size(), false));
    state.SetBytesProcessed(qint64(state.iterations()) * data.size());
}
BENCHMARK(BM_Crc16Bitwise)->Apply(crcSizes);

// The shared calculator the frames and the OFD container use.
void BM_Crc16Checksum(benchmark::State &state)
{
    const QByteArray data = benchfixtures::patternBytes(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Crc16::checksum(data));
    state.SetBytesProcessed(qint64(state.iterations()) * data.size());
}
BENCHMARK(BM_Crc16Checksum)->Apply(crcSizes);

// A status command without data, and the largest TLV of a full record (the
// 256-character user name) as 0x07.
void BM_FrameBuild(benchmark::State &state)
{
    FiscalStorageCmd cmd(0x30, 36);
    if (state.range(0) > 0) {
        const QMap<quint16, QByteArray> tlvs = benchfixtures::fullRecord().toTlvMap();
        cmd = FiscalStorageCmd(0x07, tlvs.value(1048), 0);
    }
    for (auto _ : state) {
        const QByteArray frame = cmd.toByteArray();
        benchmark::DoNotOptimize(frame.constData());
    }
    state.SetLabel(state.range(0) > 0 ? "0x07, 260-byte TLV" : "0x30, no data");
}
BENCHMARK(BM_FrameBuild)->Arg(0)->Arg(1);

// The answer to 0x30 (36 bytes) parsed and decoded into a status record.
void BM_FrameParseStatus(benchmark::State &state)
{
    const QByteArray frame = benchfixtures::storageFrame(0x00, benchfixtures::statusAnswerData());
    FsState status;
    if (FiscalStorageAnswer check;
        check.fromByteArray(frame) != 0 || check.decodeStatus(status) != 0)
        state.SkipWithError("status answer does not parse");
    for (auto _ : state) {
        FiscalStorageAnswer answer;
        benchmark::DoNotOptimize(answer.fromByteArray(frame));
        benchmark::DoNotOptimize(answer.decodeStatus(status));
    }
}
BENCHMARK(BM_FrameParseStatus);

// The answer to 0x23 carrying a 1024-byte block of the OFD document.
void BM_FrameParseBlock(benchmark::State &state)
{
    const QByteArray frame = benchfixtures::storageFrame(0x00, benchfixtures::patternBytes(1024));
    for (auto _ : state) {
        FiscalStorageAnswer answer;
        benchmark::DoNotOptimize(answer.fromByteArray(frame));
        benchmark::DoNotOptimize(answer.data().constData());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * frame.size());
}
BENCHMARK(BM_FrameParseBlock);

void BM_ToTlvMap(benchmark::State &state)
{
    const RegistrationParams params = benchfixtures::fullRecord();
    for (auto _ : state) {
        const QMap<quint16, QByteArray> tlvs = params.toTlvMap();
        benchmark::DoNotOptimize(tlvs.size());
    }
}
BENCHMARK(BM_ToTlvMap);

void BM_Validate(benchmark::State &state)
{
    const RegistrationParams params = benchfixtures::fullRecord();
    for (auto _ : state) {
        QString errors;
        benchmark::DoNotOptimize(params.validate(errors));
    }
}
BENCHMARK(BM_Validate);

void BM_ReportHtml(benchmark::State &state)
{
    const RegistrationParams params = benchfixtures::registeredRecord();
    for (auto _ : state) {
        const QString html = reportHtml(params);
        benchmark::DoNotOptimize(html.constData());
    }
}
BENCHMARK(BM_ReportHtml);

// 65535 bytes: the largest body the 16-bit length field carries.
constexpr int LargestBody = OfdMessage::MaxBodySize;

void BM_OfdMessageBuild(benchmark::State &state)
{
    const QByteArray body = benchfixtures::patternBytes(LargestBody);
    OfdMessage message(QByteArrayLiteral("9999078900004321"));
    for (auto _ : state) {
        const QByteArray container = message.toByteArray(body);
        benchmark::DoNotOptimize(container.constData());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * body.size());
}
BENCHMARK(BM_OfdMessageBuild);

void BM_OfdMessageParse(benchmark::State &state)
{
    const QByteArray container = OfdMessage(QByteArrayLiteral("9999078900004321"))
                                     .toByteArray(benchfixtures::patternBytes(LargestBody));
    const QByteArray header = container.left(OfdMessage::HeaderSize);
    const QByteArray body = container.mid(OfdMessage::HeaderSize);
    for (auto _ : state) {
        OfdMessage message;
        const bool ok = message.parseHeader(header) && message.parseData(body, false);
        if (!ok) {
            state.SkipWithError("container refused");
            break;
        }
    }
    state.SetBytesProcessed(qint64(state.iterations()) * body.size());
}
BENCHMARK(BM_OfdMessageParse);

} // namespace
