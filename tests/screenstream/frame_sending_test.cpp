// Frames the Mac sends on a stream, over real TLS: what admission lets
// through while bytes are queued, how refused video asks the encoder for a
// key frame and a lower bitrate, and how a stalled reader is bounded.
#include <optional>
#include <string>
#include <vector>

#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

constexpr std::size_t header = RemoteScreenStreamWire::headerLength;

RemoteScreenStreamFrame makeFrame(RemoteScreenStreamFrameKind kind, std::size_t payloadSize, bool keyFrame = false) {
    RemoteScreenStreamFrame frame;
    frame.kind = kind;
    frame.flags = keyFrame ? RemoteScreenStreamFrame::keyFrameFlag : 0;
    frame.payload.assign(payloadSize, 0x5A);
    return frame;
}
RemoteScreenStreamFrame keyFrame(std::size_t payloadSize) {
    return makeFrame(RemoteScreenStreamFrameKind::video, payloadSize, true);
}
RemoteScreenStreamFrame predictedFrame(std::size_t payloadSize = 100) {
    return makeFrame(RemoteScreenStreamFrameKind::video, payloadSize);
}

class FrameSendingTest : public StreamServerTest {
protected:
    static RemoteScreenStreamRequest withBitrate(std::optional<std::int64_t> bitrate) {
        RemoteScreenStreamRequest options;
        options.bitrate = bitrate;
        return options;
    }
};

TEST_F(FrameSendingTest, OverTheLimitOrdinaryVideoAndAudioYieldWhileKeyFramesAndRepliesPass) {
    using Kind = RemoteScreenStreamFrameKind;
    struct Row {
        std::optional<std::int64_t> bitrate;
        std::size_t queuedBytes;  // wire bytes of one frame held in its write
        RemoteScreenStreamFrame frame;
        bool sent;
    };
    const std::vector<Row> rows = {
        {std::nullopt, 1500000, predictedFrame(), true},  // at the limit is not over it
        {std::nullopt, 1500001, predictedFrame(), false},
        {std::nullopt, 1500001, makeFrame(Kind::audio, 100), false},
        {std::nullopt, 1500001, keyFrame(100), true},
        {std::nullopt, 1500001, makeFrame(Kind::configuration, 100), true},
        {std::nullopt, 1500001, makeFrame(Kind::commandResult, 100), true},
        {5999999, 1500001, predictedFrame(), false},
        {20000000, 5000000, predictedFrame(), true},
        {20000000, 5000001, predictedFrame(), false},
        {40000000, 8000000, predictedFrame(), true},
        {40000000, 8000001, predictedFrame(), false},
        {100, 1500001, predictedFrame(), false},  // clamped up to 500000
        // Above four times the limit key frames yield too; the rest still pass.
        {std::nullopt, 6000000, keyFrame(100), true},
        {std::nullopt, 6000001, keyFrame(100), false},
        {std::nullopt, 6000001, makeFrame(Kind::configuration, 100), true},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE("row " + std::to_string(index));
        auto client = connect(withBitrate(row.bitrate));
        auto [session, encoder] = started(index);
        ASSERT_TRUE(session);
        connectionOf(*session).holdWrites();
        const auto filler = keyFrame(row.queuedBytes - header);
        session->pipeline().send(filler);
        session->pipeline().send(row.frame);
        connectionOf(*session).releaseWrites();
        session->pipeline().send(marker());
        const auto frames = framesBeforeMarker(*client);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.size(), row.sent ? 2u : 1u);
        if (row.sent && frames.size() == 2) {
            EXPECT_EQ(frames[1], row.frame);
        }
        session->stop();
    }
}

TEST_F(FrameSendingTest, TheThirdRefusedFrameAsksForAKeyFrameAndACutUntilAKeyFrameIsAdmitted) {
    auto client = connect();
    auto [session, encoder] = started(0);
    ASSERT_TRUE(session);
    connectionOf(*session).holdWrites();
    session->pipeline().send(keyFrame(1500001 - header));
    const auto sendAndCount = [&](const RemoteScreenStreamFrame& frame) {
        session->pipeline().send(frame);
        drain(session->pipeline().encoderQueue());
        return std::pair{encoder->keyFrameRequests.load(), encoder->bitrateCuts.load()};
    };
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(0, 0));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(0, 0));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(1, 1));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(2, 2));
    // An admitted key frame starts the count again.
    EXPECT_EQ(sendAndCount(keyFrame(100)), std::pair(2, 2));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(2, 2));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(2, 2));
    EXPECT_EQ(sendAndCount(predictedFrame()), std::pair(3, 3));
}

TEST_F(FrameSendingTest, AStalledReaderHoldsAtMostTheCeilingPlusOneFrameAndVideoResumesWithAKeyFrame) {
    auto client = connect();
    auto [session, encoder] = started(0);
    ASSERT_TRUE(session);
    connectionOf(*session).holdWrites();
    // A key frame a second while nothing drains.
    constexpr std::size_t keyFrameSize = 1000000;
    for (int second = 0; second < 20; ++second) {
        session->pipeline().send(keyFrame(keyFrameSize));
        session->pipeline().send(predictedFrame());
    }
    connectionOf(*session).releaseWrites();
    ASSERT_TRUE(client->waitForFrames(6));
    // Frames after a refused key frame cannot be decoded: until the next key
    // frame none is sent, even with the queue empty again.
    session->pipeline().send(predictedFrame(1));
    session->pipeline().send(keyFrame(2));
    session->pipeline().send(predictedFrame(3));
    session->pipeline().send(marker());
    const auto frames = framesBeforeMarker(*client);
    ASSERT_GE(frames.size(), 2u);
    std::size_t queued = 0;
    for (std::size_t index = 0; index + 2 < frames.size(); ++index) queued += header + frames[index].payload.size();
    EXPECT_LE(queued, 4 * 1500000 + header + keyFrameSize);
    EXPECT_GE(queued, 4 * 1500000);
    EXPECT_EQ(frames[frames.size() - 2], keyFrame(2));
    EXPECT_EQ(frames.back(), predictedFrame(3));
    drain(session->pipeline().encoderQueue());
    EXPECT_GT(encoder->keyFrameRequests.load(), 0);
}

TEST_F(FrameSendingTest, APayloadTooLargeToFrameIsDroppedAndAKeyFrameIsAskedFor) {
    auto client = connect();
    auto [session, encoder] = started(0);
    ASSERT_TRUE(session);
    session->pipeline().send(keyFrame(RemoteScreenStreamWire::maximumPayloadLength + 1));
    session->pipeline().send(marker());
    EXPECT_TRUE(framesBeforeMarker(*client).empty());
    drain(session->pipeline().encoderQueue());
    EXPECT_EQ(encoder->keyFrameRequests.load(), 1);
    EXPECT_NE(home.logText().find("Screen stream frame dropped"), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
