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
#include "platform/dispatch/manual_clock.hpp"
#include "ratio_reporter.hpp"
#include "screenstream/make_video_encoder.hpp"

namespace {

using zentrabo::RemoteScreenStreamVideoCodec;

constexpr int frameCount = 240;
constexpr int framesPerSecond = 24;

struct Size {
    int width;
    int height;
    std::int64_t bitrate;
};

constexpr Size fullHd{1920, 1080, 8'000'000};
constexpr Size quadHd{2560, 1440, 12'000'000};

// A desktop: a gradient, windows with title bars and lines of glyph-like
// strokes, and a document whose text scrolls a few rows each frame, with a
// pointer that moves. Frame i is drawn from prepared pieces, so drawing costs
// both paths the same few copies.
class ScreenLikeFrames {
public:
    explicit ScreenLikeFrames(Size size) : size_(size), background_(bytes(size.height)), text_(bytes(size.height * 3)) {
        std::mt19937 random(7);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                set(background_, x, y, 40 + y * 80 / size.height, 60 + x * 60 / size.width, 110, 255);
            }
        }
        for (int window = 0; window < 6; ++window) {
            const int left = static_cast<int>(random() % (size.width / 2)),
                      top = static_cast<int>(random() % (size.height / 2));
            const int right = std::min(size.width, left + size.width / 3),
                      bottom = std::min(size.height, top + size.height / 3);
            for (int y = top; y < bottom; ++y) {
                for (int x = left; x < right; ++x) {
                    const bool title = y < top + 28;
                    set(background_, x, y, title ? 210 : 250, title ? 210 : 250, title ? 215 : 250, 255);
                }
            }
            drawGlyphs(background_, left + 12, top + 40, right - 12, bottom - 8, random);
        }
        for (int y = 0; y < size.height * 3; ++y) {
            for (int x = 0; x < documentWidth(); ++x) set(text_, x, y, 255, 255, 255, 255);
        }
        drawGlyphs(text_, 16, 8, documentWidth() - 16, size.height * 3 - 8, random);
    }

    // Draws frame index into pixels (width * height * 4 bytes).
    void draw(int index, std::vector<std::uint8_t>& pixels) const {
        pixels = background_;
        const std::size_t row = static_cast<std::size_t>(size_.width) * 4;
        const int scroll = (index * 6) % (size_.height * 2);
        const int left = size_.width / 2, top = size_.height / 8, height = size_.height * 3 / 4;
        for (int y = 0; y < height; ++y) {
            std::copy_n(&text_[(y + scroll) * row], documentWidth() * 4, &pixels[(top + y) * row + left * 4]);
        }
        const int pointerX = (index * 17) % (size_.width - 16), pointerY = (index * 9) % (size_.height - 24);
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x <= y * 16 / 24; ++x) {
                std::uint8_t* pixel = &pixels[(pointerY + y) * row + (pointerX + x) * 4];
                pixel[0] = pixel[1] = pixel[2] = 0;
            }
        }
    }

private:
    std::vector<std::uint8_t> bytes(int rows) const {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(size_.width) * rows * 4);
    }
    int documentWidth() const { return size_.width * 2 / 5; }
    void set(std::vector<std::uint8_t>& pixels, int x, int y, int r, int g, int b, int a) const {
        std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * size_.width + x) * 4];
        pixel[0] = static_cast<std::uint8_t>(r);
        pixel[1] = static_cast<std::uint8_t>(g);
        pixel[2] = static_cast<std::uint8_t>(b);
        pixel[3] = static_cast<std::uint8_t>(a);
    }
    // Lines of 7 x 11 glyphs made of random strokes, as text looks to an encoder.
    void drawGlyphs(std::vector<std::uint8_t>& pixels, int left, int top, int right, int bottom,
                    std::mt19937& random) const {
        for (int line = top; line + 11 < bottom; line += 18) {
            for (int glyph = left; glyph + 7 < right; glyph += 9) {
                if (random() % 7 == 0) continue;  // a space
                const std::uint32_t strokes = random();
                for (int y = 0; y < 11; ++y) {
                    for (int x = 0; x < 7; ++x) {
                        if ((strokes >> ((x + y * 3) % 32)) & 1) set(pixels, glyph + x, line + y, 20, 20, 30, 255);
                    }
                }
            }
        }
    }

    Size size_;
    std::vector<std::uint8_t> background_;
    std::vector<std::uint8_t> text_;
};

const ScreenLikeFrames& framesOf(Size size) {
    static const ScreenLikeFrames fullHdFrames(fullHd);
    static const ScreenLikeFrames quadHdFrames(quadHd);
    return size.width == fullHd.width ? fullHdFrames : quadHdFrames;
}

bool isHevc(RemoteScreenStreamVideoCodec codec) { return codec == RemoteScreenStreamVideoCodec::hevc; }

void BM_OurEncoderPath(benchmark::State& state, Size size, RemoteScreenStreamVideoCodec codec) {
    const ScreenLikeFrames& frames = framesOf(size);
    zentrabo::platform::ManualClock clock;
    zentrabo::RemoteScreenStreamRequest request;
    request.bitrate = size.bitrate;
    request.preferredVideoCodec = codec;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto encoder = zentrabo::makeVideoEncoder(
            request, size.width, size.height, framesPerSecond,
            [&](zentrabo::RemoteScreenStreamFrame frame) { bytes += frame.payload.size(); }, clock);
        zentrabo::CapturedVideoFrame frame;
        frame.image.width = static_cast<std::uint32_t>(size.width);
        frame.image.height = static_cast<std::uint32_t>(size.height);
        for (int index = 0; index < frameCount; ++index) {
            frames.draw(index, frame.image.pixels);
            frame.presentationTime = std::chrono::nanoseconds(std::int64_t{index} * 1'000'000'000 / framesPerSecond);
            encoder->encode(frame);
        }
        encoder->shutdown();
    }
    state.counters["fps"] = benchmark::Counter(frameCount, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["kbit/s"] = static_cast<double>(bytes) * 8 / 1000 / (frameCount / framesPerSecond) /
                               static_cast<double>(state.iterations());
}

std::string ffmpegCommand(Size size, RemoteScreenStreamVideoCodec codec) {
    const std::string bitrate = std::to_string(size.bitrate);
    std::string command = "ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt rgba -s " +
                          std::to_string(size.width) + "x" + std::to_string(size.height) + " -r " +
                          std::to_string(framesPerSecond) + " -i - -pix_fmt yuv420p";
    if (isHevc(codec)) {
        command +=
            " -c:v libx265 -preset ultrafast -tune zerolatency -profile:v main -threads 1"
            " -x265-params open-gop=0:info=0:log-level=error";
    } else {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
        command += " -c:v libx264 -preset veryfast -tune zerolatency -profile:v high -coder cabac -threads " +
                   std::to_string(threads) + " -thread_type slice";
    }
    command += " -b:v " + bitrate + " -maxrate " + bitrate + " -bufsize " + std::to_string(size.bitrate / 2) + " -g " +
               std::to_string(framesPerSecond) + " -bf 0 -forced-idr 1 -f null -";
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
