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
    // The dialog and text-field walks (modal_walk.hpp), each one piece of
    // work on the tree, with window modality as windowModality() tells.
    std::optional<ModalWindow> modalWindow(ProcessID application, const MenuReadLimits& limits) override;
    ModalPressResult pressModalButton(ProcessID application, const ModalButtonChooser& choose,
                                      const MenuReadLimits& limits) override;
    // In the focused application's focused element.
    bool insertIntoFocusedField(const std::string& text, const MenuReadLimits& limits) override;

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

    // Whether the window the bus describes blocks its application, as the
    // window system says where the toolkit does not tell the bus. It runs
    // on the accessibility thread, maybe after this object is gone, so it
    // owns what it uses.
    using WindowModality = std::function<bool(const AccessibleWindow&)>;
    virtual WindowModality windowModality() = 0;
    // The process of the window that has the keyboard focus, as the window
    // system says; zero when none has.
    virtual ProcessID focusedApplication() = 0;
    // An application's windows as the bus lists them, one piece of work
    // within the application element's timeout; empty when unreadable.
    std::vector<ListedAccessibleWindow> listedWindows(ProcessID application);
    // The bus's description of a window element, or the error to answer.
    std::pair<std::optional<AccessibleWindow>, AXError> accessibleWindow(const AXElement& window);

private:
    AXAttributeResult children(const AXElement& element);
    // The focused element of the focused application; one visit to the tree.
    AXAttributeResult focusedElement(const AXElement& systemWide);
    // Whether the element blocks its application: as the bus says, or for
    // a window the bus does not call modal as the window system says. One
    // visit to the tree.
    AXAttributeResult modal(const AXElement& element);
    struct Bus;
    static std::shared_ptr<Bus> sharedBus();
    AtspiThread& thread();
    AtspiTree& tree();
    static void setTreeTimeout(AtspiTree& tree, std::chrono::milliseconds perCall);
    // A walk over the whole tree as one piece of work, within the limits'
    // time, each bus call within their call time.
    template <typename Walk>
    auto treeWork(const MenuReadLimits& limits, Walk walk)
        -> std::optional<decltype(walk(std::declval<AtspiTree&>(), std::chrono::steady_clock::time_point{}))>;

    std::shared_ptr<Bus> bus_;
    std::mutex mutex_;
    std::unordered_map<AXElement, double> timeouts_;
};

}  // namespace zentrabo::platform
