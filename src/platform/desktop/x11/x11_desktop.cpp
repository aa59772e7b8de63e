#include "platform/desktop/x11/x11_desktop.hpp"

#include "platform/desktop/x11/x11_accessibility.hpp"
#include "platform/desktop/x11/x11_displays.hpp"
#include "platform/desktop/x11/x11_event_poster.hpp"
#include "platform/desktop/x11/x11_event_thread.hpp"
#include "platform/desktop/x11/x11_keyboard_layout.hpp"
#include "platform/desktop/x11/x11_pasteboard.hpp"
#include "platform/desktop/x11/x11_screen_capture.hpp"
#include "platform/desktop/x11/x11_window_server.hpp"
#include "platform/desktop/x11/x11_workspace.hpp"

namespace zentrabo::platform {

X11Desktop::X11Desktop(std::string display, Clock& clock)
    : display_(std::move(display)),
      clock_(clock),
      workspace_(X11Workspace::create(display_)),
      accessibility_(std::make_unique<X11Accessibility>(display_)),
      windowServer_(std::make_unique<X11WindowServer>(display_)),
      displays_(std::make_unique<X11Displays>(display_)),
      screenCapture_(std::make_unique<X11ScreenCapture>(display_, *displays_, clock_)),
      pasteboard_(std::make_unique<X11Pasteboard>(display_)),
      keyboardLayout_(std::make_unique<X11KeyboardLayout>(display_)),
      eventPoster_(std::make_unique<X11EventPoster>(display_)),
      events_(std::make_unique<X11EventThread>(
          display_, [displays = displays_.get()] { displays->monitorsChanged(); },
          [this](const std::string& reason) { sessionEnded(reason); })) {}

X11Desktop::~X11Desktop() = default;

std::unique_ptr<X11Desktop> X11Desktop::create(const std::string& display, Clock& clock) {
    return std::unique_ptr<X11Desktop>(new X11Desktop(display, clock));
}

Workspace& X11Desktop::workspace() { return *workspace_; }
Accessibility& X11Desktop::accessibility() { return *accessibility_; }
WindowServer& X11Desktop::windowServer() { return *windowServer_; }
Displays& X11Desktop::displays() { return *displays_; }
ScreenCapture& X11Desktop::screenCapture() { return *screenCapture_; }
Pasteboard& X11Desktop::pasteboard() { return *pasteboard_; }
KeyboardLayoutPreferences& X11Desktop::keyboardLayout() { return *keyboardLayout_; }
EventPoster& X11Desktop::eventPoster() { return *eventPoster_; }

}  // namespace zentrabo::platform
