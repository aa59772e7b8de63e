#pragma once
// What a content filter shows on an X11 session at one moment, at its own
// size: a monitor's part of the root through MIT-SHM, one window's frame
// through Composite, or an application's windows composed in stacking order
// on a black canvas the size of the monitor. It has a connection of its own,
// on which the root's subwindows stay redirected while it lasts, takes its
// pictures through the display's shared-memory segment, which the display's
// other sources take turns on, and keeps one canvas.
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11CaptureSource {
public:
    // Throws X11Error when the display cannot be reached.
    X11CaptureSource(const std::string& display, std::shared_ptr<ShmSegmentShare> segment);

    // Held from before a capture until its pixels have been read.
    [[nodiscard]] std::unique_lock<std::mutex> hold() { return pictures_.hold(); }
    // The filter's pixels now, with the cursor drawn over them when asked,
    // read in place (in the segment or the canvas) while held;
    // none while the content shows nothing (a minimized window). Throws
    // ScreenCaptureError when the content is gone or the server does not
    // answer.
    std::optional<X11Pixels> capturePixels(const ContentFilter& filter, bool showsCursor);
    // The process whose sound goes with the filter's content: the
    // application's, or the window owner's (0 when unknown); none for a
    // display, which has everything's.
    std::optional<ProcessID> soundOwner(const ContentFilter& filter);

private:
    // The connection, connected anew (and redirecting again) after a break.
    X11Connection& connection();

    X11Connection connection_;
    ShmImageReader pictures_;
    // Where an application's windows are composed.
    RgbaImage canvas_;
    bool cursorImages_ = false;
};

}  // namespace zentrabo::platform
