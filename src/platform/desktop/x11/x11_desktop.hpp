#pragma once
// The desktop of an X11 session: one object per service, each with its own
// connection and lock (the desktop is used at once from the main loop and
// from stream threads), and one thread reading X events.
#include <memory>
#include <string>

#include "platform/desktop/desktop.hpp"

namespace zentrabo::platform {

class X11Accessibility;
class X11Displays;
class X11EventPoster;
class X11EventThread;
class X11KeyboardLayout;
class X11Pasteboard;
class X11ScreenCapture;
class X11WindowServer;
class X11Workspace;

class X11Desktop final : public Desktop {
public:
    // Connects every service to the display (":0"). Throws X11Error saying why
    // when the display cannot be reached or does not answer. The clock must
    // outlive the desktop.
    static std::unique_ptr<X11Desktop> create(const std::string& display, Clock& clock);
    ~X11Desktop() override;

    const std::string& displayName() const { return display_; }

    Workspace& workspace() override;
    Accessibility& accessibility() override;
    WindowServer& windowServer() override;
    Displays& displays() override;
    ScreenCapture& screenCapture() override;
    Pasteboard& pasteboard() override;
    KeyboardLayoutPreferences& keyboardLayout() override;
    EventPoster& eventPoster() override;
    Clock& clock() override { return clock_; }

private:
    X11Desktop(std::string display, Clock& clock);

    std::string display_;
    Clock& clock_;
    std::shared_ptr<X11Workspace> workspace_;
    std::unique_ptr<X11Accessibility> accessibility_;
    std::unique_ptr<X11WindowServer> windowServer_;
    std::unique_ptr<X11Displays> displays_;
    std::unique_ptr<X11ScreenCapture> screenCapture_;
    std::unique_ptr<X11Pasteboard> pasteboard_;
    std::unique_ptr<X11KeyboardLayout> keyboardLayout_;
    std::unique_ptr<X11EventPoster> eventPoster_;
    // Last, so it stops before the services it reports to go.
    std::unique_ptr<X11EventThread> events_;
};

}  // namespace zentrabo::platform
