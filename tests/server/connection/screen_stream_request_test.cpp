// A "screenStream" request through the real listener: each refusal is one
// error frame on the request's own connection, except a missing extra
// authorization, which is a reply line.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/binary/big_endian.hpp"
#include "request_road_fixture.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo::testing {
namespace {

// A start that fails the way a capture can, so that a request passing every
// check ends with one error frame.
asio::awaitable<void> startThatFails(RemoteScreenStreamSession&) {
    throw RemoteScreenStreamServerError::captureFailed("no capture here");
    co_return;
}
constexpr const char* failedStartText = "Screen streaming could not start: no capture here";

class ScreenStreamRequestTest : public RequestRoadTest {
protected:
    void SetUp() override {
        streamMediaStart = startThatFails;
        RequestRoadTest::SetUp();
    }

    static std::string streamRequest(const std::string& extraFields) {
        return R"({"id":"S-1","action":"screenStream","clientProtocolVersion":22)" + extraFields + "}\n";
    }
    static constexpr const char* displayOptions = R"(,"screenStream":{"mode":"display"})";

    // Whether the bytes hold one whole frame.
    static bool holdsWholeFrame(const std::string& bytes) {
        if (bytes.size() < RemoteScreenStreamWire::headerLength) return false;
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::uint32_t length = platform::readUInt32({data, bytes.size()}, 8);
        return bytes.size() >= RemoteScreenStreamWire::headerLength + length;
    }

    // What the client received, as long as it is exactly one error frame,
    // the connection closed the short delay after it.
    std::string errorFrameText(std::unique_ptr<RequestClient> client) {
        const std::string bytes = receiveUntilClosed(*client, holdsWholeFrame, StreamConnection::errorFrameCloseDelay);
        RemoteScreenStreamReceiveBuffer buffer;
        buffer.append({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        const auto frame = RemoteScreenStreamWire::nextFrame(buffer);
        if (!frame) {
            ADD_FAILURE() << "no whole frame in " << bytes.size() << " bytes";
            return {};
        }
        EXPECT_TRUE(buffer.empty()) << "nothing after the frame";
        EXPECT_EQ(frame->kind, RemoteScreenStreamFrameKind::error);
        EXPECT_EQ(frame->flags, 0);
        EXPECT_EQ(frame->sequenceNumber, 0u);
        EXPECT_EQ(frame->presentationTimeNanoseconds, 0u);
        EXPECT_EQ(frame->durationNanoseconds, 0u);
        return std::string(frame->payload.begin(), frame->payload.end());
    }
    std::string errorFrameText(const std::string& request) { return errorFrameText(connect({request})); }
};

TEST_F(ScreenStreamRequestTest, AStrangerGetsExactlyTheNotAuthorizedFrameAndNoReplyLine) {
    auto client = connectStranger({streamRequest(displayOptions)});
    const std::string bytes = receiveUntilClosed(*client, holdsWholeFrame, StreamConnection::errorFrameCloseDelay);
    const std::string text = "Not authorized.";
    std::string expected = "HVS1";
    expected += std::string("\x00\x03", 2);          // kind: error
    expected += std::string("\x00\x00", 2);          // flags
    expected += std::string("\x00\x00\x00\x0F", 4);  // payload length
    expected += std::string(16, '\0');               // presentation time, duration
    expected += std::string(4, '\0');                // sequence number
    expected += text;
    EXPECT_EQ(bytes, expected);
    EXPECT_NE(home.logText().find("Processing request: screenStream"), std::string::npos);
    // Refused and audited like any request of an unpaired client.
    ASSERT_EQ(server->authorization().securityAuditEvents()->size(), 1u);
    EXPECT_EQ(server->authorization().securityAuditEvents()->front().message.rfind(
                  "Rejected request from unpaired client", 0),
              0u);
}

TEST_F(ScreenStreamRequestTest, IncompatibleVersionsAreRefusedBeforeAuthorization) {
    EXPECT_EQ(errorFrameText(connectStranger({R"({"id":"S-2","action":"screenStream","clientProtocolVersion":0})"
                                              "\n"})),
              "Update Zentrabo on this device. The Mac server requires a newer client version.");
    pairThisClient();
    EXPECT_EQ(errorFrameText(streamRequest(R"(,"minimumSupportedServerProtocolVersion":23)")),
              "Update Zentrabo Server on this Mac. This action requires a newer server version.");
}

TEST_F(ScreenStreamRequestTest, APairedDeviceIsToldWhatIsMissingOrWhyItsStreamEnded) {
    pairThisClient();
    EXPECT_EQ(errorFrameText(streamRequest("")), "No screen stream request was provided.");
    EXPECT_EQ(errorFrameText(streamRequest(displayOptions)), failedStartText);
    // Malformed options fail the whole request, which gets a reply line.
    const auto malformed = reply(exchange({streamRequest(R"(,"screenStream":{"mode":"everything"})")}));
    EXPECT_FALSE(malformed.ok);
    EXPECT_FALSE(malformed.errorCode.has_value());
}

TEST_F(ScreenStreamRequestTest, AProtectedStreamScopeIsRefusedWithAReplyLineUntilATokenIsShown) {
    pairThisClient();
    ASSERT_TRUE(protectLocalScope(HalvardineExtraAuthorizationScope::stream, "secret"));

    // A reply line, closed one second after it went out like any reply.
    const auto refused = reply(exchange({streamRequest(displayOptions)}));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.id, "S-1");
    EXPECT_EQ(refused.error, "Extra authorization required.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(refused.extraAuthorizationScope, HalvardineExtraAuthorizationScope::stream);

    // The gate comes before the options are looked at.
    EXPECT_EQ(reply(exchange({streamRequest("")})).errorCode, HalvardineErrorCode::extraAuthorizationRequired);

    const auto granted = reply(exchange(
        {R"({"id":"S-3","action":"authorizeExtra","extraAuthorizationScope":"stream","extraAuthorizationPassword":"secret"})"
         "\n"}));
    ASSERT_TRUE(granted.extraAuthorizationToken);
    EXPECT_EQ(errorFrameText(streamRequest(std::string(displayOptions) + R"(,"extraAuthorizationToken":")" +
                                           *granted.extraAuthorizationToken + "\"")),
              failedStartText);
}

}  // namespace
}  // namespace zentrabo::testing
