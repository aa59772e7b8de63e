#pragma once
// Accessibility on an X11 session: the applications' trees on the AT-SPI
// bus (AtspiAccessibility, which answers what the window system has no
// part in). What the bus cannot do to a window (moving, sizing,
// minimizing, raising, activating, its X window number, its modality where
// the toolkit does not tell the bus) goes to the window manager, the window
// found from the accessible's process and frame.
#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/atspi/atspi_accessibility.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11Accessibility final : public AtspiAccessibility {
public:
    // How long a request to the window manager is waited for before the
    // call answers: it acts on it after the request was sent.
    static constexpr std::chrono::milliseconds windowManagerWait{800};
    // Throws X11Error when the display (":0") cannot be reached.
    explicit X11Accessibility(const std::string& display);
    ~X11Accessibility() override;

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;

    // The bus's windows, each matched to its client window: the client's
    // number and its frame, decorations included, so a size set reads back
    // as set; the bus's own frame where no client matches.
    std::vector<ApplicationWindow> applicationWindows(ProcessID application) override;
    std::optional<Rect> windowFrame(const AXElement& window) override;
    AXError setWindowPosition(const AXElement& window, const Point& origin) override;
    AXError setWindowSize(const AXElement& window, const Size& size) override;
    AXError setWindowMinimized(const AXElement& window, bool minimized) override;
    // Done when the window, or the modal dialog over it, is active.
    AXError raiseWindow(const AXElement& window) override;
    AXError bringApplicationForward(ProcessID application) override;

protected:
    // As the window manager's hints say (x11_window_modality.hpp).
    WindowModality windowModality() override;
    // The process of the active window.
    ProcessID focusedApplication() override;

private:
    // The window manager's hints on a connection of their own, which the
    // accessibility thread may still use after this object is gone.
    struct ModalityHints;
    // The client window of a window element, or the error to answer.
    std::pair<xcb_window_t, AXError> clientWindowOf(const AXElement& element);
    // Asks the window manager for a new place or size and waits until the
    // frame is there or has settled elsewhere.
    AXError changeFrame(const AXElement& element, std::optional<Point> position, std::optional<Size> size);
    // Polls the condition (under the X lock) until it holds or
    // windowManagerWait has passed.
    bool waitForWindowManager(const std::function<bool()>& condition);

    std::mutex xMutex_;
    X11Connection x_;
    std::shared_ptr<ModalityHints> modalityHints_;
};

}  // namespace zentrabo::platform
