// The stream after a window resize, on a manual clock: the call runs on the
// session's control queue, the content fetches on the test's main loop, and
// every wait's deadline fires on the main loop once the test has advanced
// the clock, so no row waits for real time.
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "direct_session_fixture.hpp"
#include "model/json/record_json.hpp"
#include "screenstream/capture_start.hpp"
#include "screenstream/codec/remote_screen_stream_receive_buffer.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/remote_screen_audio_encoder.hpp"
#include "support/main_loop_wait.hpp"

namespace zentrabo::testing {
namespace {

using Outcome = RemoteScreenStreamSession::WindowStreamResizeOutcome;

// The desktop's capture stream, with the filters and configurations it was
// given; each kind of update is passed on, refused, or held until the test
// answers it.
class ScriptedCaptureStream final : public platform::CaptureStream {
public:
    enum class Answer { pass, fail, hold };

    explicit ScriptedCaptureStream(std::shared_ptr<platform::CaptureStream> inner) : inner_(std::move(inner)) {}
    void addScreenOutput(asio::any_io_executor executor, ScreenOutput output) override {
        inner_->addScreenOutput(std::move(executor), std::move(output));
    }
    void addAudioOutput(asio::any_io_executor executor, AudioOutput output) override {
        inner_->addAudioOutput(std::move(executor), std::move(output));
    }
    void startCapture(Completion completion) override { inner_->startCapture(std::move(completion)); }
    void stopCapture(Completion completion) override { inner_->stopCapture(std::move(completion)); }
    void updateContentFilter(platform::ContentFilter filter, Completion completion) override {
        {
            std::lock_guard guard(mutex_);
            filters.push_back(filter);
        }
        answer(
            filterAnswer, [this, filter](Completion done) { inner_->updateContentFilter(filter, std::move(done)); },
            std::move(completion));
    }
    void updateConfiguration(platform::StreamConfiguration configuration, Completion completion) override {
        {
            std::lock_guard guard(mutex_);
            configurations.push_back(configuration);
        }
        answer(
            configurationAnswer,
            [this, configuration](Completion done) { inner_->updateConfiguration(configuration, std::move(done)); },
            std::move(completion));
    }

    bool isHolding() {
        std::lock_guard guard(mutex_);
        return static_cast<bool>(held_);
    }
    // Answers the held update: passed on to the desktop's stream, or refused.
    void release(bool refused) {
        std::function<void(bool)> held;
        {
            std::lock_guard guard(mutex_);
            held = std::exchange(held_, nullptr);
        }
        held(refused);
    }

    // Set before the call that updates.
    Answer filterAnswer = Answer::pass;
    Answer configurationAnswer = Answer::pass;
    // Read once the call has returned.
    std::vector<platform::ContentFilter> filters;
    std::vector<platform::StreamConfiguration> configurations;

private:
    void answer(Answer how, std::function<void(Completion)> pass, Completion completion) {
        if (how == Answer::pass) return pass(std::move(completion));
        if (how == Answer::fail) return completion(platform::ScreenCaptureError("The capture refused."));
        std::lock_guard guard(mutex_);
        held_ = [pass = std::move(pass), completion = std::move(completion)](bool refused) {
            if (refused) return completion(platform::ScreenCaptureError("The capture refused."));
            pass(completion);
        };
    }

    std::shared_ptr<platform::CaptureStream> inner_;
    std::mutex mutex_;
    std::function<void(bool)> held_;
};

// Keeps what the session sends, for the sizes its configuration frames
// announce.
class RecordingStreamConnection final : public StreamConnection {
public:
    using StreamConnection::StreamConnection;

    std::vector<std::pair<std::int64_t, std::int64_t>> announcedSizes() {
        RemoteScreenStreamReceiveBuffer buffer;
        {
            std::lock_guard guard(mutex_);
            buffer.append(bytes_);
        }
        std::vector<std::pair<std::int64_t, std::int64_t>> sizes;
        while (const auto frame = RemoteScreenStreamWire::nextFrame(buffer)) {
            if (frame->kind != RemoteScreenStreamFrameKind::configuration) continue;
            const auto payload = decodeRecord<RemoteScreenStreamConfigurationPayload>(
                std::string(frame->payload.begin(), frame->payload.end()));
            sizes.emplace_back(payload.width, payload.height);
        }
        return sizes;
    }

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer) override {
        co_return std::tuple{make_error_code(asio::error::eof), std::size_t{0}};
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer written) override {
        std::lock_guard guard(mutex_);
        const auto* data = static_cast<const std::uint8_t*>(written.data());
        bytes_.insert(bytes_.end(), data, data + written.size());
        co_return std::error_code{};
    }
    void closeTransport(bool) override {}

private:
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
};

class WindowReconfigurationTest : public DirectSessionTest {
public:  // the tables' steps reach in
    struct Setup {
        RemoteScreenStreamRequest request = windowStream();
        double displayScale = 1;
        // Capture runs with a real encoder, frames reaching the session.
        bool captures = false;
        bool hasCaptureStream = true;
        bool stallsFetches = false;
        enum class Sound { none, ridesOnVideo, ownStream } sound = Sound::none;
        std::shared_ptr<StreamConnection> connection;
    };

    static RemoteScreenStreamRequest windowStream() {
        RemoteScreenStreamRequest request;
        request.mode = RemoteScreenStreamMode::applicationWindow;
        request.applicationBundleIdentifier = "com.example.editor";
        return request;
    }

    // The editor's document of 300 x 200 points is streamed.
    void startStream(const Setup& setup) {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1600, 1000}, setup.displayScale);
        builder.application("Editor", "com.example.editor").window("Doc", {100, 100, 300, 200});
        builder.frontmost("com.example.editor");
        start(builder, setup.request, setup.connection,
              setup.stallsFetches ? asio::any_io_executor(stalledPool.get_executor()) : asio::any_io_executor());
        const auto content = *desktop->shareableContent(false, true);
        doc = content.windows.front().windowID;
        const auto selected = *windowContent(doc, content, {}, *desktop);
        session->applySelection(selected);
        platform::StreamConfiguration configuration;
        configuration.width = selected.sourceWidth;
        configuration.height = selected.sourceHeight;
        configuration.minimumFrameInterval = {1, 5};
        stream = std::make_shared<ScriptedCaptureStream>(
            desktop->makeCaptureStream(selected.filter, configuration, [](const platform::ScreenCaptureError&) {}));
        if (setup.captures) {
            stream->addScreenOutput(session->captureQueue().executor(),
                                    [weak = std::weak_ptr(session)](platform::CapturedScreenSample sample) {
                                        if (auto owner = weak.lock()) owner->encodeVideoFrame(std::move(sample));
                                    });
            stream->startCapture([](std::optional<platform::ScreenCaptureError>) {});
            session->setVideoEncoder(makeSessionVideoEncoder(*session, static_cast<int>(selected.sourceWidth),
                                                             static_cast<int>(selected.sourceHeight), 5));
        }
        if (setup.hasCaptureStream) session->setCaptureStream(stream);
        if (setup.sound != Setup::Sound::none) {
            std::shared_ptr<platform::CaptureStream> soundStream;
            if (setup.sound == Setup::Sound::ownStream) {
                soundStream = desktop->makeCaptureStream(selected.filter, configuration,
                                                         [](const platform::ScreenCaptureError&) {});
            }
            session->setAudioCapture(std::make_shared<RemoteScreenAudioEncoder>(2, [](RemoteScreenStreamFrame) {}),
                                     soundStream);
        }
    }

    void resizeDoc(platform::Size size) {
        for (auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() != "com.example.editor") continue;
            const auto element = desktop->applicationElement(application->processIdentifier());
            const auto window =
                std::get<platform::AXElement>(*desktop->copyAttribute(element, "AXFocusedWindow").value);
            ASSERT_EQ(desktop->setAttribute(window, "AXSize", size), platform::axerror::success);
        }
    }

    // The call, on the control queue.
    std::future<Outcome> reconfigure(platform::WindowID windowID, platform::Rect frame,
                                     RemoteScreenResizeWindowRequest request = {}) {
        auto promise = std::make_shared<std::promise<Outcome>>();
        auto future = promise->get_future();
        session->controlQueue().post([owner = session, promise, windowID, frame, request] {
            try {
                promise->set_value(owner->reconfigureStreamForWindowResize(windowID, frame, request));
            } catch (...) {
                promise->set_exception(std::current_exception());
            }
        });
        return future;
    }

    static bool isReady(const std::future<Outcome>& future) {
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    static std::string failureOf(std::future<Outcome>& future) {
        try {
            future.get();
            return "";
        } catch (const std::exception& error) {
            return error.what();
        }
    }

    // Runs the main loop until the call returns, advancing the clock only
    // while the content fetches pause: then the fetches' pause and the
    // refresh's deadline are both pending, and nothing else is.
    bool finishWithoutDeadlines(const std::future<Outcome>& future) {
        for (int pause = 0; pause < 8; ++pause) {
            if (!runMainLoopUntil(mainLoop, [&] { return isReady(future) || clock.pendingCount() >= 2; })) {
                return false;
            }
            if (isReady(future)) return true;
            advance(0.06);
        }
        return false;
    }

    std::optional<std::pair<std::int64_t, std::int64_t>> selectedSize() {
        const auto bounds = session->selectedPointerBounds();
        if (!bounds) return std::nullopt;
        return std::pair{static_cast<std::int64_t>(bounds->width), static_cast<std::int64_t>(bounds->height)};
    }

    // Never run: work posted there never happens.
    asio::io_context stalledPool;
    platform::WindowID doc = 0;
    std::shared_ptr<ScriptedCaptureStream> stream;
};

TEST_F(WindowReconfigurationTest, TheStreamTakesTheResizedWindowsSize) {
    struct Row {
        const char* name;
        Setup setup;
        std::function<void(WindowReconfigurationTest&)> act;
        bool windowVanished;
        platform::Rect frame;
        RemoteScreenResizeWindowRequest resize;
        Outcome outcome;
        std::optional<std::string> logLine;
    };
    const platform::Rect resized{100, 100, 400, 300};
    const auto lagging = [](std::size_t fetches) {
        return [fetches](WindowReconfigurationTest& t) {
            t.desktop->setShareableContentLag(fetches);
            t.resizeDoc({400, 300});
        };
    };
    Setup withMaximum;
    withMaximum.request.maximumPixelDimension = 480;
    Setup doubleScale;
    doubleScale.displayScale = 2;
    Setup soundOnVideo;
    soundOnVideo.sound = Setup::Sound::ridesOnVideo;
    Setup soundOfItsOwn;
    soundOfItsOwn.sound = Setup::Sound::ownStream;
    RemoteScreenResizeWindowRequest clientNative;
    clientNative.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative;
    clientNative.pixelWidth = 1280;
    clientNative.pixelHeight = 720;
    const std::vector<Row> rows = {
        {"the new size shows at the first fetch", {}, lagging(0), false, resized, {}, {400, 1, 400, 300, 400, 300}, {}},
        {"the new size shows at the last fetch", {}, lagging(3), false, resized, {}, {400, 1, 400, 300, 400, 300}, {}},
        {"the size stays off for every fetch",
         {},
         lagging(4),
         false,
         resized,
         {},
         {300, 1, 300, 200, 300, 200},
         "Screen stream window filter refresh used latest available frame 300x200 px after resize; expected about "
         "400x300 px."},
        {"within four pixels counts as resized",
         {},
         [](auto& t) {
             t.resizeDoc({396, 304});
         },
         false,
         resized,
         {},
         {396, 1, 396, 304, 396, 304},
         {}},
        {"pixels of a display of scale 2",
         doubleScale,
         lagging(0),
         false,
         resized,
         {},
         {800, 2, 800, 600, 800, 600},
         {}},
        {"the window vanished", {}, [](auto&) {}, true, resized, {}, {400, 1, 400, 300, 400, 300}, {}},
        {"an odd source is made even",
         {},
         [](auto& t) {
             t.resizeDoc({1001, 601});
         },
         false,
         {100, 100, 1001, 601},
         {},
         {1001, 1, 1001, 601, 1002, 602, true},
         {}},
        {"a smaller maximum never scales a window down",
         withMaximum,
         [](auto& t) {
             t.resizeDoc({1000, 500});
         },
         false,
         {100, 100, 1000, 500},
         {},
         {1000, 1, 1000, 500, 1000, 500},
         {}},
        {"the device's own pixels",
         {},
         lagging(0),
         false,
         resized,
         clientNative,
         {400, 1, 400, 300, 1280, 720, true},
         {}},
        {"sound riding on the video stream",
         soundOnVideo,
         lagging(0),
         false,
         resized,
         {},
         {400, 1, 400, 300, 400, 300},
         {}},
        {"sound on a stream of its own",
         soundOfItsOwn,
         lagging(0),
         false,
         resized,
         {},
         {400, 1, 400, 300, 400, 300},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = logMessages("Screen stream window filter refresh").size();
        startStream(row.setup);
        row.act(*this);
        auto future = reconfigure(row.windowVanished ? doc + 100 : doc, row.frame, row.resize);
        ASSERT_TRUE(finishWithoutDeadlines(future));
        EXPECT_EQ(future.get(), row.outcome);
        ASSERT_EQ(stream->configurations.size(), 1u);
        EXPECT_EQ(stream->configurations[0].width, row.outcome.outputWidth);
        EXPECT_EQ(stream->configurations[0].height, row.outcome.outputHeight);
        EXPECT_EQ(stream->configurations[0].scalesToFit, row.outcome.scalesToFit);
        EXPECT_EQ(stream->configurations[0].capturesAudio, row.setup.sound == Setup::Sound::ridesOnVideo);
        // A vanished window keeps the filter and the selection it had.
        EXPECT_EQ(stream->filters.size(), row.windowVanished ? 0u : 1u);
        EXPECT_EQ(session->selectedWindowID(), doc);
        if (!row.windowVanished) {
            EXPECT_EQ(selectedSize(),
                      std::pair(static_cast<std::int64_t>(row.outcome.sourceWidth / row.outcome.pointPixelScale),
                                static_cast<std::int64_t>(row.outcome.sourceHeight / row.outcome.pointPixelScale)));
        }
        auto lines = logMessages("Screen stream window filter refresh");
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        EXPECT_EQ(lines, row.logLine ? std::vector{*row.logLine} : std::vector<std::string>{});
        session->stop();
    }
}

TEST_F(WindowReconfigurationTest, EachFailureHasItsTextAndEachWaitEndsAtTwoSeconds) {
    using Answer = ScriptedCaptureStream::Answer;
    struct Row {
        const char* name;
        Setup setup;
        Answer filter;
        Answer configuration;
        bool waitsForDeadline;
        std::string message;
    };
    Setup noStream;
    noStream.hasCaptureStream = false;
    Setup stalled;
    stalled.stallsFetches = true;
    const std::vector<Row> rows = {
        {"no capture stream", noStream, Answer::pass, Answer::pass, false, "The stream is no longer running."},
        {"the fetches never run", stalled, Answer::pass, Answer::pass, true,
         "The streamed window filter could not be refreshed in time."},
        {"the filter swap never answers",
         {},
         Answer::hold,
         Answer::pass,
         true,
         "The streamed window filter could not be updated in time."},
        {"the filter swap fails",
         {},
         Answer::fail,
         Answer::pass,
         false,
         "The streamed window filter could not be updated: The capture refused."},
        {"the configuration update never answers",
         {},
         Answer::pass,
         Answer::hold,
         true,
         "The stream could not be resized in time."},
        {"the configuration update fails",
         {},
         Answer::pass,
         Answer::fail,
         false,
         "The stream could not be resized: The capture refused."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startStream(row.setup);
        stream->filterAnswer = row.filter;
        stream->configurationAnswer = row.configuration;
        auto future = reconfigure(doc, {100, 100, 300, 200});
        if (row.waitsForDeadline) {
            // The stalled fetches leave the refresh's deadline alone pending.
            ASSERT_TRUE(runMainLoopUntil(
                mainLoop, [&] { return row.setup.stallsFetches ? clock.pendingCount() == 1 : stream->isHolding(); }));
            advance(1.9375);
            EXPECT_NE(future.wait_for(std::chrono::milliseconds(50)), std::future_status::ready)
                << "ended before its 2 s";
            advance(0.0625);
        }
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return isReady(future); }));
        EXPECT_EQ(failureOf(future), row.message);
        session->stop();
    }
}

TEST_F(WindowReconfigurationTest, AConfigurationUpdateThatAnswersLateStillDecidesTheEncoder) {
    for (const bool stopsFirst : {false, true}) {
        SCOPED_TRACE(stopsFirst ? "the stream stopped meanwhile" : "the stream runs on");
        auto connection = std::make_shared<RecordingStreamConnection>(mainLoop.executor(), clock);
        Setup setup;
        setup.captures = true;
        setup.connection = connection;
        startStream(setup);
        stream->configurationAnswer = ScriptedCaptureStream::Answer::hold;
        resizeDoc({400, 300});
        auto future = reconfigure(doc, {100, 100, 400, 300});
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return stream->isHolding(); }));
        advance(2);
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return isReady(future); }));
        EXPECT_EQ(failureOf(future), "The stream could not be resized in time.");

        if (stopsFirst) session->stop();
        stream->release(false);
        // Frames at the new size reach the new encoder, which announces its
        // size with its first key frame; a stopped stream sends nothing more.
        const auto announcesNewSize = [&connection] {
            const auto sizes = connection->announcedSizes();
            return std::find(sizes.begin(), sizes.end(), std::pair<std::int64_t, std::int64_t>{400, 300}) !=
                   sizes.end();
        };
        bool announced = false;
        for (int frame = 0; frame < (stopsFirst ? 3 : 25) && !announced; ++frame) {
            advance(0.2);
            announced = runMainLoopUntil(mainLoop, announcesNewSize, std::chrono::milliseconds(200));
        }
        EXPECT_EQ(announced, !stopsFirst);
        session->stop();
    }
}

}  // namespace
}  // namespace zentrabo::testing
