#pragma once
// Accessibility on a GNOME Wayland session: the applications' trees on the
// AT-SPI bus (AtspiAccessibility), as on X11. A Wayland client does not know where
// its window is, so the places its toolkit reports are relative to the
// window; the window's place comes from the shell extension's list
// (ShellWindows). XWayland clients report global places, which stay as
// they are. The focused application and a window's modality come from the
// shell too.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/atspi/accessible_window.hpp"
#include "platform/desktop/atspi/atspi_accessibility.hpp"
#include "platform/desktop/gnome/shell_windows.hpp"

namespace zentrabo::platform {

// The shell's window the accessible window stands for: of its process, the
// title deciding first, then a frame or buffer of its size; none when the
// process shows no window.
const ShellWindow* shellWindowOf(const std::vector<ShellWindow>& windows, const AccessibleWindow& accessible);

// What to add to the places reported within the accessible window: nothing
// when it already reports the window's global place (an XWayland client),
// else the origin of the frame or buffer whose size it reports.
Point surfaceOffset(const ShellWindow& window, const AccessibleWindow& accessible);

class GnomeAccessibility final : public AtspiAccessibility {
public:
    explicit GnomeAccessibility(std::shared_ptr<ShellWindows> windows);

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;

protected:
    // A window of the shell's modal dialog type.
    WindowModality windowModality() override;
    // The process of the shell's focused window.
    ProcessID focusedApplication() override;

private:
    // The element's place on the screen: its reported place moved by its
    // window's place.
    AXAttributeResult position(const AXElement& element);

    std::shared_ptr<ShellWindows> windows_;
};

}  // namespace zentrabo::platform
