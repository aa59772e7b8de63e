#pragma once
// Every desktop service the controllers use, from one place.
#include <mutex>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/displays.hpp"
#include "platform/desktop/event_poster.hpp"
#include "platform/desktop/keyboard_layout.hpp"
#include "platform/desktop/pasteboard.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/desktop/workspace.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class Desktop {
public:
    virtual ~Desktop() = default;

    virtual Workspace& workspace() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual WindowServer& windowServer() = 0;
    virtual Displays& displays() = 0;
    virtual ScreenCapture& screenCapture() = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual KeyboardLayoutPreferences& keyboardLayout() = 0;
    virtual EventPoster& eventPoster() = 0;

    // The clock that waiting code sleeps and turns the run loop with: a turn
    // (Clock::runLoopTurn) lets the desktop's own events (an application
    // appearing after its launch delay) happen, and runs nothing else.
    virtual Clock& clock() = 0;

    // Serialises the callers' input sequences on this desktop: a key with its
    // modifier keys, a text event pair, a media-key pair, a pasteboard write,
    // a paste from saving the pasteboard to restoring it. Every controller
    // that acts on the desktop shares it, so two streams (or a stream and a
    // workflow) never interleave their keys or pastes. It is the outermost
    // lock: callers take it once per operation, never while inside a desktop
    // call, and the desktop itself never takes it, so it may be held across
    // waits and calls into the desktop.
    std::mutex& inputLock() { return inputLock_; }

private:
    std::mutex inputLock_;
};

}  // namespace zentrabo::platform
