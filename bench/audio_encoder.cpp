// Ten seconds of 48 kHz planar stereo float, in 10 ms buffers as capture
// delivers them, through the stream's audio encoder (conversion to
// interleaved 16-bit and framing), and beside it, in the same run, a bare
// conversion loop on the same library over the same buffers. It prints
// microseconds per 10 ms buffer for each; ours should stay under 20 (0.2 %
// of real time).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "ratio_reporter.hpp"
#include "screenstream/remote_screen_audio_encoder.hpp"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr int sampleRate = 48000;
constexpr int channels = 2;
constexpr int framesPerBuffer = sampleRate / 100;
constexpr int bufferCount = 1000;  // ten seconds

// A 440 Hz tone on the left and 660 Hz on the right, cut into buffers.
const std::vector<zentrabo::platform::CapturedAudioSample>& buffers() {
    static const std::vector<zentrabo::platform::CapturedAudioSample> all = [] {
        std::vector<zentrabo::platform::CapturedAudioSample> made(bufferCount);
        for (int index = 0; index < bufferCount; ++index) {
            zentrabo::platform::CapturedAudioSample& buffer = made[index];
            buffer.audio.format = {sampleRate, channels, zentrabo::platform::PcmSampleFormat::float32, false};
            buffer.audio.frameCount = framesPerBuffer;
            buffer.presentationTime = std::chrono::milliseconds(10 * index);
            for (const double frequency : {440.0, 660.0}) {
                std::vector<float> samples(framesPerBuffer);
                for (int frame = 0; frame < framesPerBuffer; ++frame) {
                    const double time = static_cast<double>(index * framesPerBuffer + frame) / sampleRate;
                    samples[frame] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * time));
                }
                std::vector<std::uint8_t> plane(samples.size() * sizeof(float));
                std::memcpy(plane.data(), samples.data(), plane.size());
                buffer.audio.planes.push_back(std::move(plane));
            }
        }
        return made;
    }();
    return all;
}

void BM_OurAudioEncoder(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        zentrabo::RemoteScreenAudioEncoder encoder(
            channels, [&](zentrabo::RemoteScreenStreamFrame frame) { bytes += frame.payload.size(); });
        for (const auto& buffer : buffers()) encoder.encode(buffer);
    }
    benchmark::DoNotOptimize(bytes);
}

void BM_BareConversionLoop(benchmark::State& state) {
    AVChannelLayout stereo{};
    av_channel_layout_default(&stereo, channels);
    std::vector<std::uint8_t> output((framesPerBuffer + 16) * channels * 2);
    std::size_t bytes = 0;
    for (auto _ : state) {
        SwrContext* context = nullptr;
        if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_S16, sampleRate, &stereo, AV_SAMPLE_FMT_FLTP,
                                sampleRate, 0, nullptr) < 0 ||
            swr_init(context) < 0) {
            swr_free(&context);
            state.SkipWithError("the converter could not be made");
            break;
        }
        for (const auto& buffer : buffers()) {
            const std::uint8_t* planes[] = {buffer.audio.planes[0].data(), buffer.audio.planes[1].data()};
            std::uint8_t* outputPlane = output.data();
            const int converted = swr_convert(context, &outputPlane, framesPerBuffer + 16, planes, framesPerBuffer);
            bytes += static_cast<std::size_t>(std::max(converted, 0)) * channels * 2;
        }
        swr_free(&context);
    }
    av_channel_layout_uninit(&stereo);
    benchmark::DoNotOptimize(bytes);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    buffers();  // made once, outside the timings
    benchmark::RegisterBenchmark("ours", BM_OurAudioEncoder)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("bare", BM_BareConversionLoop)->UseRealTime()->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.seconds("ours/real_time");
    const double bare = reporter.seconds("bare/real_time");
    if (ours > 0 && bare > 0) {
        std::printf("per 10 ms buffer: ours %.2f us (under 20 aimed for), bare conversion %.2f us\n",
                    ours * 1e6 / bufferCount, bare * 1e6 / bufferCount);
    }
    benchmark::Shutdown();
    return 0;
}
