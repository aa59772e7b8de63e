// Resident memory of 1080p30 H.264 streams of the X11 session of $DISPLAY,
// capture and encoding as a stream session runs them (the capture
// configuration a session makes, its encoder, the process's allocator
// setting), a window moving across the screen: the resident set before, with
// one and with eight streams after 20 s of them, its highest seen, and a
// minute after the streams end. The targets: eight streams under 400 MB,
// and back within 50 MB of the start.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "app/process_setup.hpp"
#include "given_x_display.hpp"
#include "moving_x11_window.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/make_video_encoder.hpp"

namespace {

using namespace zentrabo;

constexpr int framesPerSecond = 30;
constexpr auto steadyAfter = std::chrono::seconds(20);
constexpr auto settledAfter = std::chrono::seconds(60);

double residentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// One stream: the session's capture configuration, its encoder on a queue of
// its own, the encoded frames dropped.
struct Stream {
    platform::SerialQueue encoderQueue{"bench-enc"};
    std::shared_ptr<VideoEncoder> encoder;
    std::shared_ptr<platform::CaptureStream> capture;
    std::atomic<long> frames{0};
};

std::unique_ptr<Stream> startStream(platform::X11Desktop& desktop, platform::Clock& clock) {
    auto stream = std::make_unique<Stream>();
    auto& displays = desktop.displays();
    const auto display = displays.mainDisplayID();
    const PixelSize source{displays.pixelsWide(display), displays.pixelsHigh(display)};
    RemoteScreenStreamRequest request;
    request.framesPerSecond = framesPerSecond;
    request.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
    const PixelSize output = captureOutputSize(request, source);
    stream->encoder = makeVideoEncoder(
        request, static_cast<int>(output.width), static_cast<int>(output.height), framesPerSecond,
        [](RemoteScreenStreamFrame) {}, clock);
    auto configuration = captureConfiguration(request, source, output, framesPerSecond);
    configuration.capturesAudio = false;
    stream->capture = desktop.screenCapture().makeCaptureStream(platform::DisplayContentFilter{display}, configuration,
                                                                [](const auto&) {});
    Stream* raw = stream.get();
    stream->capture->addScreenOutput(stream->encoderQueue.executor(), [raw](platform::CapturedScreenSample sample) {
        raw->encoder->encode(
            CapturedVideoFrame{std::move(sample.image), sample.presentationTime, std::move(sample.encoderPicture)});
        ++raw->frames;
    });
    std::atomic<bool> started{false};
    stream->capture->startCapture([&started](auto error) {
        if (error) std::printf("a stream did not start: %s\n", error->what());
        started = true;
    });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return stream;
}

void stop(std::vector<std::unique_ptr<Stream>>& streams) {
    for (auto& stream : streams) {
        std::atomic<bool> stopped{false};
        stream->capture->stopCapture([&stopped](auto) { stopped = true; });
        while (!stopped) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // The encoder finishes and goes on its own queue, after the frames
        // still waiting there.
        std::atomic<bool> finished{false};
        stream->encoderQueue.post([&stream, &finished] {
            stream->encoder->shutdown();
            stream->encoder.reset();
            finished = true;
        });
        while (!finished) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    streams.clear();
}

}  // namespace

int main() {
    keepLargeBuffersOutOfTheHeap();
    const char* display = bench::givenXDisplay("stream memory");
    if (display == nullptr) return 0;
    platform::SystemClock clock;
    std::unique_ptr<platform::X11Desktop> desktop;
    try {
        desktop = platform::X11Desktop::create(display, clock);
    } catch (const platform::X11Error& error) {
        std::printf("stream memory: not measured, %s\n", error.what());
        return 0;
    }
    auto& displays = desktop->displays();
    const bench::MovingX11Window window(display, static_cast<int>(displays.pixelsWide(displays.mainDisplayID())));
    const double start = residentMegabytes();
    std::printf("stream memory, X11 session %s: resident at the start %.0f MB\n", display, start);
    for (const int count : {1, 8}) {
        std::vector<std::unique_ptr<Stream>> streams;
        for (int index = 0; index < count; ++index) streams.push_back(startStream(*desktop, clock));
        double highest = 0;
        const auto until = std::chrono::steady_clock::now() + steadyAfter;
        while (std::chrono::steady_clock::now() < until) {
            highest = std::max(highest, residentMegabytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const double steady = residentMegabytes();
        long frames = 0;
        for (const auto& stream : streams) frames += stream->frames;
        stop(streams);
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + settledAfter);
        const double after = residentMegabytes();
        std::printf(
            "%d x 1080p30 H.264: %.0f MB resident after %lld s (%.0f MB highest, %.1f frames a second a stream); "
            "%.0f MB a minute after they ended (%+.0f MB against the start)\n",
            count, steady, static_cast<long long>(steadyAfter.count()), highest,
            static_cast<double>(frames) / count / static_cast<double>(steadyAfter.count()), after, after - start);
        std::fflush(stdout);
    }
    return 0;
}
