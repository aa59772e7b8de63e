#pragma once
// Every desktop service the controllers use, from one place.
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
};

}  // namespace zentrabo::platform
