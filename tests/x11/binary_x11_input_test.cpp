// A display stream's input through the built binary (--desktop x11): keys,
// text, pastes and pointer events reach the test application where they were sent.
#include <gtest/gtest.h>

#include "support/stream_input_rows.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class BinaryX11Input : public BinaryX11Test {};

TEST_F(BinaryX11Input, AStreamsKeysTextAndPointerReachTheApplication) {
    TestApplication application({{{"Input", 400, 300, {{200, 200}}, {}, {}}}});
    const auto window = waitForFrontWindow(application, "Input");
    ASSERT_TRUE(window);
    // The stream shows the main monitor, "Left" (1920 x 2160 at 0,0); a
    // pointer position is a fraction of its area one point in from each edge.
    const auto at = [&](RemoteScreenPointerEventKind kind, int x, int y) {
        const auto payload = RemoteScreenPointerEventWire::encode(
            {kind, (window->x + x - 1) / (1920.0 - 2), (window->y + y - 1) / (2160.0 - 2)});
        return frameBytes(RemoteScreenStreamFrameKind::pointerEvent, std::string(payload.begin(), payload.end()));
    };
    RemoteScreenStreamRequest options;
    options.framesPerSecond = 5;
    options.maximumPixelDimension = 480;
    options.capturesAudio = false;
    auto stream = openStream(phone, port, serverFingerprint, options);
    expectStreamInputArrives(*stream, application, "Input", at, TextOutsideTheLayout::typed);
}

}  // namespace
}  // namespace zentrabo::testing
