// A display stream's input through the built binary (--desktop
// gnome-wayland): keys, text, pastes and pointer events reach a Wayland
// window of the test application where they were sent.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "gnome/binary_gnome_fixture.hpp"
#include "support/eventually.hpp"
#include "support/stream_input_rows.hpp"

namespace zentrabo::testing {
namespace {

class BinaryGnomeInput : public BinaryGnomeTest {};

TEST_F(BinaryGnomeInput, AStreamsKeysTextAndPointerReachAWaylandWindow) {
    TestApplication application({.windows = {TestWindowSpec{"Input", 400, 300, {}, {}, {}, false}}});
    ASSERT_TRUE(application.reports().waitFor("mapped", "Input"));
    ASSERT_TRUE(eventually([&] { return shellActivates("Input") && witnessedFrame("Input").has_value(); }));
    RemoteScreenStreamRequest options;
    options.framesPerSecond = 5;
    options.maximumPixelDimension = 480;
    options.capturesAudio = false;
    auto stream = openStream(phone, port, serverFingerprint, options);

    // The stream shows the session's one monitor (1920 x 1080 at 0,0); a
    // pointer position is a fraction of its area one point in from each
    // edge. A Wayland window knows no place of its own: where its client
    // area starts comes from a first click at the frame's middle.
    const auto pointer = [&](RemoteScreenPointerEventKind kind, double x, double y) {
        const auto payload =
            RemoteScreenPointerEventWire::encode({kind, (x - 1) / (1920.0 - 2), (y - 1) / (1080.0 - 2)});
        return frameBytes(RemoteScreenStreamFrameKind::pointerEvent, std::string(payload.begin(), payload.end()));
    };
    const auto frame = witnessedFrame("Input");
    ASSERT_TRUE(frame);
    const double middleX = (*frame)[0] + (*frame)[2] / 2.0, middleY = (*frame)[1] + (*frame)[3] / 2.0;
    stream->write(pointer(RemoteScreenPointerEventKind::leftClickAt, std::round(middleX), std::round(middleY)));
    const auto first = application.reports().waitFor("click", "Input");
    ASSERT_TRUE(first) << "no click arrived";
    const double left = std::round(middleX) - reportedWholeNumber(*first, "x");
    const double top = std::round(middleY) - reportedWholeNumber(*first, "y");
    // Far enough on that the rows' first click is not taken for a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));

    expectStreamInputArrives(
        *stream, application, "Input",
        [&](RemoteScreenPointerEventKind kind, int x, int y) { return pointer(kind, left + x, top + y); },
        TextOutsideTheLayout::pasted);
}

}  // namespace
}  // namespace zentrabo::testing
