// The device's input on a running stream, over real TLS: however the bytes
// are cut, every frame is handled once and in order, and a flood of input
// is held back by the connection instead of growing memory.
#include <future>
#include <string>
#include <vector>

#include "model/records/stream_input_wire.hpp"
#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Kind = RemoteScreenStreamFrameKind;

std::string pointerFrame() {
    const auto payload = RemoteScreenPointerEventWire::encode({RemoteScreenPointerEventKind::move, 1.5, -2.0});
    return frameBytes(Kind::pointerEvent, std::string(payload.begin(), payload.end()));
}
std::string headPoseFrame() {
    return frameBytes(
        Kind::headPose,
        R"({"yawDelta":0.1,"pitchDelta":0,"rollDelta":0,"mapping":"mouseLook","sensitivityX":1,"sensitivityY":1})");
}

// The commands the client got answers to, in order.
std::vector<RemoteScreenStreamCommandKind> answeredCommands(const StreamClient& client) {
    std::vector<RemoteScreenStreamCommandKind> commands;
    for (const auto& frame : client.frames()) {
        EXPECT_EQ(frame.kind, Kind::commandResult);
        commands.push_back(decodeRecord<RemoteScreenStreamCommandResultPayload>(payloadText(frame)).command);
    }
    return commands;
}

class InboundInputTest : public StreamServerTest {};

TEST_F(InboundInputTest, FramesAreHandledOnceAndInOrderHoweverTheBytesAreCut) {
    // Pointer and head pose are applied without an answer; kinds the Mac
    // sends are consumed; the three commands are answered in arrival order.
    const std::string input = frameBytes(Kind::pasteText, "hello") + pointerFrame() +
                              frameBytes(Kind::keyboardEvent, R"({"key":"a","modifiers":[]})") + headPoseFrame() +
                              frameBytes(Kind::video, "not from a device") + frameBytes(Kind::end, "") +
                              frameBytes(Kind::resizeWindow, R"({"width":640,"height":480})") +
                              frameBytes(Kind::pasteText, "again");
    const std::vector expected = {
        RemoteScreenStreamCommandKind::pasteText, RemoteScreenStreamCommandKind::keyboardEvent,
        RemoteScreenStreamCommandKind::resizeWindow, RemoteScreenStreamCommandKind::pasteText};
    enum class Cut { withTheRequest, oneWrite, byteByByte };
    for (const auto cut : {Cut::withTheRequest, Cut::oneWrite, Cut::byteByByte}) {
        SCOPED_TRACE(static_cast<int>(cut));
        auto client = connect({}, cut == Cut::withTheRequest ? input : "");
        if (cut == Cut::oneWrite) client->write(input);
        if (cut == Cut::byteByByte) {
            for (const char byte : input) client->write(std::string(1, byte));
        }
        ASSERT_TRUE(client->waitForFrames(expected.size()));
        EXPECT_EQ(answeredCommands(*client), expected);
        EXPECT_FALSE(client->isClosed());
    }
}

TEST_F(InboundInputTest, AHeaderAnnouncingTooLargeAPayloadEndsTheStreamWithoutWaitingForIt) {
    auto client = connect();
    ASSERT_TRUE(started(0).session);
    std::string header = frameBytes(Kind::pasteText, "");
    header[8] = 0x02;  // 33554432 + 1 bytes announced
    header[11] = 0x01;
    client->write(header);
    ASSERT_TRUE(client->waitForFrames(1));
    EXPECT_EQ(payloadText(client->frames()[0]), "The Mac returned a stream frame that is too large.");
}

TEST_F(InboundInputTest, AFloodOfPastedTextMeetsBackPressureAndIsAllAnsweredInOrder) {
    auto client = connect();
    auto [session, encoder] = started(0);
    ASSERT_TRUE(session);
    // The control queue is busy: input piles up until the connection stops
    // being read.
    std::promise<void> release;
    auto released = release.get_future().share();
    session->controlQueue().post([released] { released.wait(); });

    const std::string paste =
        frameBytes(Kind::pasteText, std::string(RemoteScreenPasteTextWire::maximumPayloadLength, 'p'));
    constexpr std::size_t frameCount = 400;  // 100 MiB of text
    client->write(paste, frameCount);
    // Wait until the client can write no more.
    std::size_t written = 0;
    for (int stableChecks = 0; stableChecks < 5;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::size_t now = client->bytesWritten();
        stableChecks = now == written ? stableChecks + 1 : 0;
        written = now;
    }
    // What waits for the control queue is bounded; the rest is in socket
    // buffers or still with the client.
    EXPECT_LT(written, 48u * 1024 * 1024);
    release.set_value();
    ASSERT_TRUE(client->waitForFrames(frameCount, std::chrono::seconds(120)));
    EXPECT_EQ(answeredCommands(*client),
              std::vector<RemoteScreenStreamCommandKind>(frameCount, RemoteScreenStreamCommandKind::pasteText));
}

}  // namespace
}  // namespace zentrabo::testing
