// The stream encoder's quality under its bitrate cap, one row per codec and
// quality step (below 20 Mbit/s and from it): five seconds of a moving 1080p
// screen (a scrolling document and a pointer) and five seconds of the same
// screen standing still, through our encoder path at the step's bitrate.
// The moving sequence should stay within the cap (its buffer's half second
// aside) and the still one well below it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "model/records/stream_records.hpp"
#include "platform/media/video_compression_session.hpp"
#include "screen_like_frames.hpp"
#include "screenstream/video_quality.hpp"

namespace {

using zentrabo::RemoteScreenStreamVideoCodec;
using zentrabo::bench::ScreenLikeFrames;

constexpr zentrabo::bench::FrameSize fullHd{1920, 1080};
constexpr int framesPerSecond = 24;
constexpr int seconds = 5;

struct Step {
    const char* name;
    RemoteScreenStreamVideoCodec codec;
    std::int64_t bitrate;
};

constexpr Step steps[] = {
    {"h264/below-20M", RemoteScreenStreamVideoCodec::h264, 8'000'000},
    {"h264/from-20M", RemoteScreenStreamVideoCodec::h264, 20'000'000},
    {"hevc/below-20M", RemoteScreenStreamVideoCodec::hevc, 8'000'000},
    {"hevc/from-20M", RemoteScreenStreamVideoCodec::hevc, 20'000'000},
};

const ScreenLikeFrames& screen() {
    static const ScreenLikeFrames frames(fullHd);
    return frames;
}

// Bits per second of the sequence; a still one repeats its first picture.
double encodedBitrate(const Step& step, bool moving) {
    zentrabo::RemoteScreenStreamRequest request;
    request.bitrate = step.bitrate;
    request.preferredVideoCodec = step.codec;
    const std::size_t bytes = zentrabo::bench::encodeThroughOurPath(screen(), request, fullHd, framesPerSecond,
                                                                    seconds * framesPerSecond, moving);
    return static_cast<double>(bytes) * 8 / seconds;
}

void BM_QualityUnderTheCap(benchmark::State& state, Step step) {
    double moving = 0, still = 0;
    for (auto _ : state) {
        moving = encodedBitrate(step, true);
        still = encodedBitrate(step, false);
    }
    const double cap = static_cast<double>(step.bitrate);
    state.counters["crf"] =
        zentrabo::platform::constantRateFactor(zentrabo::streamVideoQuality(step.codec, step.bitrate));
    state.counters["cap_kbit/s"] = cap / 1000;
    state.counters["moving_kbit/s"] = moving / 1000;
    state.counters["still_kbit/s"] = still / 1000;
    state.counters["moving/cap"] = moving / cap;
    state.counters["still/cap"] = still / cap;
    // The buffer may add half a second at the cap over the whole run.
    if (moving > cap * (1 + 0.5 / seconds)) state.SkipWithError("the moving sequence passed the cap");
    if (still >= cap) state.SkipWithError("the still sequence did not stay below the cap");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    screen();  // drawn once, outside the timings
    for (const Step& step : steps) {
        benchmark::RegisterBenchmark(step.name, BM_QualityUnderTheCap, step)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
