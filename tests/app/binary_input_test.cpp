// Remote input on a display stream through the built binary: a click that
// brings a background window's application to the front, pasted text and
// keys answered with command results, frames the device should not send
// ignored, and a malformed pointer event that ends the stream.
#include <algorithm>
#include <string>
#include <vector>

#include "binary_harness.hpp"
#include "model/records/stream_input_wire.hpp"
#include "support/device_request.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using Kind = RemoteScreenStreamFrameKind;

std::string pointerFrame(RemoteScreenPointerEventKind kind, double x, double y) {
    const auto payload = RemoteScreenPointerEventWire::encode({kind, x, y});
    return frameBytes(Kind::pointerEvent, std::string(payload.begin(), payload.end()));
}

class BinaryInputTest : public BinaryServerTest {
protected:
    void SetUp() override {
        writeScenario(home, R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 640, "height": 360}}],
            "applications": [
              {"name": "Notes", "bundleIdentifier": "com.example.notes", "installed": false,
               "windows": [{"title": "Note", "frame": {"x": 40, "y": 30, "width": 200, "height": 120}}]},
              {"name": "Sketch", "bundleIdentifier": "com.example.sketch", "installed": false,
               "windows": [{"title": "Canvas", "frame": {"x": 360, "y": 150, "width": 200, "height": 150}}]}],
            "frontmost": "com.example.notes"})");
        startProcess();
        pairDevice(device);
    }

    std::unique_ptr<StreamClient> displayStream() {
        RemoteScreenStreamRequest options;
        options.framesPerSecond = 5;
        options.capturesAudio = false;
        return openStream(device, port, serverFingerprint, options);
    }

    std::optional<std::string> frontmostApplication() {
        const auto response = send(device, deviceRequest("APPS", "applications"));
        for (const auto& application : response.applications.value_or(std::vector<RemoteApplicationInfo>{})) {
            if (application.isFrontmost) return application.bundleIdentifier;
        }
        return std::nullopt;
    }

    const TestDevice device;
};

TEST_F(BinaryInputTest, AClickBringsABackgroundWindowsApplicationToTheFront) {
    ASSERT_EQ(frontmostApplication(), "com.example.notes");
    auto stream = displayStream();
    // The centre of Sketch's window, as a point of the display's area (1 point in from each edge).
    const double x = (460.0 - 1) / 638, y = (225.0 - 1) / 358;
    // The paste behind it is answered once the click has been applied.
    stream->write(pointerFrame(RemoteScreenPointerEventKind::leftClickAt, x, y) +
                  frameBytes(Kind::pasteText, "after the click"));
    ASSERT_TRUE(stream->waitForCommandResults(1));
    EXPECT_EQ(frontmostApplication(), "com.example.sketch");
    EXPECT_FALSE(stream->isClosed());
}

TEST_F(BinaryInputTest, PasteAndKeysAreAnsweredAndFramesTheDeviceShouldNotSendAreIgnored) {
    auto stream = displayStream();
    RemoteScreenKeyboardEvent unsupported;
    unsupported.key = "hyperdrive";
    const auto keyPayload = RemoteScreenKeyboardEventWire::encode(unsupported);
    stream->write(frameBytes(Kind::pasteText, "Grüße") + frameBytes(Kind::pasteText, "") +
                  frameBytes(Kind::video, "not from a device") + frameBytes(Kind::end, "") +
                  frameBytes(Kind::keyboardEvent, std::string(keyPayload.begin(), keyPayload.end())) +
                  frameBytes(Kind::resizeWindow, R"({"width": 300, "height": 200})"));
    ASSERT_TRUE(stream->waitForCommandResults(4));
    const auto results = stream->commandResults();
    struct Expected {
        RemoteScreenStreamCommandKind command;
        bool succeeded;
        std::optional<std::string> message;
    };
    const std::vector<Expected> expected = {
        {RemoteScreenStreamCommandKind::pasteText, true, std::nullopt},
        {RemoteScreenStreamCommandKind::pasteText, false, "The stream text input is empty."},
        {RemoteScreenStreamCommandKind::keyboardEvent, false, "Unsupported key: hyperdrive"},
        {RemoteScreenStreamCommandKind::resizeWindow, false, "Only app window streams can be resized."},
    };
    ASSERT_EQ(results.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(results[index].command, expected[index].command);
        EXPECT_EQ(results[index].succeeded, expected[index].succeeded);
        EXPECT_EQ(results[index].message, expected[index].message);
    }
    EXPECT_FALSE(stream->isClosed());

    // A pointer payload one byte short ends the stream with its text.
    stream->write(frameBytes(Kind::pointerEvent, std::string(19, '\0')));
    ASSERT_TRUE(stream->waitUntil([&] { return stream->isClosed(); }));
    const auto frames = stream->frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().kind, Kind::error);
    EXPECT_EQ(payloadText(frames.back()), "The stream pointer event is invalid.");
}

}  // namespace
}  // namespace zentrabo::testing
