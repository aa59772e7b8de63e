// A display stream's input through the built binary (--desktop x11): keys,
// text, pastes and pointer events reach the test application where they were sent.
#include <gtest/gtest.h>

#include <string>

#include "model/records/stream_input_wire.hpp"
#include "support/input_report_summary.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using Kind = RemoteScreenStreamFrameKind;
using Pointer = RemoteScreenPointerEventKind;

std::string keyFrame(const std::string& key, std::vector<std::string> modifiers, std::optional<std::string> characters,
                     std::optional<bool> prefersTextInsertion) {
    const auto payload =
        RemoteScreenKeyboardEventWire::encode({key, std::move(modifiers), std::move(characters), prefersTextInsertion});
    return frameBytes(Kind::keyboardEvent, std::string(payload.begin(), payload.end()));
}

class BinaryX11Input : public BinaryX11Test {};

TEST_F(BinaryX11Input, AStreamsKeysTextAndPointerReachTheApplication) {
    TestApplication application({{{"Input", 400, 300, {{200, 200}}, {}, {}}}});
    const auto window = waitForFrontWindow(application, "Input");
    ASSERT_TRUE(window);
    // The stream shows the main monitor, "Left" (1920 x 2160 at 0,0); a
    // pointer position is a fraction of its area one point in from each edge.
    const auto at = [&](Pointer kind, int x, int y) {
        const auto payload = RemoteScreenPointerEventWire::encode(
            {kind, (window->x + x - 1) / (1920.0 - 2), (window->y + y - 1) / (2160.0 - 2)});
        return frameBytes(Kind::pointerEvent, std::string(payload.begin(), payload.end()));
    };
    RemoteScreenStreamRequest options;
    options.framesPerSecond = 5;
    options.maximumPixelDimension = 480;
    options.capturesAudio = false;
    auto stream = openStream(phone, port, serverFingerprint, options);

    struct Row {
        const char* what;
        std::string frames;
        const char* event;
        std::string expected;
    };
    // Text first: the keys after it commit text of their own.
    const Row rows[] = {
        {"text", keyFrame("e", {}, "é€", true), "text", "text é€"},
        {"a key", keyFrame("a", {}, "a", false), "key", "press a"},
        {"command on a key", keyFrame("a", {"cmd"}, "a", true), "key", "press a+control"},
        {"a named key", keyFrame("return", {}, std::nullopt, std::nullopt), "key", "press Return"},
        {"a click", at(Pointer::leftClickAt, 60, 50), "click", "press 1@60,50#1"},
        {"a right click", at(Pointer::rightClickAt, 300, 220), "click", "press 3@300,220#1"},
        {"a double click", at(Pointer::leftDoubleClickAt, 120, 90), "click", "press 1@120,90#2"},
        {"a scroll where the pointer is",
         frameBytes(Kind::pointerEvent,
                    [] {
                        const auto payload = RemoteScreenPointerEventWire::encode({Pointer::scroll, 0, 40});
                        return std::string(payload.begin(), payload.end());
                    }()),
         "scroll", "scroll up@120,90"},
        {"a paste", frameBytes(Kind::pasteText, "Grüße"), "paste", "paste Grüße"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        stream->write(row.frames);
        // Text comes a commit (a character) at a time.
        const bool joined = std::string(row.event) == "text";
        std::vector<std::string> seen;
        for (;;) {
            const auto report = application.reports().waitFor(row.event, "Input");
            if (!report) break;
            seen.push_back(joined && !seen.empty() ? seen.back() + report->text("text").value_or("")
                                                   : inputReportSummary(*report));
            if (seen.back() == row.expected) break;
        }
        ASSERT_FALSE(seen.empty()) << "nothing arrived";
        EXPECT_EQ(seen.back(), row.expected);
    }
    EXPECT_FALSE(stream->isClosed());
}

}  // namespace
}  // namespace zentrabo::testing
