// A session's real media start on a built desktop and a manual clock: the
// video-only retry when audio cannot be captured, frames reaching the
// device, the stored selection, capture that stops with an error, and an
// application's own audio stream that stops while video goes on.
#include <algorithm>

#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

class CaptureStartTest : public StreamServerTest {
protected:
    platform::DesktopBuilder scenario() override {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 320, 180});
        builder.application("Editor", "com.example.editor").window("Small", {10, 10, 101, 61}).tone(1000);
        return builder;
    }

    void SetUp() override {
        StreamServerTest::SetUp();
        mediaStart = MediaStart::capture;
    }

    static RemoteScreenStreamRequest request(RemoteScreenStreamMode mode) {
        RemoteScreenStreamRequest options;
        options.mode = mode;
        options.framesPerSecond = 10;
        return options;
    }

    // Advances the clock a frame at a time until the client holds count frames.
    bool framesArrive(StreamClient& client, std::size_t count) {
        for (int step = 0; step < 100; ++step) {
            if (client.waitUntil([&] { return client.frames().size() >= count; }, std::chrono::milliseconds(50))) {
                return true;
            }
            clock.advance(0.1);
        }
        return false;
    }

    static std::size_t countOf(const std::vector<RemoteScreenStreamFrame>& frames, RemoteScreenStreamFrameKind kind) {
        return static_cast<std::size_t>(
            std::count_if(frames.begin(), frames.end(), [kind](const auto& frame) { return frame.kind == kind; }));
    }

    static std::vector<RemoteScreenStreamFrameKind> kinds(const std::vector<RemoteScreenStreamFrame>& frames) {
        std::vector<RemoteScreenStreamFrameKind> result;
        for (const auto& frame : frames) result.push_back(frame.kind);
        return result;
    }
};

TEST_F(CaptureStartTest, ARefusedAudioCaptureIsRetriedVideoOnlyWithOneLogLine) {
    desktop->setAudioCaptureFailure("The audio device is gone.");
    auto client = connect(request(RemoteScreenStreamMode::display));
    ASSERT_TRUE(framesArrive(*client, 3));
    const auto frames = client->frames();
    EXPECT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::configuration);
    EXPECT_EQ(frames[1].kind, RemoteScreenStreamFrameKind::video);
    EXPECT_EQ(frames[1].flags, RemoteScreenStreamFrame::keyFrameFlag);
    EXPECT_EQ(frames[1].sequenceNumber, 1u);
    EXPECT_EQ(frames[1].presentationTimeNanoseconds, 0u);
    for (const auto kind : kinds(frames)) EXPECT_NE(kind, RemoteScreenStreamFrameKind::audioConfiguration);
    EXPECT_EQ(home.logCount("Screen stream audio capture failed; retrying video-only: The audio device is gone."), 1u);
    const auto session = started(0).session;
    EXPECT_EQ(session->selection().windowID(), std::nullopt);
    EXPECT_EQ(session->selection().pointerBounds(), (platform::Rect{0, 0, 320, 180}));
}

TEST_F(CaptureStartTest, AStreamWithoutAudioNeedsNoRetry) {
    auto options = request(RemoteScreenStreamMode::frontmostWindow);
    options.capturesAudio = false;
    auto client = connect(options);
    ASSERT_TRUE(framesArrive(*client, 2));
    EXPECT_EQ(home.logCount("retrying video-only"), 0u);
    const auto session = started(0).session;
    EXPECT_TRUE(session->selection().windowID());
    EXPECT_EQ(session->selection().pointerBounds(), (platform::Rect{10, 10, 101, 61}));
}

TEST_F(CaptureStartTest, AnApplicationsOwnAudioStreamThatStopsEndsTheSoundWhileVideoGoesOn) {
    auto options = request(RemoteScreenStreamMode::applicationWindow);
    options.applicationBundleIdentifier = "com.example.editor";
    auto client = connect(options);
    // Ten frames a second, a hundred audio buffers.
    ASSERT_TRUE(framesArrive(*client, 115));
    auto frames = client->frames();
    EXPECT_EQ(countOf(frames, RemoteScreenStreamFrameKind::audioConfiguration), 1u);
    EXPECT_GE(countOf(frames, RemoteScreenStreamFrameKind::audio), 100u);
    EXPECT_GE(countOf(frames, RemoteScreenStreamFrameKind::video), 10u);

    desktop->setAudioCaptureFailure("The audio device is gone.");
    clock.advance(0.1);
    ASSERT_TRUE(client->waitUntil([&] { return home.logCount("app audio capture stopped") == 1; }));
    // Whatever sound was encoded before the stop has been handed to the
    // connection once the encoder queue ran dry, so it arrives before a
    // marker sent then; after the marker only video comes.
    const auto session = started(0).session;
    drain(session->pipeline().encoderQueue());
    session->pipeline().send(marker());
    const std::size_t beforeMarker = framesBeforeMarker(*client).size();
    ASSERT_TRUE(framesArrive(*client, beforeMarker + 1 + 5));
    frames = client->frames();
    const std::vector<RemoteScreenStreamFrame> afterMarker(
        frames.begin() + static_cast<std::ptrdiff_t>(beforeMarker) + 1, frames.end());
    EXPECT_EQ(countOf(afterMarker, RemoteScreenStreamFrameKind::audio), 0u);
    EXPECT_GE(countOf(afterMarker, RemoteScreenStreamFrameKind::video), 5u);
    EXPECT_FALSE(client->isClosed());
    EXPECT_EQ(home.logCount("Screen stream app audio capture stopped: The audio device is gone."), 1u);
}

TEST_F(CaptureStartTest, ScreenRecordingSwitchedOffEndsTheStreamWithAnErrorFrame) {
    auto client = connect(request(RemoteScreenStreamMode::display));
    ASSERT_TRUE(framesArrive(*client, 2));
    desktop->setScreenRecordingAllowed(false);
    ASSERT_TRUE(client->waitUntil([&] {
        clock.advance(0.1);
        const auto frames = client->frames();
        return frames.back().kind == RemoteScreenStreamFrameKind::error;
    }));
    EXPECT_EQ(payloadText(client->frames().back()), "Screen recording is not allowed.");
    EXPECT_TRUE(advanceUntilClosed(*client, 0.1));
}

TEST_F(CaptureStartTest, AStopEndsTheLooksForAnApplicationWindow) {
    auto options = request(RemoteScreenStreamMode::applicationWindow);
    options.applicationBundleIdentifier = "com.example.editor";
    options.applicationWindowID = 4242;
    auto client = connect(options);
    const auto session = started(0).session;
    const auto reopens = [&] {
        const auto entries = desktop->journal();
        return std::count_if(entries.begin(), entries.end(),
                             [](const auto& entry) { return entry.action == "reopen"; });
    };
    // The second look asks for a reopen, then waits again.
    ASSERT_TRUE(waitFor([&] { return clock.pendingCount() == 1; }));
    clock.advance(0.18);
    ASSERT_TRUE(waitFor([&] { return reopens() == 2 && clock.pendingCount() == 1; }));
    session->stop();
    ASSERT_TRUE(waitFor([&] { return clock.pendingCount() == 0; }));
    const auto entries = desktop->journal().size();
    clock.advance(2);
    EXPECT_EQ(desktop->journal().size(), entries);
    EXPECT_TRUE(client->waitUntil([&] { return client->isClosed(); }));
    EXPECT_TRUE(client->frames().empty());
}

}  // namespace
}  // namespace zentrabo::testing
