#pragma once
// Accessibility through the applications' trees on the AT-SPI bus,
// whatever the window system: read and pressed on one thread
// (AtspiThread, AtspiTree) over a connection of our own (AtspiConnection)
// that is made anew when the bus comes back. A caller waits at most the
// element's messaging timeout, kept here per element; the bus call it
// started may go on, and its late answer is dropped. What the bus cannot do
// to a window is the window system's part, in a desktop's own class on this
// one, which answers the rest as the bus does.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/atspi/accessible_window.hpp"
#include "platform/desktop/atspi/atspi_thread.hpp"

namespace zentrabo::platform {

class AtspiTree;

class AtspiAccessibility : public Accessibility {
public:
    static constexpr double defaultMessagingTimeout = 6.0;

    AtspiAccessibility();
    ~AtspiAccessibility() override;

    // Usable when the bus is reached and the session's accessibility switch
    // is on; the request turns the switch on.
    bool isProcessTrusted() override;
    bool requestProcessTrust() override;
    std::string processTrustRequestNote() const override;
    AXElement systemWideElement() override;
    AXElement applicationElement(ProcessID pid) override;
    AXError setMessagingTimeout(const AXElement& element, double seconds) override;
    // The tree's own answers, the bus not reached answering as disabled;
    // children in one piece of work bounded as the tree's listing of them.
    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) override;
    AXError performAction(const AXElement& element, const std::string& action) override;
    // A menu walk (menu_walk.hpp) as one piece of work on the tree: the
    // caller waits for it once, until its deadline and one call more.
    MenuTreeRead menuTree(ProcessID application, const MenuReadLimits& limits) override;
    MenuPressResult pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                  const MenuReadLimits& limits) override;

protected:
    // Whether the bus is reached, looking for it anew when that is due.
    bool isReady();
    std::chrono::milliseconds timeoutOf(const AXElement& element);

    // Work on the tree, on the accessibility thread, each bus call within
    // the element's timeout; waited for that long (or the bound given),
    // none when it did not answer in time. Work that comes late still runs
    // after the caller has gone, so it owns what it uses.
    template <typename Work>
    auto onTree(const AXElement& element, Work work, std::optional<std::chrono::milliseconds> bound = std::nullopt)
        -> std::optional<decltype(work(std::declval<AtspiTree&>()))> {
        const auto perCall = timeoutOf(element);
        return thread().call(
            [tree = &tree(), work = std::move(work), perCall] {
                setTreeTimeout(*tree, perCall);
                return work(*tree);
            },
            bound.value_or(perCall));
    }

    // An application's windows as the bus lists them, one piece of work
    // within the application element's timeout; empty when unreadable.
    std::vector<ListedAccessibleWindow> listedWindows(ProcessID application);
    // The bus's description of a window element, or the error to answer.
    std::pair<std::optional<AccessibleWindow>, AXError> accessibleWindow(const AXElement& window);

    // The focused element of an application, within the timeout of the
    // element given.
    AXAttributeResult focusedElementOf(ProcessID application, const AXElement& timeoutOwner);
    // Whether the element blocks its application: as the bus says, or for
    // a window the bus does not call modal as the window system says of
    // the window the bus describes. One visit to the tree.
    AXAttributeResult busOrWindowModal(const AXElement& element,
                                       const std::function<bool(const AccessibleWindow&)>& windowIsModal);

private:
    AXAttributeResult children(const AXElement& element);
    struct Bus;
    static std::shared_ptr<Bus> sharedBus();
    AtspiThread& thread();
    AtspiTree& tree();
    static void setTreeTimeout(AtspiTree& tree, std::chrono::milliseconds perCall);
    template <typename Walk>
    auto menuWork(const MenuReadLimits& limits, Walk walk)
        -> std::optional<decltype(walk(std::declval<AtspiTree&>(), std::chrono::steady_clock::time_point{}))>;

    std::shared_ptr<Bus> bus_;
    std::mutex mutex_;
    std::unordered_map<AXElement, double> timeouts_;
};

}  // namespace zentrabo::platform
