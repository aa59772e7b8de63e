#include "platform/desktop/gnome/gnome_desktop.hpp"

#include "platform/desktop/gnome/gnome_accessibility.hpp"
#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/gnome_displays.hpp"
#include "platform/desktop/gnome/gnome_event_poster.hpp"
#include "platform/desktop/gnome/gnome_pasteboard.hpp"
#include "platform/desktop/gnome/gnome_screen_capture.hpp"
#include "platform/desktop/gnome/gnome_keyboard_layout.hpp"
#include "platform/desktop/gnome/gnome_window_server.hpp"
#include "platform/desktop/gnome/gnome_workspace.hpp"
#include "platform/desktop/gnome/screencast_recording.hpp"
#include "platform/desktop/gnome/shell_windows.hpp"
#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

const BusObject remoteDesktop{"org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop"};

std::string versionText(const char* name, const std::optional<std::uint32_t>& version) {
    return std::string(name) + " " + (version ? std::to_string(*version) : std::string("absent"));
}

}  // namespace

GnomeDesktop::GnomeDesktop(std::string waylandDisplay, Clock& clock)
    : waylandDisplay_(std::move(waylandDisplay)), clock_(clock) {}

GnomeDesktop::~GnomeDesktop() = default;

std::unique_ptr<GnomeDesktop> GnomeDesktop::create(std::string waylandDisplay, Clock& clock) {
    std::unique_ptr<GnomeDesktop> desktop(new GnomeDesktop(std::move(waylandDisplay), clock));
    desktop->bus_ = GnomeBus::connect();
    desktop->windows_ = std::make_shared<ShellWindows>(desktop->bus_);
    desktop->extensionUUID_ = productIdentity().shellExtensionUUID;
    desktop->interfaces_ = {ScreenCastRecording::screenCastVersion(*desktop->bus_),
                            desktop->bus_->version(remoteDesktop, "org.gnome.Mutter.RemoteDesktop"),
                            desktop->windows_->version()};
    // Without mutter on the bus this is no GNOME session to control.
    if (!desktop->interfaces_.screenCast) {
        throw GnomeBusError("mutter does not answer on the session bus (org.gnome.Mutter.ScreenCast)");
    }
    desktop->workspace_ = GnomeWorkspace::create(desktop->bus_, desktop->windows_);
    desktop->displays_ = std::make_shared<GnomeDisplays>(desktop->bus_);
    desktop->windowServer_ = std::make_unique<GnomeWindowServer>(desktop->windows_);
    desktop->screenCapture_ = std::make_unique<GnomeScreenCapture>(
        GnomeCaptureTarget{desktop->bus_, desktop->windows_, desktop->displays_}, clock);
    desktop->accessibility_ = std::make_unique<GnomeAccessibility>(desktop->windows_);
    desktop->remoteDesktop_ = std::make_shared<RemoteDesktopLink>(desktop->bus_, desktop->displays_, clock);
    desktop->pasteboard_ = std::make_unique<GnomePasteboard>(desktop->remoteDesktop_);
    desktop->keyboardLayout_ = std::make_unique<GnomeKeyboardLayout>();
    desktop->eventPoster_ = std::make_unique<GnomeEventPoster>(desktop->remoteDesktop_, *desktop->pasteboard_, clock);
    return desktop;
}

std::string GnomeDesktop::interfacesText() const {
    return versionText("ScreenCast", interfaces_.screenCast) + ", " +
           versionText("RemoteDesktop", interfaces_.remoteDesktop) + ", " +
           versionText("shell extension", interfaces_.shellExtension);
}

std::optional<std::string> GnomeDesktop::extensionProblem() const {
    if (windows_->version()) return std::nullopt;
    return "GNOME Shell extension " + extensionUUID_ + " is not enabled: windows cannot be listed; see README";
}

Workspace& GnomeDesktop::workspace() { return *workspace_; }
Accessibility& GnomeDesktop::accessibility() { return *accessibility_; }
WindowServer& GnomeDesktop::windowServer() { return *windowServer_; }
Displays& GnomeDesktop::displays() { return *displays_; }
ScreenCapture& GnomeDesktop::screenCapture() { return *screenCapture_; }
Pasteboard& GnomeDesktop::pasteboard() { return *pasteboard_; }
KeyboardLayoutPreferences& GnomeDesktop::keyboardLayout() { return *keyboardLayout_; }
EventPoster& GnomeDesktop::eventPoster() { return *eventPoster_; }

}  // namespace zentrabo::platform
