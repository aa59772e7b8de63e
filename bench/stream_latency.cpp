// Capture to first byte: a 1080p display stream in H.264, captured, encoded
// and sent by a stream session over loopback TLS; for each video frame, the
// time from its capture to the arrival of its first byte at the reader. The
// reference is one frame interval: the p50 should stay under it. Rows: the
// virtual desktop at 24 and at 30 frames a second, and the X11 session of
// $DISPLAY at 30 with a window moving across a desktop-like background (the
// row says so when no display is given or it cannot be reached).
//
// The X11 session's stream also runs against its peer, the ffmpeg command
// line grabbing the same screen at the stream encoder's settings, in
// alternating rounds: drawn to frame received (decoding each picture to see
// where the moving window was drawn) and CPU per frame, each round's ratios
// and their medians. The aims: both at most 1.0. Then the same for a
// frontmost-window stream (Composite) of a managed window holding the moving
// content against a grab of that window's frame; the aim: p50 within 1.1.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/net/tls_connection.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_server.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "bench_tls_identity.hpp"
#include "session_refusal.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "cpu_clock.hpp"
#include "drawn_to_frame.hpp"
#include "ffmpeg_x11grab_peer.hpp"
#include "given_x_display.hpp"
#include "managed_x11_host_window.hpp"
#include "moving_x11_window.hpp"
#include "screen_like_x11_background.hpp"
#include "security/halvardine_security.hpp"
#include "support/temporary_home.hpp"

namespace {

using namespace zentrabo;
using Clock = std::chrono::steady_clock;

constexpr std::size_t measuredFrames = 240;
// The X11 row's output is at most this wide or high: 1080p on a 16:9 display.
constexpr std::int64_t outputLongerSide = 1920;
// The X11 row's bitrate: the cap the ffmpeg peer is given.
constexpr std::int64_t peerBitrate = 8'000'000;
constexpr int peerRounds = 5;
// The window row's managed window: room for the moving window to travel.
constexpr std::uint16_t hostWidth = 1280;
constexpr std::uint16_t hostHeight = 720;
// Pictures of each side's start, decoded but not counted.
constexpr std::size_t warmUpFrames = 30;

using Identity = bench::BenchTlsIdentity;

class TlsStreamConnection final : public StreamConnection {
public:
    TlsStreamConnection(std::shared_ptr<platform::TlsConnection> tls, platform::Clock& clock)
        : StreamConnection(tls->executor(), clock), tls_(std::move(tls)) {}

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer) override {
        co_return co_await tls_->readSome(buffer);
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer) override {
        co_return co_await tls_->writeAll(buffer);
    }
    void closeTransport(bool /*afterFinalMessage*/) override { tls_->close(); }

private:
    std::shared_ptr<platform::TlsConnection> tls_;
};

// The encoder's times count from the first picture it was given; the first
// captured frame's own time on the monotonic scale turns them back into
// capture times. Everything else goes to the desktop measured.
class CaptureTimes final : public platform::ScreenCapture {
public:
    explicit CaptureTimes(platform::ScreenCapture& inner) : inner_(inner) {}

    std::optional<Clock::duration> firstCapture() const {
        const auto nanoseconds = first_->load();
        if (nanoseconds < 0) return std::nullopt;
        return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
    }

    bool preflightAccess() override { return inner_.preflightAccess(); }
    bool requestAccess() override { return inner_.requestAccess(); }
    std::optional<platform::ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override {
        return inner_.shareableContent(excludeDesktopWindows, onScreenOnly);
    }
    std::optional<platform::RgbaImage> displayImage(platform::DisplayID display) override {
        return inner_.displayImage(display);
    }
    std::optional<platform::RgbaImage> windowImage(platform::WindowID window) override {
        return inner_.windowImage(window);
    }
    double pointPixelScale(const platform::ContentFilter& filter) override { return inner_.pointPixelScale(filter); }
    platform::SoundAvailability soundAvailability() override { return inner_.soundAvailability(); }
    void whenStreamSoundChanges(std::function<void(const std::optional<std::string>&)> handler) override {
        inner_.whenStreamSoundChanges(std::move(handler));
    }
    std::shared_ptr<platform::CaptureStream> makeCaptureStream(platform::ContentFilter filter,
                                                               platform::StreamConfiguration configuration,
                                                               platform::CaptureStreamStopHandler onStop) override {
        return std::make_shared<Stream>(
            inner_.makeCaptureStream(std::move(filter), std::move(configuration), std::move(onStop)), first_);
    }

private:
    class Stream final : public platform::CaptureStream {
    public:
        Stream(std::shared_ptr<platform::CaptureStream> inner, std::shared_ptr<std::atomic<std::int64_t>> first)
            : inner_(std::move(inner)), first_(std::move(first)) {}
        // The inner stream may deliver a frame it was capturing while this
        // wrapper goes: the handler owns what it touches.
        void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override {
            inner_->addScreenOutput(std::move(executor), [first = first_, output = std::move(output)](
                                                             platform::CapturedScreenSample sample) {
                std::int64_t none = -1;
                first->compare_exchange_strong(none, sample.presentationTime.count());
                output(std::move(sample));
            });
        }
        void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override {
            inner_->addAudioOutput(std::move(executor), std::move(output));
        }
        void startCapture(Completion completion) override { inner_->startCapture(std::move(completion)); }
        void stopCapture(Completion completion) override { inner_->stopCapture(std::move(completion)); }
        void updateContentFilter(platform::ContentFilter filter, Completion completion) override {
            inner_->updateContentFilter(std::move(filter), std::move(completion));
        }
        void updateConfiguration(platform::StreamConfiguration configuration, Completion completion) override {
            inner_->updateConfiguration(std::move(configuration), std::move(completion));
        }

    private:
        std::shared_ptr<platform::CaptureStream> inner_;
        std::shared_ptr<std::atomic<std::int64_t>> first_;
    };

    platform::ScreenCapture& inner_;
    std::shared_ptr<std::atomic<std::int64_t>> first_ = std::make_shared<std::atomic<std::int64_t>>(-1);
};

class BenchDesktop final : public platform::Desktop {
public:
    explicit BenchDesktop(platform::Desktop& inner) : inner_(inner), capture(inner.screenCapture()) {}
    platform::Workspace& workspace() override { return inner_.workspace(); }
    platform::Accessibility& accessibility() override { return inner_.accessibility(); }
    platform::WindowServer& windowServer() override { return inner_.windowServer(); }
    platform::Displays& displays() override { return inner_.displays(); }
    platform::ScreenCapture& screenCapture() override { return capture; }
    platform::Pasteboard& pasteboard() override { return inner_.pasteboard(); }
    platform::KeyboardLayoutPreferences& keyboardLayout() override { return inner_.keyboardLayout(); }
    platform::EventPoster& eventPoster() override { return inner_.eventPoster(); }
    platform::Clock& clock() override { return inner_.clock(); }

private:
    platform::Desktop& inner_;

public:
    CaptureTimes capture;
};

// Reads the stream and notes when the first byte of each video frame came,
// with the frame's presentation time, and the size the stream announced.
struct Arrival {
    Clock::time_point firstByte;
    std::uint64_t presentationTimeNanoseconds = 0;
};
struct Received {
    std::vector<Arrival> arrivals;
    std::int64_t width = 0;
    std::int64_t height = 0;
    // Kept when the server's CPU is measured: each picture as a viewer
    // decodes it, when it came whole.
    std::vector<bench::ReceivedPicture> pictures;
};

// The server's CPU so far: the process's without the reader's thread and
// without what `excluded` names (the bench's own helpers).
using ExcludedCpu = std::function<std::chrono::nanoseconds()>;

void appendAnnexB(std::vector<std::uint8_t>& annexB, std::span<const std::uint8_t> unit) {
    static constexpr std::uint8_t startCode[] = {0, 0, 0, 1};
    annexB.insert(annexB.end(), std::begin(startCode), std::end(startCode));
    annexB.insert(annexB.end(), unit.begin(), unit.end());
}

// The payload's length-prefixed NAL units as Annex B, behind the parameter
// sets of a configuration just received.
std::vector<std::uint8_t> annexBPicture(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& pending) {
    std::vector<std::uint8_t> annexB = std::move(pending);
    pending.clear();
    for (std::size_t at = 0; at + 4 <= payload.size();) {
        const std::size_t length = (std::size_t{payload[at]} << 24) | (std::size_t{payload[at + 1]} << 16) |
                                   (std::size_t{payload[at + 2]} << 8) | payload[at + 3];
        at += 4;
        if (length > payload.size() - at) break;
        appendAnnexB(annexB, payload.subspan(at, length));
        at += length;
    }
    return annexB;
}

asio::awaitable<void> readFrames(std::uint16_t port, std::shared_ptr<platform::TlsContext> context,
                                 ExcludedCpu excluded, std::promise<Received>& done) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    platform::TlsConnection connection(std::move(socket), context);
    co_await connection.handshake();
    RemoteScreenStreamReceiveBuffer buffer;
    std::vector<std::uint8_t> chunk(256 * 1024);
    Received received;
    auto& arrivals = received.arrivals;
    std::optional<Clock::time_point> frameStart;
    std::vector<std::uint8_t> parameterSets;
    while (arrivals.size() < measuredFrames) {
        const auto [error, count] = co_await connection.readSome(asio::buffer(chunk));
        const auto now = Clock::now();
        if (count > 0 && !frameStart) frameStart = now;
        buffer.append({chunk.data(), count});
        while (auto frame = RemoteScreenStreamWire::nextFrame(buffer)) {
            if (frame->kind == RemoteScreenStreamFrameKind::video) {
                arrivals.push_back({*frameStart, frame->presentationTimeNanoseconds});
                if (excluded) {
                    const auto cpu = bench::processCpu() - bench::currentThreadCpu() - excluded();
                    received.pictures.push_back({now, annexBPicture(frame->payload, parameterSets), cpu});
                }
            } else if (frame->kind == RemoteScreenStreamFrameKind::configuration) {
                const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(
                    std::string_view(reinterpret_cast<const char*>(frame->payload.data()), frame->payload.size()));
                received.width = configuration.width;
                received.height = configuration.height;
                parameterSets.clear();
                appendAnnexB(parameterSets, configuration.sps);
                appendAnnexB(parameterSets, configuration.pps);
            }
            // The next frame began in this read when bytes of it are left.
            frameStart = buffer.empty() ? std::nullopt : std::optional(now);
        }
        if (error) break;
    }
    done.set_value(std::move(received));
}

asio::awaitable<void> handshake(std::shared_ptr<platform::TlsConnection> tls) { co_await tls->handshake(); }

asio::awaitable<void> acceptOne(asio::ip::tcp::acceptor& acceptor, std::shared_ptr<platform::TlsContext> context,
                                std::promise<std::shared_ptr<platform::TlsConnection>>& accepted) {
    asio::ip::tcp::socket socket(asio::make_strand(acceptor.get_executor()));
    co_await acceptor.async_accept(socket, asio::use_awaitable);
    socket.set_option(asio::ip::tcp::no_delay(true));
    auto tls = std::make_shared<platform::TlsConnection>(std::move(socket), std::move(context));
    co_await asio::co_spawn(tls->executor(), handshake(tls), asio::use_awaitable);
    accepted.set_value(tls);
}

// What every row's stream runs on, for the whole run.
struct Rows {
    platform::MainLoop mainLoop;
    platform::SerialQueue network{"bench network"};
    std::deque<BenchDesktop> desktops;
};

// Streams the main display of the desktop with the request's rate and size,
// and prints the row; what arrived, none when nothing did.
std::optional<Received> measure(Rows& rows, const char* what, platform::Desktop& measured, platform::Clock& clock,
                                RemoteScreenStreamRequest request, ExcludedCpu excluded = {}) {
    BenchDesktop& desktop = rows.desktops.emplace_back(measured);
    platform::SerialQueue& network = rows.network;
    const Identity server;
    const Identity client;
    auto streamServer = std::make_shared<RemoteScreenStreamServer>(RemoteScreenStreamServer::Environment{
        clock, rows.mainLoop.executor(), desktop, startCaptureMedia, [](std::size_t, const std::set<std::string>&) {}});

    asio::ip::tcp::acceptor acceptor(network.executor(), {asio::ip::make_address("127.0.0.1"), 0});
    std::promise<std::shared_ptr<platform::TlsConnection>> accepted;
    asio::co_spawn(network.executor(), acceptOne(acceptor, server.context(platform::TlsRole::server), accepted),
                   asio::detached);
    asio::io_context reader;
    std::promise<Received> done;
    asio::co_spawn(reader,
                   readFrames(acceptor.local_endpoint().port(), client.context(platform::TlsRole::client),
                              std::move(excluded), done),
                   asio::detached);
    std::thread readerThread([&reader] { reader.run(); });

    request.preferredVideoCodec = RemoteScreenStreamVideoCodec::h264;
    request.capturesAudio = false;
    auto connection = std::make_shared<TlsStreamConnection>(accepted.get_future().get(), clock);
    asio::post(connection->executor(), [&streamServer, connection, request] {
        bench::exitIfRefused(streamServer->startSession(request, "bench", connection));
    });

    auto received = done.get_future().get();
    const auto first = desktop.capture.firstCapture();
    streamServer.reset();
    reader.stop();
    readerThread.join();
    // The session lets go of its connection last, maybe on its encoder's
    // thread: the row ends when it has, so nothing of it outlives what it
    // runs on.
    const std::weak_ptr<TlsStreamConnection> released = connection;
    connection.reset();
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    while (!released.expired()) {
        if (Clock::now() > giveUp) {
            std::printf("%s: the stream session did not end\n", what);
            std::fflush(stdout);
            std::_Exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!first || received.arrivals.empty()) {
        std::printf("%s: no frames arrived\n", what);
        return std::nullopt;
    }
    std::vector<double> milliseconds;
    for (const auto& arrival : received.arrivals) {
        const auto captured = Clock::time_point(*first) + std::chrono::nanoseconds(arrival.presentationTimeNanoseconds);
        milliseconds.push_back(std::chrono::duration<double, std::milli>(arrival.firstByte - captured).count());
    }
    const double p50 = bench::percentileOf(milliseconds, 0.5);
    const double p99 = bench::percentileOf(milliseconds, 0.99);
    const double interval = 1000.0 / static_cast<double>(request.framesPerSecond.value_or(1));
    std::printf(
        "%s: %lldx%lld H.264 at %lld fps over loopback TLS, %zu frames: capture to first byte p50 %.1f ms, p99 "
        "%.1f ms; p50 / frame interval (%.1f ms) %.2f\n",
        what, static_cast<long long>(received.width), static_cast<long long>(received.height),
        static_cast<long long>(request.framesPerSecond.value_or(0)), received.arrivals.size(), p50, p99, interval,
        p50 / interval);
    return received;
}

RemoteScreenStreamRequest displayStream(std::int64_t framesPerSecond) {
    RemoteScreenStreamRequest request;
    request.framesPerSecond = framesPerSecond;
    return request;
}

// The X11 session of $DISPLAY; none, said in the row, when no display is
// given or it cannot be reached.
std::unique_ptr<platform::X11Desktop> x11Session(platform::Clock& clock) {
    const char* display = bench::givenXDisplay("X11 session");
    if (display == nullptr) return nullptr;
    try {
        return platform::X11Desktop::create(display, clock);
    } catch (const platform::X11Error& error) {
        std::printf("X11 session %s: not measured, %s\n", display, error.what());
        return nullptr;
    }
}

void printDrawnToFrame(const char* who, const std::optional<bench::DrawnToFrame>& figures) {
    if (!figures) {
        std::printf("  %s: the moving window was not found in its pictures\n", who);
        return;
    }
    std::printf("  %s: drawn to frame received p50 %.1f ms, p99 %.1f ms (%zu pictures); CPU %.1f ms a frame\n", who,
                figures->p50Milliseconds, figures->p99Milliseconds, figures->measured,
                figures->cpuPerFrameMilliseconds);
}

// One side of the X11 rows: a stream of the session against its peer
// grabbing the same pixels.
struct PeerComparison {
    std::string what;
    RemoteScreenStreamRequest request;
    bench::GrabRegion region;
    // Where the moving window's parent starts in both sides' pictures.
    bench::PictureOrigin origin;
};

// The stream and its ffmpeg peer in alternating rounds, each round's ratios
// and, when both ran in some, their medians.
bool alternateWithPeer(Rows& rows, platform::X11Desktop& x11, platform::Clock& clock,
                       const bench::MovingX11Window& window, const PeerComparison& comparison) {
    std::string peer;
    for (const auto& argument : bench::ffmpegX11GrabCommand(x11.displayName(), comparison.region)) {
        peer += argument + " ";
    }
    std::printf("%s, against its peer: %s\n", comparison.what.c_str(), peer.c_str());
    std::vector<double> latencyRatios;
    std::vector<double> cpuRatios;
    bool streamed = true;
    for (int round = 0; round < peerRounds; ++round) {
        std::optional<bench::DrawnToFrame> ours;
        std::optional<bench::DrawnToFrame> theirs;
        const auto runOurs = [&] {
            const auto received = measure(rows, comparison.what.c_str(), x11, clock, comparison.request,
                                          [&window] { return window.cpuTime(); });
            streamed = received.has_value() && streamed;
            if (received) ours = bench::drawnToFrame(received->pictures, window, warmUpFrames, comparison.origin);
        };
        const auto runTheirs = [&] {
            theirs = bench::drawnToFrame(bench::runFfmpegX11Grab(x11.displayName(), measuredFrames, comparison.region),
                                         window, warmUpFrames, comparison.origin);
        };
        // The order swaps each round, so neither side always runs second.
        if (round % 2 == 0) {
            runOurs();
            runTheirs();
        } else {
            runTheirs();
            runOurs();
        }
        std::printf("round %d:\n", round + 1);
        printDrawnToFrame("server", ours);
        printDrawnToFrame("ffmpeg", theirs);
        if (!ours || !theirs) continue;
        latencyRatios.push_back(ours->p50Milliseconds / theirs->p50Milliseconds);
        cpuRatios.push_back(ours->cpuPerFrameMilliseconds / theirs->cpuPerFrameMilliseconds);
        std::printf("  server / ffmpeg: p50 %.2f, CPU a frame %.2f\n", latencyRatios.back(), cpuRatios.back());
        std::fflush(stdout);
    }
    if (!latencyRatios.empty()) {
        std::printf(
            "%s: medians of per-round ratios over %zu rounds, server / ffmpeg: drawn to frame p50 %.2f, CPU a "
            "frame %.2f\n",
            comparison.what.c_str(), latencyRatios.size(), bench::percentileOf(latencyRatios, 0.5),
            bench::percentileOf(cpuRatios, 0.5));
    }
    return streamed;
}

// The display stream against a grab of the whole screen (aims: both ratios
// at most 1.0), then a frontmost-window stream of a managed window with the
// moving content inside it against a grab of the window's frame on the
// screen (aim: p50 at most 1.1 times). The window row needs a window
// manager on the display; it says so when there is none.
bool measureAgainstPeer(Rows& rows, platform::X11Desktop& x11, platform::Clock& clock) {
    const bench::ScreenLikeX11Background background(x11.displayName());
    auto& displays = x11.displays();
    auto request = displayStream(30);
    request.maximumPixelDimension = outputLongerSide;
    request.bitrate = peerBitrate;
    bool streamed = false;
    {
        const bench::MovingX11Window window(x11.displayName(),
                                            static_cast<int>(displays.pixelsWide(displays.mainDisplayID())));
        streamed = alternateWithPeer(rows, x11, clock, window,
                                     {"X11 session " + x11.displayName() + ", a window moving", request, {}, {}});
    }
    const bench::ManagedX11HostWindow host(x11.displayName(), hostWidth, hostHeight);
    const auto& frame = host.region();
    if (!frame) {
        std::printf("X11 window stream: not measured, no window manager framed and activated a window\n");
        return streamed;
    }
    const bench::MovingX11Window window(x11.displayName(), hostWidth, host.window());
    request.mode = RemoteScreenStreamMode::frontmostWindow;
    const PeerComparison comparison{"X11 frontmost-window stream " + std::to_string(frame->width) + "x" +
                                        std::to_string(frame->height) + ", its content moving",
                                    request,
                                    {frame->x, frame->y, frame->width, frame->height},
                                    {frame->clientX, frame->clientY}};
    return alternateWithPeer(rows, x11, clock, window, comparison) && streamed;
}

}  // namespace

int main() {
    testing::TemporaryHome home;
    platform::SystemClock clock;
    platform::DesktopBuilder builder;
    builder.display(1, {0, 0, 1920, 1080});
    builder.application("Editor", "com.example.editor").window("Document", {200, 150, 1200, 700});
    const auto virtualDesktop = platform::VirtualDesktop::create(builder.build(), clock);
    const auto x11 = x11Session(clock);
    // After the desktops, so it goes before them.
    Rows rows;
    bool measured = measure(rows, "virtual desktop", *virtualDesktop, clock, displayStream(24)).has_value();
    measured = measure(rows, "virtual desktop", *virtualDesktop, clock, displayStream(30)).has_value() && measured;
    if (x11) measured = measureAgainstPeer(rows, *x11, clock) && measured;
    return measured ? 0 : 1;
}
