// A "screenStream" request that passes every check: its connection goes to
// a stream session of the server's stream server, input written with the
// request included, and revoking the device ends the stream at once.
#include <string>

#include "request_road_fixture.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

// A stream that runs without capture.
asio::awaitable<void> startWithoutMedia(RemoteScreenStreamSession&) { co_return; }

class StreamHandOverTest : public RequestRoadTest {
protected:
    void SetUp() override {
        streamMediaStart = startWithoutMedia;
        RequestRoadTest::SetUp();
    }
};

TEST_F(StreamHandOverTest, InputSentWithTheRequestIsReadAndRevocationEndsTheStream) {
    pairThisClient();
    const auto fingerprint = security().loadOrCreateIdentity(false).fingerprint;
    StreamClient stream(port, security().clientParameters(std::nullopt),
                        streamRequestLine({}) + frameBytes(RemoteScreenStreamFrameKind::keyboardEvent, "{}"));
    // The dispatch runs on the main loop.
    ASSERT_TRUE(runMainLoopUntil([&] { return stream.frames().size() == 1; }));
    const auto result = decodeRecord<RemoteScreenStreamCommandResultPayload>(payloadText(stream.frames()[0]));
    EXPECT_EQ(result.command, RemoteScreenStreamCommandKind::keyboardEvent);
    ASSERT_TRUE(runMainLoopUntil([&] { return *server->streams().activeScreenStreamCount() == 1; }));
    EXPECT_EQ(*server->streams().streamingClientCertificateFingerprints(), std::set{fingerprint});

    server->authorization().revokePairedDevice(fingerprint);
    ASSERT_TRUE(runMainLoopUntil([&] { return stream.frames().size() == 2; }));
    EXPECT_EQ(payloadText(stream.frames()[1]), "Not authorized.");
    EXPECT_TRUE(runMainLoopUntil([&] { return *server->streams().activeScreenStreamCount() == 0; }));
    for (int attempt = 0; attempt < 100 && !stream.isClosed(); ++attempt) {
        clock.advance(StreamConnection::errorFrameCloseDelay);
        stream.waitUntil([&] { return stream.isClosed(); }, std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(stream.isClosed());
}

}  // namespace
}  // namespace zentrabo::testing
