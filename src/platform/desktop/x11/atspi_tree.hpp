#pragma once
// The accessibility trees of the session's applications as the callers'
// elements, attributes and actions. Used only on the AtspiThread: every
// call goes to the accessibility bus.
//
// A node element's number stands for one accessible object, named on the
// bus by its application's bus name and its object path; the table of them
// is bounded, the oldest entry leaving first. An element whose application
// has left the bus, or whose entry has left the table, is invalid.
#include <atspi/atspi.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/x11/accessible_window_match.hpp"

namespace zentrabo::platform {

// A reference to an accessible that this side holds and gives back.
struct AtspiUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using OwnedAccessible = std::unique_ptr<AtspiAccessible, AtspiUnref>;

struct AtspiSearched;

class AtspiTree {
public:
    static constexpr std::size_t maxElements = 65536;
    // The most children one element is read with, in pieces.
    static constexpr int maxChildrenRead = 16384;

    AtspiTree() = default;
    ~AtspiTree();
    AtspiTree(const AtspiTree&) = delete;
    AtspiTree& operator=(const AtspiTree&) = delete;

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name);
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

private:
    struct Entry {
        std::pair<std::string, std::string> key;
        AtspiAccessible* accessible = nullptr;
    };

    // The accessible an element stands for, or the error to answer.
    std::pair<AtspiAccessible*, AXError> resolve(const AXElement& element);
    AtspiAccessible* applicationOf(ProcessID pid);
    AXElement elementOf(AtspiAccessible* accessible);
    std::vector<AXElement> elementsOf(const std::vector<OwnedAccessible>& accessibles);
    // cannotComplete for an application that did not answer, invalid when
    // it has left the bus.
    AXError failureOf(AtspiAccessible* accessible);

    // The element a search found; the failure of the element it could not
    // read past; no value when nothing matched.
    AXAttributeResult searchedElement(const AtspiSearched& searched);
    AXAttributeResult applicationAttribute(AtspiAccessible* application, const std::string& name);
    AXAttributeResult nodeAttribute(AtspiAccessible* node, const std::string& name);
    AXAttributeResult selectedTextRange(AtspiAccessible* node);
    AXError setSelectedTextRange(AtspiAccessible* node, const TextRange& range);

    std::map<std::pair<std::string, std::string>, std::int64_t> numbers_;
    std::unordered_map<std::int64_t, Entry> entries_;
    std::deque<std::int64_t> order_;
    std::int64_t nextNumber_ = 1;
};

}  // namespace zentrabo::platform
