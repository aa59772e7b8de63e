#pragma once
// The desktop of a GNOME Wayland session: one object per service, all on one
// session-bus connection (GnomeBus). Windows come from our shell extension,
// displays from mutter's DisplayConfig, pictures from its ScreenCast through
// PipeWire, input and the clipboard from its RemoteDesktop, the keyboard
// layout from GNOME's input sources, menus, dialogs and text fields through
// the AT-SPI service the X11 backend shares, sound through libpulse.
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/desktop.hpp"

namespace zentrabo::platform {

class GnomeAccessibility;
class GnomeBus;
class GnomeDisplays;
class GnomeEventPoster;
class GnomeKeyboardLayout;
class GnomePasteboard;
class GnomeScreenCapture;
class GnomeWindowServer;
class GnomeWorkspace;
class RemoteDesktopLink;
class ShellWindows;

// What the session's interfaces said at the start.
struct GnomeInterfaces {
    std::optional<std::uint32_t> screenCast;
    std::optional<std::uint32_t> remoteDesktop;
    std::optional<std::uint32_t> shellExtension;
};

class GnomeDesktop final : public Desktop {
public:
    // Connects to the session bus and reads the interfaces' versions. Throws
    // GnomeBusError when the bus cannot be reached or mutter's ScreenCast does
    // not answer on it. The clock must outlive the desktop.
    static std::unique_ptr<GnomeDesktop> create(std::string waylandDisplay, Clock& clock);
    ~GnomeDesktop() override;

    const std::string& waylandDisplay() const { return waylandDisplay_; }
    const GnomeInterfaces& interfaces() const { return interfaces_; }
    // "ScreenCast 4, RemoteDesktop 1, shell extension 1" (a missing one "absent").
    std::string interfacesText() const;
    // Why windows cannot be listed; none while the extension answers.
    std::optional<std::string> extensionProblem() const;

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
    GnomeDesktop(std::string waylandDisplay, Clock& clock);

    std::string waylandDisplay_;
    Clock& clock_;
    std::shared_ptr<GnomeBus> bus_;
    GnomeInterfaces interfaces_;
    std::string extensionUUID_;
    std::shared_ptr<ShellWindows> windows_;
    std::shared_ptr<GnomeWorkspace> workspace_;
    std::shared_ptr<GnomeDisplays> displays_;
    std::unique_ptr<GnomeWindowServer> windowServer_;
    std::unique_ptr<GnomeScreenCapture> screenCapture_;
    std::shared_ptr<RemoteDesktopLink> remoteDesktop_;
    std::unique_ptr<GnomeAccessibility> accessibility_;
    std::unique_ptr<GnomePasteboard> pasteboard_;
    std::unique_ptr<GnomeKeyboardLayout> keyboardLayout_;
    std::unique_ptr<GnomeEventPoster> eventPoster_;
};

}  // namespace zentrabo::platform
