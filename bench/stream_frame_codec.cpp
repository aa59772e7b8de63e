// The stream frame codec. Encoding a 4 MiB video frame beside a bare copy of
// its payload: one copy, so the two should be close. Decoding a received
// chunk of N small input frames: the cost per frame should not grow with N
// (consuming a frame must not move the rest of the chunk).
#include <benchmark/benchmark.h>

#include <vector>

#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace {

using zentrabo::RemoteScreenStreamFrame;
using zentrabo::RemoteScreenStreamFrameKind;
namespace Wire = zentrabo::RemoteScreenStreamWire;

RemoteScreenStreamFrame videoFrame() {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::video;
    frame.flags = RemoteScreenStreamFrame::keyFrameFlag;
    frame.sequenceNumber = 1;
    frame.payload.assign(4 * 1024 * 1024, 0x5A);
    return frame;
}

void BM_PayloadCopyBare(benchmark::State& state) {
    const RemoteScreenStreamFrame frame = videoFrame();
    for (auto _ : state) {
        std::vector<std::uint8_t> copy(frame.payload);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.payload.size()));
}

void BM_EncodeVideoFrame(benchmark::State& state) {
    const RemoteScreenStreamFrame frame = videoFrame();
    for (auto _ : state) {
        auto encoded = Wire::encode(frame);
        benchmark::DoNotOptimize(encoded.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.payload.size()));
}

void BM_DecodeChunkOfPointerFrames(benchmark::State& state) {
    RemoteScreenStreamFrame pointer;
    pointer.kind = RemoteScreenStreamFrameKind::pointerEvent;
    pointer.payload.assign(20, 1);
    const auto one = Wire::encode(pointer);
    std::vector<std::uint8_t> chunk;
    for (std::int64_t index = 0; index < state.range(0); ++index) chunk.insert(chunk.end(), one.begin(), one.end());

    for (auto _ : state) {
        zentrabo::RemoteScreenStreamReceiveBuffer buffer;
        buffer.append(chunk);
        while (auto frame = Wire::nextFrame(buffer)) benchmark::DoNotOptimize(frame->payload.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_PayloadCopyBare);
BENCHMARK(BM_EncodeVideoFrame);
BENCHMARK(BM_DecodeChunkOfPointerFrames)->Arg(64)->Arg(16384);
BENCHMARK_MAIN();
