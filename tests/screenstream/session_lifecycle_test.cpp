// How a stream session starts, is reported, ends and is refused, over real
// TLS with a media start and an encoder that are doubles.
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "screenstream/remote_screen_stream_server_error.hpp"
#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

RemoteScreenStreamFrame mediaFrame(std::uint8_t marker) {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::video;
    frame.flags = RemoteScreenStreamFrame::keyFrameFlag;
    frame.payload = {marker};
    return frame;
}

class SessionLifecycleTest : public StreamServerTest {
protected:
    Report reported(std::size_t count) const {
        return {count, count ? std::set{device.fingerprint()} : std::set<std::string>{}};
    }

    // The client's frames once the server has closed the connection: the
    // close comes with the clock, errorFrameCloseDelay after the error frame
    // went out, and not before.
    std::vector<RemoteScreenStreamFrame> framesUntilClosedByClock(StreamClient& client) {
        EXPECT_TRUE(client.waitUntil([&] {
            const auto frames = client.frames();
            return !frames.empty() && frames.back().kind == RemoteScreenStreamFrameKind::error;
        })) << "no error frame";
        // The error frame's completed send schedules the close.
        EXPECT_TRUE(waitFor([&] { return clock.pendingCount() >= 2; }));
        clock.advance(StreamConnection::errorFrameCloseDelay * 0.9);
        EXPECT_FALSE(client.waitUntil([&] { return client.isClosed(); }, std::chrono::milliseconds(50)))
            << "closed before the delay";
        clock.advance(StreamConnection::errorFrameCloseDelay * 0.1);
        EXPECT_TRUE(client.waitUntil([&] { return client.isClosed(); }));
        return client.frames();
    }
};

TEST_F(SessionLifecycleTest, EveryErrorPathSendsItsFrameAfterTheWriteInFlightAndClosesAMomentLater) {
    struct Row {
        const char* path;
        std::function<void(StartedMedia&, StreamClient&)> fail;
        std::string text;
    };
    const std::vector<Row> rows = {
        {"malformed input", [](auto&, StreamClient& client) { client.write(std::string(32, 'x')); },
         "The Mac returned an invalid stream response."},
        {"malformed pointer event",
         [](auto&, StreamClient& client) {
             client.write(frameBytes(RemoteScreenStreamFrameKind::pointerEvent, "short"));
         },
         "The stream pointer event is invalid."},
        {"capture stopped", [](StartedMedia& media, auto&) { media.streams.front()->stopWith("Lost the display."); },
         "Lost the display."},
        {"revoked",
         [this](StartedMedia&, auto&) { streamServer->endSessions(device.fingerprint(), "Not authorized."); },
         "Not authorized."},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE(row.path);
        auto client = connect();
        auto [session, encoder] = started(index);
        ASSERT_TRUE(session);
        ASSERT_TRUE(waitFor([&] { return !reports.empty() && reports.back().count == 1; }));
        const std::size_t reportsBefore = reports.size();
        connectionOf(*session).holdWrites();
        session->pipeline().send(mediaFrame(1));  // in flight
        session->pipeline().send(mediaFrame(2));  // waiting: dropped by the error
        row.fail(*mediaOf(index), *client);
        if (index < 2) {
            // Input is read once the stream runs; wait until the wire error
            // has queued its frame behind the write in flight.
            ASSERT_TRUE(waitFor([&] { return reports.size() > reportsBefore; }));
        }
        connectionOf(*session).releaseWrites();
        const auto frames = framesUntilClosedByClock(*client);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0], mediaFrame(1));
        EXPECT_EQ(payloadText(frames[1]), row.text);
        EXPECT_TRUE(waitFor([&] { return !reports.empty() && reports.back() == reported(0); }));
        drain(session->pipeline().encoderQueue());
        EXPECT_EQ(encoder->shutdowns.load(), 1);
        EXPECT_FALSE(encoder->shutdownOffQueue.load());
    }
}

TEST_F(SessionLifecycleTest, AFailingStartEndsWithItsTextAndIsReportedTwice) {
    struct Row {
        const char* cause;
        std::function<void()> arrange;
        std::string text;
    };
    const std::vector<Row> rows = {
        {"no screen recording", [this] { desktop->setScreenRecordingAllowed(false); },
         RemoteScreenStreamServerError::screenRecordingMissing().message()},
        {"media start fails",
         [this] {
             desktop->setScreenRecordingAllowed(true);
             mediaStart = MediaStart::fail;
         },
         startFailure},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cause);
        row.arrange();
        reports.clear();
        auto client = connect();
        const auto frames = framesUntilClosedByClock(*client);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(payloadText(frames[0]), row.text);
        EXPECT_TRUE(waitFor([&] { return reports.size() == 2; }));
        EXPECT_EQ(reports, (std::vector{reported(1), reported(0)}));
    }
}

TEST_F(SessionLifecycleTest, TwoStreamsOfOneClientAreCountedTwiceUnderOneFingerprint) {
    auto first = connect();
    auto second = connect();
    ASSERT_TRUE(started(1).session);
    ASSERT_TRUE(waitFor([&] { return reports.size() == 2; }));
    EXPECT_EQ(reports, (std::vector{reported(1), reported(2)}));
    // A client that closes its side ends its session.
    first.reset();
    ASSERT_TRUE(waitFor([&] { return reports.size() == 3; }));
    EXPECT_EQ(reports.back(), reported(1));
    EXPECT_FALSE(second->isClosed());
}

TEST_F(SessionLifecycleTest, StopFromTwoThreadsRunsOnceAndCancelsAStartThatWaitsOnTheClock) {
    mediaStart = MediaStart::waitOnClock;
    auto client = connect();
    auto [session, encoder] = started(0);
    ASSERT_TRUE(session);
    ASSERT_TRUE(waitFor([&] { return clock.pendingCount() == 1; }));  // the capture's start
    std::thread other([&] { session->stop(); });
    session->stop();
    other.join();
    EXPECT_TRUE(client->waitUntil([&] { return client->isClosed(); }));
    EXPECT_TRUE(client->frames().empty());
    // The wait is gone, not left to fire an hour later.
    EXPECT_TRUE(waitFor([&] { return clock.pendingCount() == 0; }));
    EXPECT_TRUE(waitFor([&] { return !reports.empty() && reports.back() == reported(0); }));
    drain(session->pipeline().encoderQueue());
    EXPECT_EQ(encoder->shutdowns.load(), 1);
    EXPECT_EQ(mediaOf(0)->streams.front()->stops.load(), 1);
}

TEST_F(SessionLifecycleTest, TheAudioEncoderIsResetAndLetGoOnTheEncoderQueueAfterTheEncodingBeforeIt) {
    struct Row {
        const char* path;
        std::function<void(RemoteScreenStreamSession&, QuietCaptureStream& video, QuietCaptureStream& sound)> end;
        bool streamGoesOn;
    };
    const std::vector<Row> rows = {
        {"stop", [](RemoteScreenStreamSession& session, auto&, auto&) { session.stop(); }, false},
        {"video capture stopped", [](auto&, QuietCaptureStream& video, auto&) { video.stopWith("Lost the display."); },
         false},
        {"audio stream stopped",
         [](auto&, auto&, QuietCaptureStream& sound) { sound.stopWith("The audio device is gone."); }, true},
    };
    soundHasItsOwnStream = true;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE(row.path);
        auto client = connect();
        auto session = started(index).session;
        ASSERT_TRUE(session);
        const auto media = mediaOf(index);
        ASSERT_EQ(media->streams.size(), 2u);
        const auto& record = media->sound;

        // Encoding is busy while the session ends its sound, and a buffer waits behind it.
        std::promise<void> release;
        session->pipeline().encoderQueue().post([gate = release.get_future().share()] { gate.wait(); });
        media->streams[1]->deliverSound();
        row.end(*session, *media->streams[0], *media->streams[1]);
        // A stream the pipeline no longer holds changes nothing.
        media->streams[1]->stopWith("Someone else's sound.");
        EXPECT_EQ(record->resets.load(), 0);
        EXPECT_FALSE(record->freed.load());
        release.set_value();
        drain(session->pipeline().encoderQueue());

        EXPECT_EQ(record->resets.load(), 1);
        EXPECT_EQ(record->encodes.load(), 0);
        EXPECT_TRUE(record->freed.load());
        EXPECT_FALSE(record->touchedOffQueue.load());
        // An error frame's close comes with the clock, counted from the
        // frame, which the session sends from threads of its own.
        if (row.streamGoesOn) {
            clock.advance(StreamConnection::errorFrameDeadline);
            EXPECT_FALSE(client->waitUntil([&] { return client->isClosed(); }, std::chrono::milliseconds(100)));
        } else {
            EXPECT_TRUE(advanceUntilClosed(*client, StreamConnection::errorFrameDeadline));
        }
    }
    EXPECT_EQ(home.logCount("Screen stream app audio capture stopped: The audio device is gone."), 1u);
    EXPECT_EQ(home.logCount("Someone else's sound."), 0u);
}

TEST_F(SessionLifecycleTest, SoundWaitingForTheEncoderIsBoundedAndAFailedBufferIsLoggedWhileTheStreamGoesOn) {
    auto client = connect();
    auto session = started(0).session;
    ASSERT_TRUE(session);
    const auto media = mediaOf(0);
    const auto& record = media->sound;
    record->failure = "Screen streaming encoder failed: Audio converter is unavailable.";
    auto& encoderQueue = session->pipeline().encoderQueue();
    constexpr std::size_t bound = StreamPipeline::maximumAudioBuffersAwaitingEncoder;

    std::promise<void> release;
    encoderQueue.post([gate = release.get_future().share()] { gate.wait(); });
    for (std::size_t count = 0; count < bound + 10; ++count) media->streams.front()->deliverSound();
    release.set_value();
    drain(encoderQueue);
    // Each buffer is tried afresh and logged; the ones past the bound never queued.
    EXPECT_EQ(record->encodes.load(), static_cast<int>(bound));
    EXPECT_EQ(home.logCount("Screen stream audio encode failed: Screen streaming encoder failed: Audio converter is "
                            "unavailable."),
              bound);
    media->streams.front()->deliverSound();
    drain(encoderQueue);
    EXPECT_EQ(record->encodes.load(), static_cast<int>(bound) + 1);
    EXPECT_FALSE(client->waitUntil([&] { return client->isClosed(); }, std::chrono::milliseconds(100)));
}

TEST_F(SessionLifecycleTest, TheNinthStreamIsRefusedUnregisteredAndUnreported) {
    std::vector<std::unique_ptr<StreamClient>> clients;
    for (std::size_t index = 0; index < RemoteScreenStreamServer::maximumSessionCount; ++index) {
        clients.push_back(connect());
        ASSERT_TRUE(started(index).session);
    }
    auto ninth = connect();
    const auto frames = framesUntilClosedByClock(*ninth);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(payloadText(frames[0]), "Too many screen streams are running.");
    ASSERT_TRUE(waitFor([&] { return reports.size() == RemoteScreenStreamServer::maximumSessionCount; }));
    mainLoop.runReady();
    EXPECT_EQ(reports.size(), RemoteScreenStreamServer::maximumSessionCount);
    EXPECT_EQ(reports.back(), reported(RemoteScreenStreamServer::maximumSessionCount));
    // A place that frees up is taken again.
    clients.front().reset();
    ASSERT_TRUE(waitFor(
        [&] { return !reports.empty() && reports.back().count == RemoteScreenStreamServer::maximumSessionCount - 1; }));
    auto tenth = connect();
    EXPECT_TRUE(started(RemoteScreenStreamServer::maximumSessionCount).session);
}

}  // namespace
}  // namespace zentrabo::testing
