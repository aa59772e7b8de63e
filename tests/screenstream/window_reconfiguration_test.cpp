// The stream after a window resize, on a manual clock: the call runs on the
// session's control queue, the content fetches on the test's main loop, and
// each wait's deadline fires on the main loop once the test has advanced
// the clock, so nothing waits for real time to pass.
#include <gmock/gmock.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include "capture_stream_doubles.hpp"
#include "direct_session_fixture.hpp"
#include "support/main_loop_wait.hpp"

namespace zentrabo::testing {
namespace {

using Outcome = WindowStreamResizeOutcome;
using Answer = ScriptedCaptureStream::Answer;

class WindowReconfigurationTest : public DirectSessionTest {
public:  // the tables' steps reach in
    // The editor's document of 300 x 200 points is streamed by a counting
    // encoder; a stalled work pool never runs the content fetches.
    void startStream(RemoteScreenStreamRequest request = {}, bool stallsFetches = false) {
        request.mode = RemoteScreenStreamMode::applicationWindow;
        if (!request.capturesAudio) request.capturesAudio = false;
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1600, 1000});
        builder.application("Editor", "com.example.editor").window("Doc", {100, 100, 300, 200});
        start(builder, request, nullptr, stallsFetches ? stalledPool.get_executor() : asio::any_io_executor());
        const auto content = *desktop->shareableContent(false, true);
        doc = content.windows.front().windowID;
        const auto selected = *windowContent(doc, content, {}, *desktop);
        stream = std::make_shared<ScriptedCaptureStream>(desktop->makeCaptureStream(
            selected.filter, {.width = 300, .height = 200}, [](const platform::ScreenCaptureError&) {}));
        stream->passesStart = false;
        encoder = std::make_shared<CountingVideoEncoder>();
        startPipeline(selected, encoder, stream);
    }

    void resizeDoc(platform::Size size) {
        const auto application = desktop->runningApplications().front();
        const auto window = desktop->applicationWindows(application->processIdentifier()).at(0);
        ASSERT_EQ(desktop->setWindowSize(window.handle, size), platform::axerror::success);
    }

    std::future<Outcome> reconfigure(platform::WindowID windowID, platform::Size size,
                                     RemoteScreenResizeWindowRequest request = {}) {
        auto promise = std::make_shared<std::promise<Outcome>>();
        asio::co_spawn(
            session->controlQueue().executor(),
            reconfigureStreamForWindowResize(session, windowID, {100, 100, size.width, size.height}, request),
            [promise](std::exception_ptr failure, Outcome outcome) {
                if (failure) {
                    promise->set_exception(failure);
                } else {
                    promise->set_value(outcome);
                }
            });
        return promise->get_future();
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

    // The clock moves only while the fetches pause: then that pause and the
    // refresh's deadline are pending, and nothing else is.
    bool finishWithoutDeadlines(const std::future<Outcome>& future) {
        for (int pause = 0; pause < 8; ++pause) {
            if (!runMainLoopUntil(mainLoop, [&] { return isReady(future) || clock.pendingCount() >= 2; })) return false;
            if (isReady(future)) return true;
            advance(0.06);
        }
        return false;
    }

    void drainEncoderQueue() {
        std::promise<void> reached;
        session->pipeline().encoderQueue().post([&] { reached.set_value(); });
        reached.get_future().wait();
    }

    asio::io_context stalledPool;
    platform::WindowID doc = 0;
    std::shared_ptr<ScriptedCaptureStream> stream;
    std::shared_ptr<CountingVideoEncoder> encoder;
};

TEST_F(WindowReconfigurationTest, TheStreamTakesTheResizedWindowsSize) {
    enum class Variation { none, windowOffByFour, windowVanished, maximum480, clientPixels, soundOnVideo };
    struct Row {
        const char* name;
        Variation variation;
        std::size_t contentLag;  // fetches that still see the old size
        platform::Size size;
        Outcome outcome;
        bool logsLatestFrame;
    };
    using enum Variation;
    const std::vector<Row> rows = {
        {"the new size at the first fetch", none, 0, {400, 300}, {400, 1, 400, 300, 400, 300}, false},
        {"the new size at the fourth fetch", none, 3, {400, 300}, {400, 1, 400, 300, 400, 300}, false},
        {"the old size at every fetch", none, 4, {400, 300}, {300, 1, 300, 200, 300, 200}, true},
        {"four pixels off counts as resized", windowOffByFour, 0, {400, 300}, {396, 1, 396, 304, 396, 304}, false},
        {"the window vanished", windowVanished, 0, {400, 300}, {400, 1, 400, 300, 400, 300}, false},
        {"an odd source is made even", none, 0, {1001, 601}, {1001, 1, 1001, 601, 1002, 602, true}, false},
        {"a window is never scaled down", maximum480, 0, {1000, 500}, {1000, 1, 1000, 500, 1000, 500}, false},
        {"the device's own pixels", clientPixels, 0, {400, 300}, {400, 1, 400, 300, 1280, 720, true}, false},
        {"sound riding on the video", soundOnVideo, 0, {400, 300}, {400, 1, 400, 300, 400, 300}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = logMessages("window filter refresh").size();
        RemoteScreenStreamRequest request;
        if (row.variation == maximum480) request.maximumPixelDimension = 480;
        request.capturesAudio = row.variation == soundOnVideo;
        startStream(request);
        RemoteScreenResizeWindowRequest resize;
        if (row.variation == clientPixels) {
            resize = {400, 300, 1280, 720, std::nullopt, RemoteScreenStreamRenderSizingMode::clientNative};
        }
        desktop->setShareableContentLag(row.contentLag);
        if (row.variation == windowOffByFour) {
            resizeDoc({row.size.width - 4, row.size.height + 4});
        } else if (row.variation != windowVanished) {
            resizeDoc(row.size);
        }

        auto future = reconfigure(row.variation == windowVanished ? doc + 100 : doc, row.size, resize);
        ASSERT_TRUE(finishWithoutDeadlines(future));
        EXPECT_EQ(future.get(), row.outcome);
        ASSERT_EQ(stream->configurations.size(), 1u);
        EXPECT_EQ(stream->configurations[0].width, row.outcome.outputWidth);
        EXPECT_EQ(stream->configurations[0].height, row.outcome.outputHeight);
        EXPECT_EQ(stream->configurations[0].capturesAudio, row.variation == soundOnVideo);
        // A vanished window keeps the filter and the selection it had.
        EXPECT_EQ(stream->filters.size(), row.variation == windowVanished ? 0u : 1u);
        EXPECT_EQ(session->selection().windowID(), doc);
        EXPECT_EQ(session->selection().pointerBounds()->width,
                  row.variation == windowVanished ? 300 : row.outcome.sourceWidth);
        auto lines = logMessages("window filter refresh");
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        EXPECT_EQ(lines, row.logsLatestFrame
                             ? std::vector<std::string>{"Screen stream window filter refresh used latest "
                                                        "available frame 300x200 px after resize; "
                                                        "expected about 400x300 px."}
                             : std::vector<std::string>{});
        session->stop();
    }
}

TEST_F(WindowReconfigurationTest, EachFailureHasItsTextAndEachWaitEndsAtTwoSeconds) {
    enum class Fault { noStream, stalledFetches, filterHeld, filterFails, configurationHeld, configurationFails };
    using enum Fault;
    const std::vector<std::pair<Fault, std::string>> rows = {
        {noStream, "The stream is no longer running."},
        {stalledFetches, "The streamed window filter could not be refreshed in time."},
        {filterHeld, "The streamed window filter could not be updated in time."},
        {filterFails, "The streamed window filter could not be updated: The capture refused."},
        {configurationHeld, "The stream could not be resized in time."},
        {configurationFails, "The stream could not be resized: The capture refused."},
    };
    for (const auto& [fault, message] : rows) {
        SCOPED_TRACE(message);
        startStream({}, fault == stalledFetches);
        if (fault == noStream) session->pipeline().stop();
        stream->filterAnswer = fault == filterHeld ? Answer::hold : fault == filterFails ? Answer::fail : Answer::pass;
        stream->configurationAnswer = fault == configurationHeld    ? Answer::hold
                                      : fault == configurationFails ? Answer::fail
                                                                    : Answer::pass;
        auto future = reconfigure(doc, {300, 200});
        if (fault == stalledFetches || fault == filterHeld || fault == configurationHeld) {
            // The wait has begun: the stalled refresh's deadline alone is
            // pending, or an update is held.
            ASSERT_TRUE(runMainLoopUntil(
                mainLoop, [&] { return fault == stalledFetches ? clock.pendingCount() == 1 : stream->isHolding(); }));
            advance(1.9375);
            EXPECT_NE(future.wait_for(std::chrono::milliseconds(50)), std::future_status::ready) << "before 2 s";
            advance(0.0625);
        }
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return isReady(future); }));
        EXPECT_EQ(failureOf(future), message);
        session->stop();
    }
}

TEST_F(WindowReconfigurationTest, AConfigurationUpdateAnsweringAfterItsWaitStillDecidesTheEncoder) {
    struct Row {
        const char* name;
        bool stopsFirst;
        bool refused;
        int oldEncoderShutdowns;
        int keyFramesReachingOldEncoder;
    };
    const std::vector<Row> rows = {
        {"a late success installs the new encoder", false, false, 1, 0},
        {"a late failure keeps the old encoder", false, true, 0, 1},
        {"a stopped stream installs nothing", true, false, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startStream();
        stream->configurationAnswer = Answer::hold;
        resizeDoc({400, 300});
        auto future = reconfigure(doc, {400, 300});
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return stream->isHolding(); }));
        advance(2);
        ASSERT_TRUE(runMainLoopUntil(mainLoop, [&] { return isReady(future); }));
        EXPECT_EQ(failureOf(future), "The stream could not be resized in time.");

        if (row.stopsFirst) session->stop();
        stream->release(row.refused);
        drainEncoderQueue();
        session->pipeline().requestKeyFrame();
        drainEncoderQueue();
        EXPECT_EQ(encoder->shutdowns, row.oldEncoderShutdowns);
        EXPECT_EQ(encoder->keyFrameRequests, row.keyFramesReachingOldEncoder);
        session->stop();
    }
}

}  // namespace
}  // namespace zentrabo::testing
