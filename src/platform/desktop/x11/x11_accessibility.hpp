#pragma once
// Accessibility on an X11 session: the applications' trees on the AT-SPI
// bus, read and pressed on one thread (AtspiThread, AtspiTree) over a
// connection of our own (AtspiConnection) that is made anew when the bus
// comes back. A caller
// waits at most the element's messaging timeout, kept here per element;
// the bus call it started may go on, and its late answer is dropped.
// What the bus cannot do to a window (moving, sizing, minimizing, raising,
// activating, its X window number, its modality where the toolkit does not
// tell the bus) goes to the window manager, the window found from the
// accessible's process and frame.
#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class AtspiTree;

class X11Accessibility final : public Accessibility {
public:
    static constexpr double defaultMessagingTimeout = 6.0;
    // How long a request to the window manager is waited for before the
    // call answers: it acts on it after the request was sent.
    static constexpr std::chrono::milliseconds windowManagerWait{800};
    // Throws X11Error when the display (":0") cannot be reached.
    explicit X11Accessibility(const std::string& display);
    ~X11Accessibility() override;

    bool isProcessTrusted() override;
    bool requestProcessTrust() override;
    std::string processTrustRequestNote() const override;
    AXElement systemWideElement() override;
    AXElement applicationElement(ProcessID pid) override;
    AXError setMessagingTimeout(const AXElement& element, double seconds) override;
    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) override;
    AXError performAction(const AXElement& element, const std::string& action) override;
    MenuTreeRead menuTree(ProcessID application, const MenuReadLimits& limits) override;
    MenuPressResult pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                  const MenuReadLimits& limits) override;

private:
    struct Bus;
    static std::shared_ptr<Bus> sharedBus();
    std::chrono::milliseconds timeoutOf(const AXElement& element);
    // Work on the tree, on the accessibility thread, each bus call within
    // the element's timeout; waited for that long (or the bound given),
    // none when it did not answer in time.
    // Work that comes late still runs after the caller has gone, so it owns
    // what it uses.
    template <typename Work>
    auto onTree(const AXElement& element, Work work, std::optional<std::chrono::milliseconds> bound = std::nullopt)
        -> std::optional<decltype(work(std::declval<AtspiTree&>()))>;

    // A menu walk (menu_walk.hpp) as one piece of work on the tree: the
    // caller waits for it once, until its deadline and one call more.
    template <typename Walk>
    auto menuWork(const MenuReadLimits& limits, Walk walk)
        -> std::optional<decltype(walk(std::declval<AtspiTree&>(), std::chrono::steady_clock::time_point{}))>;

    // A node's children, in one piece of work bounded as AtspiTree's
    // listing of them is.
    AXAttributeResult children(const AXElement& element);
    // The focused element of the application that owns the active window.
    AXAttributeResult focusedElement(const AXElement& systemWide);
    // Whether the element blocks its application: as the bus says, or for
    // a window as the window manager's hints say (x11_window_modality.hpp).
    AXAttributeResult modal(const AXElement& element);
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

    std::shared_ptr<Bus> bus_;
    std::mutex mutex_;
    std::unordered_map<AXElement, double> timeouts_;
    std::mutex xMutex_;
    X11Connection x_;
};

}  // namespace zentrabo::platform
