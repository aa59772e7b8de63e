#pragma once
// The accessibility trees of the session's applications as the callers'
// elements, attributes and actions. Used only on the AtspiThread: every
// call goes to the accessibility bus through one AtspiConnection.
//
// A node element's number stands for one accessible object, named on the
// bus by its application's bus name and its object path; the table of them
// is bounded, the oldest entry leaving first. An element whose application
// has left the bus, whose entry has left the table, or that was found on a
// bus connection since replaced, is invalid.
#include <atspi/atspi-constants.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/atspi/accessible_window.hpp"
#include "platform/desktop/atspi/atspi_connection.hpp"
#include "platform/desktop/atspi/atspi_menu_shortcut.hpp"

namespace zentrabo::platform {

struct AtspiSearched;

class AtspiTree {
public:
    static constexpr std::size_t maxElements = 65536;
    // The most children one element is read with.
    static constexpr int maxChildrenRead = 16384;
    // A node's children are listed in one call where the application can;
    // otherwise they are read by index. Either way the listing may take the
    // call timeout for each piece of this many children: one child is then
    // one round trip to the application, so a menu of thousands of items
    // would not fit one timeout whole, while an application that stops
    // answering is still noticed within one.
    static constexpr int childrenPerCall = 256;

    AtspiTree() = default;
    AtspiTree(const AtspiTree&) = delete;
    AtspiTree& operator=(const AtspiTree&) = delete;

    // Reads the given bus from now on; every element found before is
    // invalid. Element numbers are never given twice.
    void connect(std::shared_ptr<AtspiConnection> connection);
    // Bounds each bus call from now on.
    void setTimeout(std::chrono::milliseconds timeout);

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name);
    // All of a node's children in one call to the application; none when it
    // does not list them so (they are then read by index).
    std::optional<AXAttributeResult> allChildren(const AXElement& element);
    // How many children the element has (at most maxChildrenRead), or the
    // error to answer.
    std::pair<int, AXError> childCount(const AXElement& element);
    // The element's children from index first on, at most count of them;
    // fewer when it has fewer now.
    AXAttributeResult children(const AXElement& element, int first, int count);
    // The text attributes (AXValue, AXSelectedTextRange); what the window
    // manager does is not set here.
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value);
    AXError performAction(const AXElement& element, const std::string& action);

    struct WindowLookup {
        AXError error = axerror::failure;
        AccessibleWindow window;
    };
    // The process, frame and title of a window element, for finding its X
    // window; attributeUnsupported for an element that is no window.
    WindowLookup windowOf(const AXElement& element);
    // The window the element is in (itself when it is one), found up the
    // listings it was read through; noValue when none of them is a window.
    WindowLookup windowAround(const AXElement& element);

    // The application's windows in its own order; empty when it cannot be
    // read.
    std::vector<ListedAccessibleWindow> applicationWindows(ProcessID pid);

    // Every child of the element, listed in one call where the application
    // can, else read by index (atspi_child_elements.cpp).
    AXError childElements(const AXElement& element, std::vector<AXElement>& children);
    // How many call timeouts listing count children may take.
    static int listingPieces(int count);

private:
    // What a read of the object's siblings fetched in one batch, answering
    // reads for a short while (freshFor) unless the tree acted meanwhile.
    struct Prefetched {
        std::chrono::steady_clock::time_point at;
        std::uint64_t generation = 0;
        std::optional<std::string> name;
        std::optional<std::uint64_t> states;
        std::optional<std::string> keyBinding;
        std::optional<int> childCount;
    };
    struct Entry {
        AccessibleRef ref;
        // An object keeps its role: read once.
        std::optional<AtspiRole> role;
        // The listing it was last found in, its place there and its parent.
        std::shared_ptr<const std::vector<AccessibleRef>> siblings;
        std::size_t index = 0;
        std::int64_t parent = 0;
        std::optional<Prefetched> prefetched;
    };
    static constexpr auto freshFor = std::chrono::seconds(1);
    // How many siblings one batch covers.
    static constexpr std::size_t prefetchedAtOnce = 256;

    // The entry an element stands for (none for the system-wide element),
    // or the error to answer.
    std::pair<Entry*, AXError> resolve(const AXElement& element);
    Entry* applicationOf(ProcessID pid);
    std::optional<ProcessID> processOf(const std::string& bus);
    AXElement elementOf(const AccessibleRef& ref);
    std::vector<AXElement> elementsOf(const std::vector<AccessibleRef>& refs);
    std::optional<AtspiRole> roleOf(Entry& entry);
    // What was fetched for the entry and is still fresh, fetching it with
    // its next siblings when it was found in a listing; none otherwise.
    const Prefetched* prefetchedOf(Entry& entry);
    void prefetch(const Entry& first);
    // The menu-walk reads through the prefetched values where fresh.
    std::optional<std::string> nameOf(Entry& entry);
    std::optional<std::uint64_t> statesOf(Entry& entry);
    std::optional<MenuShortcut> shortcutOf(Entry& entry);
    bool holdsSubmenu(Entry& item, AtspiRole role);
    // invalidUIElement when the object's application has left the bus (or
    // the bus went), else cannotComplete: it did not answer.
    AXError failureOf(const AccessibleRef& ref);

    // The element a search found; the failure of the element it could not
    // read past; no value when nothing matched.
    AXAttributeResult searchedElement(const AtspiSearched& searched);
    AXAttributeResult applicationAttribute(Entry& application, const std::string& name);
    AXAttributeResult nodeAttribute(Entry& node, const std::string& name);
    AXAttributeResult roleName(Entry& node, AtspiRole role);
    AXAttributeResult selectedTextRange(const AccessibleRef& node);
    AXError setSelectedTextRange(const AccessibleRef& node, const TextRange& range);

    std::shared_ptr<AtspiConnection> connection_;
    std::chrono::milliseconds timeout_{0};
    std::map<AccessibleRef, std::int64_t> numbers_;
    std::unordered_map<std::int64_t, Entry> entries_;
    std::deque<std::int64_t> order_;
    std::int64_t nextNumber_ = 1;
    // Advanced by every change the tree makes: what was fetched before it
    // no longer answers.
    std::uint64_t generation_ = 0;
    // Process of each application's bus name on the current bus.
    std::map<std::string, ProcessID> processes_;
};

}  // namespace zentrabo::platform
