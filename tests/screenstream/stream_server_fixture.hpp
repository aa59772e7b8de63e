#pragma once
// A stream server on a manual clock behind a loopback TLS listener of the
// test's own, which reads the request line as the server does and hands the
// connection over; a media start and an encoder that are doubles; and a
// device with the stream client.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "capture_stream_doubles.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/remote_screen_stream_server.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "support/main_loop_wait.hpp"
#include "support/stream_client.hpp"
#include "support/temporary_home.hpp"
#include "support/test_device.hpp"
#include "test_stream_connection.hpp"

namespace zentrabo::testing {

// Counts what the session asks of its encoder, and where shutdown ran.
class FakeVideoEncoder final : public VideoEncoder {
public:
    explicit FakeVideoEncoder(platform::SerialQueue& encoderQueue) : encoderQueue_(encoderQueue) {}
    void encode(const CapturedVideoFrame&) override {}
    void requestKeyFrame() override { ++keyFrameRequests; }
    void reduceBitrateForTransportPressure() override { ++bitrateCuts; }
    void shutdown() override {
        ++shutdowns;
        if (!encoderQueue_.isCurrent()) shutdownOffQueue = true;
    }

    std::atomic<int> keyFrameRequests{0};
    std::atomic<int> bitrateCuts{0};
    std::atomic<int> shutdowns{0};
    std::atomic<bool> shutdownOffQueue{false};

private:
    platform::SerialQueue& encoderQueue_;
};

// Counts what the session asks of its audio encoder and whether any of it,
// its release included, happened off the encoder queue; the counts outlive
// the encoder.
class FakeAudioEncoder final : public AudioEncoder {
public:
    struct Record {
        std::atomic<int> encodes{0};
        std::atomic<int> resets{0};
        std::atomic<bool> freed{false};
        std::atomic<bool> touchedOffQueue{false};
        // Every encode throws this text when set.
        std::optional<std::string> failure;
    };

    FakeAudioEncoder(platform::SerialQueue& encoderQueue, std::shared_ptr<Record> record)
        : encoderQueue_(encoderQueue), record_(std::move(record)) {}
    ~FakeAudioEncoder() override {
        noteThread();
        record_->freed = true;
    }
    void encode(const platform::CapturedAudioSample&) override {
        noteThread();
        ++record_->encodes;
        if (record_->failure) throw std::runtime_error(*record_->failure);
    }
    void reset() override {
        noteThread();
        ++record_->resets;
    }

private:
    void noteThread() {
        if (!encoderQueue_.isCurrent()) record_->touchedOffQueue = true;
    }

    platform::SerialQueue& encoderQueue_;
    std::shared_ptr<Record> record_;
};

class StreamServerTest : public ::testing::Test {
protected:
    // succeed, fail and waitOnClock are doubles (waitOnClock: the capture's
    // start answers an hour later on the clock); capture is the server's own.
    enum class MediaStart { succeed, fail, waitOnClock, capture };
    struct Report {
        std::size_t count;
        std::set<std::string> fingerprints;
        bool operator==(const Report&) const = default;
    };
    struct Started {
        std::shared_ptr<RemoteScreenStreamSession> session;
        std::shared_ptr<FakeVideoEncoder> encoder;
    };
    // The doubles the pipeline of a started session was given.
    struct StartedMedia {
        std::shared_ptr<FakeAudioEncoder::Record> sound = std::make_shared<FakeAudioEncoder::Record>();
        // The video stream first, then the sound's own stream, if any.
        std::vector<std::shared_ptr<QuietCaptureStream>> streams;
    };

    void SetUp() override {
        std::filesystem::create_directories(home.logFolder());
        desktop = platform::VirtualDesktop::create(scenario().build(), clock);
        streamServer = std::make_shared<RemoteScreenStreamServer>(RemoteScreenStreamServer::Environment{
            clock, mainLoop.executor(), serverDesktop(),
            [this](RemoteScreenStreamSession& session) { return startMedia(session); },
            [this](std::size_t count, const std::set<std::string>& fingerprints) {
                reports.push_back({count, fingerprints});
            }});
        acceptor.open(asio::ip::tcp::v4());
        acceptor.bind({asio::ip::make_address("127.0.0.1"), 0});
        acceptor.listen();
        port = acceptor.local_endpoint().port();
        asio::co_spawn(network.executor(), acceptLoop(), asio::detached);
    }

    // The desktop the test runs on.
    virtual platform::DesktopBuilder scenario() { return {}; }
    // What the stream server acts on, once the desktop is made: the desktop.
    virtual platform::Desktop& serverDesktop() { return *desktop; }

    void TearDown() override {
        std::shared_ptr<RemoteScreenStreamServer> stopping;
        std::vector<Started> sessions;
        std::vector<std::shared_ptr<StartedMedia>> media;
        {
            std::lock_guard guard(mutex);
            stopping = std::move(streamServer);
            sessions = std::move(startedSessions);
            media = std::move(startedMedia);
        }
        stopping.reset();
        sessions.clear();
        media.clear();
        // Error frames still waiting close their connections now.
        clock.advance(StreamConnection::errorFrameDeadline);
        std::promise<void> closed;
        // Posted after the closes.
        asio::post(network.executor(), [&] {
            acceptor.close();
            closed.set_value();
        });
        closed.get_future().wait();
    }

    // A device connected with a stream request and, in the same write, extra bytes.
    std::unique_ptr<StreamClient> connect(const RemoteScreenStreamRequest& options = {}, std::string sentAlong = "") {
        return std::make_unique<StreamClient>(port, device.tlsContext(platform::TlsRole::client, server.fingerprint()),
                                              streamRequestLine(options) + sentAlong);
    }

    // The index-th session the media start saw (from 0), once it has started.
    Started started(std::size_t index) {
        const bool arrived = waitFor([&] {
            std::lock_guard guard(mutex);
            return startedSessions.size() > index;
        });
        EXPECT_TRUE(arrived) << "no session " << index;
        if (!arrived) return {};
        std::lock_guard guard(mutex);
        return startedSessions[index];
    }

    // The doubles of the index-th session, once it has started.
    std::shared_ptr<StartedMedia> mediaOf(std::size_t index) {
        if (!started(index).session) return std::make_shared<StartedMedia>();
        std::lock_guard guard(mutex);
        return startedMedia[index];
    }

    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return runMainLoopUntil(mainLoop, condition, limit);
    }

    // A frame every admission lets through: sent after other frames, it
    // arrives after all of them.
    static RemoteScreenStreamFrame marker() {
        RemoteScreenStreamFrame frame;
        frame.kind = RemoteScreenStreamFrameKind::configuration;
        frame.payload = {'e', 'n', 'd'};
        return frame;
    }
    // The frames the client got before the marker, once it came.
    static std::vector<RemoteScreenStreamFrame> framesBeforeMarker(const StreamClient& client) {
        std::vector<RemoteScreenStreamFrame> frames;
        auto markerAt = frames.end();
        EXPECT_TRUE(client.waitUntil([&] {
            frames = client.frames();
            markerAt = std::find(frames.begin(), frames.end(), marker());
            return markerAt != frames.end();
        })) << "no marker";
        frames.erase(markerAt, frames.end());
        return frames;
    }

    // Waits until the queue has run everything posted to it before.
    template <class Queue>
    static void drain(Queue& queue) {
        std::promise<void> reached;
        queue.post([&] { reached.set_value(); });
        reached.get_future().wait();
    }

    static TestStreamConnection& connectionOf(RemoteScreenStreamSession& session) {
        return dynamic_cast<TestStreamConnection&>(session.connection());
    }

    // Advances the clock in small steps until the client sees the close.
    bool advanceUntilClosed(const StreamClient& client, double step) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            clock.advance(step);
            if (client.waitUntil([&] { return client.isClosed(); }, std::chrono::milliseconds(20))) return true;
        }
        return false;
    }

    // First, so that it goes last: every connection belongs to its context.
    platform::SerialQueue network{"test network"};
    asio::ip::tcp::acceptor acceptor{network.executor()};
    std::uint16_t port = 0;
    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    std::shared_ptr<platform::VirtualDesktop> desktop;
    TestDevice server;
    TestDevice device;
    MediaStart mediaStart = MediaStart::succeed;
    // With the doubles, sound has a capture stream of its own.
    bool soundHasItsOwnStream = false;
    std::string startFailure = "The requested monitor is not available.";
    std::shared_ptr<RemoteScreenStreamServer> streamServer;
    std::vector<Report> reports;  // main loop only

    std::mutex mutex;
    std::vector<Started> startedSessions;
    std::vector<std::shared_ptr<StartedMedia>> startedMedia;

private:
    // The display, with the doubles as its stages.
    asio::awaitable<void> startDoubles(RemoteScreenStreamSession& session, std::shared_ptr<FakeVideoEncoder> encoder,
                                       std::shared_ptr<StartedMedia> media, double startSeconds) {
        SelectedContent selected;
        selected.filter = platform::DisplayContentFilter{1};
        selected.sourceWidth = 1280;
        selected.sourceHeight = 720;
        selected.pointerBounds = {0, 0, 1280, 720};
        if (soundHasItsOwnStream) selected.audioFilter = platform::ApplicationContentFilter{1, 1};
        auto& encoderQueue = session.pipeline().encoderQueue();
        StreamStages stages{
            [encoder](auto&&...) -> std::shared_ptr<VideoEncoder> { return encoder; },
            [&encoderQueue, media](int, EncodedFrameHandler) -> std::shared_ptr<AudioEncoder> {
                return std::make_shared<FakeAudioEncoder>(encoderQueue, media->sound);
            },
            [this, media, startSeconds](const platform::ContentFilter&, const platform::StreamConfiguration&,
                                        platform::CaptureStreamStopHandler onStop) {
                auto stream =
                    std::make_shared<QuietCaptureStream>(std::move(onStop), clock, startSeconds, mainLoop.executor());
                std::lock_guard guard(mutex);
                media->streams.push_back(stream);
                return stream;
            }};
        auto start = session.pipeline().start(selected, std::move(stages));
        co_await std::move(start);
    }

    asio::awaitable<void> startMedia(RemoteScreenStreamSession& session) {
        auto encoder = std::make_shared<FakeVideoEncoder>(session.pipeline().encoderQueue());
        auto media = std::make_shared<StartedMedia>();
        const auto note = [&] {
            std::lock_guard guard(mutex);
            startedSessions.push_back({session.shared_from_this(), encoder});
            startedMedia.push_back(media);
        };
        switch (mediaStart) {
        case MediaStart::succeed:
            // Noted once started, so a test finds the stages made.
            co_await startDoubles(session, encoder, media, 0);
            note();
            break;
        case MediaStart::fail:
            note();
            throw std::runtime_error(startFailure);
        case MediaStart::waitOnClock:
            note();
            co_await startDoubles(session, encoder, media, 3600);
            break;
        case MediaStart::capture:
            note();
            co_await startCaptureMedia(session);
            break;
        }
    }

    asio::awaitable<void> acceptLoop() {
        for (;;) {
            asio::ip::tcp::socket socket(asio::make_strand(network.executor()));
            std::error_code error;
            co_await acceptor.async_accept(socket, asio::redirect_error(asio::use_awaitable, error));
            if (error) co_return;
            auto executor = socket.get_executor();
            auto tls = std::make_shared<platform::TlsConnection>(std::move(socket),
                                                                 server.tlsContext(platform::TlsRole::server));
            asio::co_spawn(executor, handOver(std::move(tls)), asio::detached);
        }
    }

    // As the server's connection does: handshake, read the request line,
    // hand the connection and the bytes read past the line to the stream server,
    // or answer its refusal with the error frame.
    asio::awaitable<void> handOver(std::shared_ptr<platform::TlsConnection> tls) {
        if (co_await tls->handshake()) co_return;
        std::string received;
        std::vector<char> chunk(65536);
        std::size_t lineEnd = std::string::npos;
        while (lineEnd == std::string::npos) {
            const auto [error, count] = co_await tls->readSome(asio::buffer(chunk));
            received.append(chunk.data(), count);
            lineEnd = received.find('\n');
            if (error) break;
        }
        if (lineEnd == std::string::npos) co_return;
        const auto request = decodeRecord<HalvardineRequest>(std::string_view(received).substr(0, lineEnd));
        const auto fingerprint = tls->peerCertificateFingerprint().value_or("");
        auto connection = std::make_shared<TestStreamConnection>(
            std::move(tls), clock, std::vector<std::uint8_t>(received.begin() + lineEnd + 1, received.end()));
        const auto target = currentStreamServer();
        if (!target) co_return;
        if (const auto refused = target->startSession(*request.screenStream, fingerprint, connection)) {
            connection->sendScreenStreamError(*refused);
        }
    }

    std::shared_ptr<RemoteScreenStreamServer> currentStreamServer() {
        std::lock_guard guard(mutex);
        return streamServer;
    }
};

}  // namespace zentrabo::testing
