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
        std::function<void(RemoteScreenStreamSession&, StreamClient&)> fail;
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
        {"capture stopped",
         [](RemoteScreenStreamSession& session, auto&) { session.videoCaptureStopped("Lost the display."); },
         "Lost the display."},
        {"revoked",
         [this](RemoteScreenStreamSession&, auto&) {
             streamServer->endSessions(device.fingerprint(), "Not authorized.");
         },
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
        session->sendFrame(mediaFrame(1));  // in flight
        session->sendFrame(mediaFrame(2));  // waiting: dropped by the error
        row.fail(*session, *client);
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
        drain(session->encoderQueue());
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
    session->setVideoEncoder(encoder);
    ASSERT_TRUE(waitFor([&] { return clock.pendingCount() == 1; }));  // the start's wait
    std::thread other([&] { session->stop(); });
    session->stop();
    other.join();
    EXPECT_TRUE(client->waitUntil([&] { return client->isClosed(); }));
    EXPECT_TRUE(client->frames().empty());
    // The wait is gone, not left to fire an hour later.
    EXPECT_TRUE(waitFor([&] { return clock.pendingCount() == 0; }));
    EXPECT_TRUE(waitFor([&] { return !reports.empty() && reports.back() == reported(0); }));
    drain(session->encoderQueue());
    EXPECT_EQ(encoder->shutdowns.load(), 1);
    // An encoder that comes after the stop is shut down at once.
    auto late = std::make_shared<FakeVideoEncoder>(session->encoderQueue());
    session->setVideoEncoder(late);
    drain(session->encoderQueue());
    EXPECT_EQ(late->shutdowns.load(), 1);
}

TEST_F(SessionLifecycleTest, TheAudioEncoderIsResetAndLetGoOnTheEncoderQueueAfterTheEncodingBeforeIt) {
    struct Row {
        const char* path;
        std::function<void(RemoteScreenStreamSession&, const platform::CaptureStream& audioStream)> end;
        bool streamGoesOn;
    };
    const std::vector<Row> rows = {
        {"stop", [](RemoteScreenStreamSession& session, auto&) { session.stop(); }, false},
        {"capture torn down", [](RemoteScreenStreamSession& session, auto&) { session.tearDownCapture(); }, true},
        {"audio stream stopped",
         [](RemoteScreenStreamSession& session, const platform::CaptureStream& audioStream) {
             session.audioCaptureStopped(audioStream, "The audio device is gone.");
         },
         true},
    };
    platform::StreamConfiguration configuration;
    configuration.capturesAudio = true;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE(row.path);
        auto client = connect();
        auto session = started(index).session;
        ASSERT_TRUE(session);
        const auto record = std::make_shared<FakeAudioEncoder::Record>();
        const auto audioStream = desktop->makeCaptureStream(platform::DisplayContentFilter{1}, configuration, {});
        const auto stale = desktop->makeCaptureStream(platform::DisplayContentFilter{1}, configuration, {});
        session->setAudioCapture(std::make_shared<FakeAudioEncoder>(session->encoderQueue(), record), audioStream);
        // A stream the session does not hold changes nothing.
        session->audioCaptureStopped(*stale, "Someone else's sound.");

        // Encoding is busy while the session ends its sound, and a buffer waits behind it.
        std::promise<void> release;
        session->encoderQueue().post([gate = release.get_future().share()] { gate.wait(); });
        session->encodeAudioBuffer({});
        row.end(*session, *audioStream);
        EXPECT_EQ(record->resets.load(), 0);
        EXPECT_FALSE(record->freed.load());
        release.set_value();
        drain(session->encoderQueue());

        EXPECT_EQ(record->resets.load(), 1);
        EXPECT_EQ(record->encodes.load(), 0);
        EXPECT_TRUE(record->freed.load());
        EXPECT_FALSE(record->touchedOffQueue.load());
        EXPECT_EQ(client->waitUntil([&] { return client->isClosed(); }, std::chrono::milliseconds(100)),
                  !row.streamGoesOn);
    }
    EXPECT_EQ(home.logCount("Screen stream app audio capture stopped: The audio device is gone."), 1u);
    EXPECT_EQ(home.logCount("Someone else's sound."), 0u);
}

TEST_F(SessionLifecycleTest, SoundWaitingForTheEncoderIsBoundedAndAFailedBufferIsLoggedWhileTheStreamGoesOn) {
    auto client = connect();
    auto session = started(0).session;
    ASSERT_TRUE(session);
    const auto record = std::make_shared<FakeAudioEncoder::Record>();
    record->failure = "Screen streaming encoder failed: Audio converter is unavailable.";
    session->setAudioCapture(std::make_shared<FakeAudioEncoder>(session->encoderQueue(), record), nullptr);

    std::promise<void> release;
    session->encoderQueue().post([gate = release.get_future().share()] { gate.wait(); });
    for (std::size_t count = 0; count < RemoteScreenStreamSession::maximumAudioBuffersAwaitingEncoder + 10; ++count) {
        session->encodeAudioBuffer({});
    }
    release.set_value();
    drain(session->encoderQueue());
    // Each buffer is tried afresh and logged; the ones past the bound never queued.
    EXPECT_EQ(record->encodes.load(), static_cast<int>(RemoteScreenStreamSession::maximumAudioBuffersAwaitingEncoder));
    EXPECT_EQ(home.logCount("Screen stream audio encode failed: Screen streaming encoder failed: Audio converter is "
                            "unavailable."),
              RemoteScreenStreamSession::maximumAudioBuffersAwaitingEncoder);
    session->encodeAudioBuffer({});
    drain(session->encoderQueue());
    EXPECT_EQ(record->encodes.load(),
              static_cast<int>(RemoteScreenStreamSession::maximumAudioBuffersAwaitingEncoder) + 1);
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
