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
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) override;
    AXError performAction(const AXElement& element, const std::string& action) override;

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
    // A window element's frame, decorations included: where AXPosition and
    // AXSize place it, so a size set reads back as set. None for an element
    // that is no window or a window that cannot be read.
    std::optional<Rect> windowFrame(const AXElement& element);
    AXError setWindowAttribute(const AXElement& element, const std::string& name, const AXValue& value);
    AXError setFrontmost(const AXElement& element, const AXValue& value);
    AXError raise(const AXElement& element);
    // Polls the condition (under the X lock) until it holds or
    // windowManagerWait has passed.
    bool waitForWindowManager(const std::function<bool()>& condition);

    std::mutex xMutex_;
    X11Connection x_;
    std::shared_ptr<ModalityHints> modalityHints_;
};

}  // namespace zentrabo::platform
