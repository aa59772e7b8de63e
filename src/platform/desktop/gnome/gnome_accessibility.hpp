#pragma once
// Accessibility on a GNOME Wayland session: the applications' trees on the
// AT-SPI bus (AtspiAccessibility), as on X11. A Wayland client does not know where
// its window is, so the places its toolkit reports are relative to the
// window; the window's place comes from the shell extension's list
// (ShellWindows). XWayland clients report global places, which stay as
// they are. The focused application and a window's modality come from the
// shell too.
#include <chrono>
#include <functional>
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

    // How long the shell's record of a window is watched after a change
    // was asked of it: a Wayland client takes its new size when it answers.
    static constexpr std::chrono::milliseconds shellWait{800};

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;

    // The bus's windows, each matched to the shell's: the shell's id,
    // frame and minimized state, since a Wayland client knows no place of
    // its own.
    std::vector<ApplicationWindow> applicationWindows(ProcessID application) override;
    std::optional<Rect> windowFrame(const AXElement& window) override;
    AXError setWindowPosition(const AXElement& window, const Point& origin) override;
    AXError setWindowSize(const AXElement& window, const Size& size) override;
    AXError setWindowMinimized(const AXElement& window, bool minimized) override;
    // Done when the window, or a modal dialog of its application, has the
    // focus.
    AXError raiseWindow(const AXElement& window) override;
    AXError bringApplicationForward(ProcessID application) override;

protected:
    // A window of the shell's modal dialog type.
    WindowModality windowModality() override;
    // The process of the shell's focused window.
    ProcessID focusedApplication() override;

private:
    // The shell's window of a window element, or the error to answer.
    std::pair<std::optional<ShellWindow>, AXError> shellWindowFor(const AXElement& window);
    AXError moveResize(const AXElement& window, const std::function<Rect(const Rect&)>& frameFrom);
    // Polls the shell's record of the window until the condition holds or
    // shellWait has passed; false when it did not hold.
    bool waitForShell(ShellWindowID window, const std::function<bool(const ShellWindow&)>& condition);

    // The element's place on the screen: its reported place moved by its
    // window's place.
    AXAttributeResult position(const AXElement& element);

    std::shared_ptr<ShellWindows> windows_;
};

}  // namespace zentrabo::platform
