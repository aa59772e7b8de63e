#pragma once
// The session's windows as our GNOME Shell extension exports them on the
// session bus (data/gnome-shell/extension): typed records in stacking order,
// the focused window and the operations on one window. Every call is
// bounded; without the extension the reads answer none and the operations
// false.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/picture_region.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

using ShellWindowID = std::uint64_t;

struct ShellWindow {
    // Stable while the window lives; what ScreenCast's RecordWindow takes.
    ShellWindowID id = 0;
    ProcessID pid = 0;  // 0 when the shell does not know it
    // The desktop file ID the shell's window tracker gives ("org.gnome.TextEditor.desktop");
    // empty when it knows none.
    std::string desktopFileID;
    std::string title;
    // In global pixels: the frame (decorations included) and the whole
    // buffer (client-side shadows included).
    Rect frame;
    Rect buffer;
    bool minimized = false;
    int monitor = 0;
    // mutter's window type (normal 0, dialog 3, modal dialog 4, utility 7, ...).
    std::uint32_t type = 0;

    // A window an application shows as its own: not a dock, menu, tooltip
    // or the like.
    bool isApplicationWindow() const;
    // How far the frame lies inside the buffer; none where it does not lie
    // inside.
    FrameInsets frameInsets() const;
};

class ShellWindows {
public:
    // The interface version this client speaks.
    static constexpr std::uint32_t supportedVersion = 1;

    // The extension of the product identity on that bus.
    explicit ShellWindows(std::shared_ptr<GnomeBus> bus);

    // The extension's interface version; none when it does not answer (not
    // installed, not enabled, or the shell is gone).
    std::optional<std::uint32_t> version();
    // Front to back; none when the extension does not answer.
    std::optional<std::vector<ShellWindow>> windows();
    // 0 when no window has the focus or the extension does not answer.
    ShellWindowID focusedWindow();

    // Each false when the window is not there or the extension does not
    // answer.
    bool activate(ShellWindowID window);
    bool raise(ShellWindowID window);
    bool minimize(ShellWindowID window);
    bool unminimize(ShellWindowID window);
    bool moveResize(ShellWindowID window, const Rect& frame);
    bool close(ShellWindowID window);

private:
    bool act(const char* method, GVariant* parameters);

    std::shared_ptr<GnomeBus> bus_;
    BusObject extension_;
    std::string interface_;
};

}  // namespace zentrabo::platform
