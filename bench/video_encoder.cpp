// 240 synthetic frames with screen-like detail (windows, lines of glyphs, a
// scrolling document, a moving pointer) at 1920 x 1080 and 2560 x 1440, in
// H.264 and HEVC: through our encoder path (RGBA frames into the stream's
// encoder, configuration and video frames out), and beside it, in the same
// run, the ffmpeg command line encoding the same raw frames from its
// standard input with the same codec settings and threading. It prints the
// frame rate of each and their ratio, which should be 0.9 or more.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "model/records/stream_records.hpp"
#include "ratio_reporter.hpp"
#include "screen_like_frames.hpp"
#include "screenstream/make_video_encoder.hpp"
#include "screenstream/video_quality.hpp"

namespace {

using zentrabo::RemoteScreenStreamVideoCodec;
using zentrabo::bench::ScreenLikeFrames;

constexpr int frameCount = 240;
constexpr int framesPerSecond = 24;

struct Size {
    int width;
    int height;
    std::int64_t bitrate;
};

constexpr Size fullHd{1920, 1080, 8'000'000};
constexpr Size quadHd{2560, 1440, 12'000'000};

const ScreenLikeFrames& framesOf(Size size) {
    static const ScreenLikeFrames fullHdFrames({fullHd.width, fullHd.height});
    static const ScreenLikeFrames quadHdFrames({quadHd.width, quadHd.height});
    return size.width == fullHd.width ? fullHdFrames : quadHdFrames;
}

bool isHevc(RemoteScreenStreamVideoCodec codec) { return codec == RemoteScreenStreamVideoCodec::hevc; }

void BM_OurEncoderPath(benchmark::State& state, Size size, RemoteScreenStreamVideoCodec codec) {
    const ScreenLikeFrames& frames = framesOf(size);
    zentrabo::RemoteScreenStreamRequest request;
    request.bitrate = size.bitrate;
    request.preferredVideoCodec = codec;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes += zentrabo::bench::encodeThroughOurPath(frames, request, {size.width, size.height}, framesPerSecond,
                                                       frameCount);
    }
    state.counters["fps"] = benchmark::Counter(frameCount, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["kbit/s"] = static_cast<double>(bytes) * 8 / 1000 / (frameCount / framesPerSecond) /
                               static_cast<double>(state.iterations());
}

std::string ffmpegCommand(Size size, RemoteScreenStreamVideoCodec codec) {
    // The same capped constant rate factor as ours.
    char rateFactor[16];
    std::snprintf(rateFactor, sizeof rateFactor, "%.2f",
                  zentrabo::platform::constantRateFactor(zentrabo::streamVideoQuality(codec, size.bitrate)));
    const std::string maximum = std::to_string(size.bitrate / 1000), buffer = std::to_string(size.bitrate / 2000);
    std::string command = "ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt rgba -s " +
                          std::to_string(size.width) + "x" + std::to_string(size.height) + " -r " +
                          std::to_string(framesPerSecond) + " -i - -pix_fmt yuv420p";
    if (isHevc(codec)) {
        command +=
            " -c:v libx265 -preset ultrafast -tune zerolatency -profile:v main -threads 1"
            " -x265-params open-gop=0:info=0:log-level=error:crf=" +
            std::string(rateFactor) + ":vbv-maxrate=" + maximum + ":vbv-bufsize=" + buffer;
    } else {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
        command += " -c:v libx264 -preset veryfast -tune zerolatency -profile:v high -coder cabac -threads " +
                   std::to_string(threads) + " -thread_type slice -crf " + rateFactor + " -maxrate " + maximum +
                   "k -bufsize " + buffer + "k";
    }
    command += " -g " + std::to_string(framesPerSecond) + " -bf 0 -forced-idr 1 -f null -";
    return command;
}

void BM_FfmpegCommandLine(benchmark::State& state, Size size, RemoteScreenStreamVideoCodec codec) {
    const ScreenLikeFrames& frames = framesOf(size);
    const std::string command = ffmpegCommand(size, codec);
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        FILE* ffmpeg = popen(command.c_str(), "w");
        if (ffmpeg == nullptr) {
            state.SkipWithError("ffmpeg could not be started");
            break;
        }
        for (int index = 0; index < frameCount; ++index) {
            frames.draw(index, pixels);
            std::fwrite(pixels.data(), 1, pixels.size(), ffmpeg);
        }
        if (pclose(ffmpeg) != 0) state.SkipWithError("ffmpeg failed");
    }
    state.counters["fps"] = benchmark::Counter(frameCount, benchmark::Counter::kIsIterationInvariantRate);
}

struct Pair {
    const char* name;
    Size size;
    RemoteScreenStreamVideoCodec codec;
};

constexpr Pair pairs[] = {
    {"h264/1920x1080", fullHd, RemoteScreenStreamVideoCodec::h264},
    {"h264/2560x1440", quadHd, RemoteScreenStreamVideoCodec::h264},
    {"hevc/1920x1080", fullHd, RemoteScreenStreamVideoCodec::hevc},
    {"hevc/2560x1440", quadHd, RemoteScreenStreamVideoCodec::hevc},
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const Pair& pair : pairs) {
        framesOf(pair.size);  // drawn once, outside the timings
        benchmark::RegisterBenchmark((std::string("ours/") + pair.name).c_str(), BM_OurEncoderPath, pair.size,
                                     pair.codec)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("ffmpeg/") + pair.name).c_str(), BM_FfmpegCommandLine, pair.size,
                                     pair.codec)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const Pair& pair : pairs) {
        const double ours = reporter.seconds(std::string("ours/") + pair.name + "/iterations:1/real_time");
        const double ffmpeg = reporter.seconds(std::string("ffmpeg/") + pair.name + "/iterations:1/real_time");
        if (ours > 0 && ffmpeg > 0) {
            std::printf("%s: ours %.1f fps, ffmpeg %.1f fps, ratio %.2f (at least 0.9 aimed for)\n", pair.name,
                        frameCount / ours, frameCount / ffmpeg, ffmpeg / ours);
        }
    }
    benchmark::Shutdown();
    return 0;
}
