#include "platform/desktop/x11/atspi_tree.hpp"

#include <dbus/dbus.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/desktop/x11/atspi_menu_shortcut.hpp"
#include "platform/desktop/x11/atspi_text_offsets.hpp"
#include "platform/desktop/x11/linux_process.hpp"
#include "platform/desktop/x11/toolkit_button_labels.hpp"

namespace zentrabo::platform {

// What a search found: the first match, or the element whose children could
// not be read, which ends the search: an application that does not answer
// must not pass for one without a match.
struct AtspiSearched {
    OwnedAccessible match;
    OwnedAccessible unanswered;
};

namespace {

// Bounds on what one read walks: the children of one element, and the
// elements a search for a menu bar, a focused element or a dialog's button
// visits.
constexpr int kMaxChildren = 4096;
constexpr std::size_t kMaxSearched = 4000;

using Owned = OwnedAccessible;

// A GError out-parameter that frees what it receives.
class Failure {
public:
    Failure() = default;
    ~Failure() { g_clear_error(&error_); }
    Failure(const Failure&) = delete;
    Failure& operator=(const Failure&) = delete;
    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    explicit operator bool() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

std::string takeText(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

struct RoleNames {
    AtspiRole role;
    std::string_view axRole;
    std::string_view axSubrole;
};

// GTK 3 makes an item with a submenu a "menu" whose children are its items;
// Qt and GTK 4 keep it an item and put its items in a popup menu ("popup
// menu", "menu") below it. Separators stand among a menu's items as items
// without a title, as they do in the callers' menus.
constexpr std::array<RoleNames, 18> kRoles{{
    {ATSPI_ROLE_APPLICATION, "AXApplication", ""},
    {ATSPI_ROLE_MENU_BAR, "AXMenuBar", ""},
    {ATSPI_ROLE_MENU, "AXMenu", ""},
    {ATSPI_ROLE_POPUP_MENU, "AXMenu", ""},
    {ATSPI_ROLE_MENU_ITEM, "AXMenuItem", ""},
    {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem", ""},
    {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem", ""},
    {ATSPI_ROLE_TEAROFF_MENU_ITEM, "AXMenuItem", ""},
    {ATSPI_ROLE_SEPARATOR, "AXMenuItem", ""},
    {ATSPI_ROLE_FRAME, "AXWindow", ""},
    {ATSPI_ROLE_WINDOW, "AXWindow", ""},
    {ATSPI_ROLE_DIALOG, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_ALERT, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton", ""},
    {ATSPI_ROLE_LABEL, "AXStaticText", ""},
    {ATSPI_ROLE_TEXT, "AXTextField", ""},
    {ATSPI_ROLE_ENTRY, "AXTextField", ""},
}};

const RoleNames* namesOf(AtspiRole role) {
    const auto found =
        std::find_if(kRoles.begin(), kRoles.end(), [&](const auto& names) { return names.role == role; });
    return found == kRoles.end() ? nullptr : &*found;
}

bool isWindow(AtspiRole role) {
    const auto* names = namesOf(role);
    return names && names->axRole == "AXWindow";
}

bool isMenu(AtspiRole role) {
    const auto* names = namesOf(role);
    return names && (names->axRole == "AXMenu" || names->axRole == "AXMenuItem");
}

// Whether the item's items sit in a menu of their own below it (Qt's and
// GTK 4's form): its first child. That menu is the item's submenu
// element, so the item answers no shortcut attribute, as a menu-bar item or
// an item with a submenu does for the callers.
bool holdsSubmenu(AtspiAccessible* item, AtspiRole role) {
    if (role == ATSPI_ROLE_MENU) return false;
    Failure failure;
    const int count = atspi_accessible_get_child_count(item, failure.out());
    if (failure || count <= 0) return false;
    const Owned first(atspi_accessible_get_child_at_index(item, 0, nullptr));
    if (!first) return false;
    const AtspiRole childRole = atspi_accessible_get_role(first.get(), nullptr);
    return childRole == ATSPI_ROLE_POPUP_MENU || childRole == ATSPI_ROLE_MENU;
}

bool hasState(AtspiAccessible* accessible, AtspiStateType state) {
    AtspiStateSet* states = atspi_accessible_get_state_set(accessible);
    const bool contains = states && atspi_state_set_contains(states, state);
    if (states) g_object_unref(states);
    return contains;
}

// GTK keeps the modal state on a popover or dialog that is not shown (a
// menu button's popover from the start); only a shown one blocks input.
bool isShownModal(AtspiAccessible* accessible) {
    return hasState(accessible, ATSPI_STATE_MODAL) && hasState(accessible, ATSPI_STATE_SHOWING);
}

std::vector<Owned> childrenOf(AtspiAccessible* accessible, Failure& failure) {
    std::vector<Owned> children;
    const int count = std::min(atspi_accessible_get_child_count(accessible, failure.out()), kMaxChildren);
    if (failure) return children;
    for (int index = 0; index < count; ++index) {
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, index, failure.out())) {
            children.emplace_back(child);
        }
        if (failure) return {};
    }
    return children;
}

// The first element under the roots, breadth first, that matches; a bounded
// number of elements is visited.
template <typename Match>
AtspiSearched search(std::vector<Owned> roots, Match match) {
    std::deque<Owned> queue(std::make_move_iterator(roots.begin()), std::make_move_iterator(roots.end()));
    for (std::size_t visited = 0; !queue.empty() && visited < kMaxSearched; ++visited) {
        Owned current = std::move(queue.front());
        queue.pop_front();
        if (match(current.get())) return {std::move(current), nullptr};
        Failure failure;
        auto children = childrenOf(current.get(), failure);
        if (failure) return {nullptr, std::move(current)};
        for (auto& child : children) queue.push_back(std::move(child));
    }
    return {};
}

std::vector<Owned> windowsOf(AtspiAccessible* application, Failure& failure) {
    auto children = childrenOf(application, failure);
    std::erase_if(children,
                  [](const Owned& child) { return !isWindow(atspi_accessible_get_role(child.get(), nullptr)); });
    return children;
}

std::optional<std::string> keyBindingOf(AtspiAccessible* accessible) {
    AtspiAction* action = atspi_accessible_get_action_iface(accessible);
    if (!action) return std::nullopt;
    Failure failure;
    std::optional<std::string> binding;
    if (atspi_action_get_n_actions(action, failure.out()) > 0) {
        binding = takeText(atspi_action_get_key_binding(action, 0, failure.out()));
    }
    g_object_unref(action);
    return failure ? std::nullopt : binding;
}

using OwnedText = std::unique_ptr<AtspiText, AtspiUnref>;
using OwnedComponent = std::unique_ptr<AtspiComponent, AtspiUnref>;

// The accessible's frame in screen pixels; none when the application did
// not answer.
std::optional<Rect> screenExtents(AtspiAccessible* accessible, Failure& failure) {
    const OwnedComponent component(atspi_accessible_get_component_iface(accessible));
    if (!component) return std::nullopt;
    AtspiRect* extents = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, failure.out());
    if (!extents) return std::nullopt;
    const Rect frame{double(extents->x), double(extents->y), double(extents->width), double(extents->height)};
    g_free(extents);
    if (failure) return std::nullopt;
    return frame;
}

// The whole text; none when the application did not answer.
std::optional<std::string> contentsOf(AtspiText* text, Failure& failure) {
    const int count = atspi_text_get_character_count(text, failure.out());
    if (failure) return std::nullopt;
    auto contents = takeText(atspi_text_get_text(text, 0, count, failure.out()));
    if (failure) return std::nullopt;
    return contents;
}

AXAttributeResult found(AXValue value) { return {axerror::success, std::move(value)}; }
AXAttributeResult missing() { return {axerror::noValue, std::nullopt}; }
AXAttributeResult failed(AXError error) { return {error, std::nullopt}; }

}  // namespace

AtspiTree::~AtspiTree() {
    for (auto& [number, entry] : entries_) g_object_unref(entry.accessible);
}

AtspiAccessible* AtspiTree::applicationOf(ProcessID pid) {
    Owned desktop(atspi_get_desktop(0));
    if (!desktop) return nullptr;
    Failure failure;
    for (auto& application : childrenOf(desktop.get(), failure)) {
        Failure pidFailure;
        if (static_cast<ProcessID>(atspi_accessible_get_process_id(application.get(), pidFailure.out())) == pid &&
            !pidFailure) {
            // The table keeps the reference.
            const auto element = elementOf(application.get());
            return entries_.at(element.identity()).accessible;
        }
    }
    return nullptr;
}

AXElement AtspiTree::elementOf(AtspiAccessible* accessible) {
    AtspiObject* object = ATSPI_OBJECT(accessible);
    std::pair<std::string, std::string> key{object->app && object->app->bus_name ? object->app->bus_name : "",
                                            object->path ? object->path : ""};
    if (const auto known = numbers_.find(key); known != numbers_.end()) {
        return AXElement(AXElement::Kind::node, known->second);
    }
    if (order_.size() >= maxElements) {
        const auto oldest = entries_.find(order_.front());
        order_.pop_front();
        numbers_.erase(oldest->second.key);
        g_object_unref(oldest->second.accessible);
        entries_.erase(oldest);
    }
    const std::int64_t number = nextNumber_++;
    numbers_.emplace(key, number);
    entries_.emplace(number, Entry{std::move(key), ATSPI_ACCESSIBLE(g_object_ref(accessible))});
    order_.push_back(number);
    return AXElement(AXElement::Kind::node, number);
}

std::vector<AXElement> AtspiTree::elementsOf(const std::vector<Owned>& accessibles) {
    std::vector<AXElement> elements;
    elements.reserve(accessibles.size());
    for (const auto& accessible : accessibles) elements.push_back(elementOf(accessible.get()));
    return elements;
}

std::pair<AtspiAccessible*, AXError> AtspiTree::resolve(const AXElement& element) {
    switch (element.kind()) {
    case AXElement::Kind::systemWide:
        return {nullptr, axerror::success};
    case AXElement::Kind::application:
        if (AtspiAccessible* application = applicationOf(static_cast<ProcessID>(element.identity()))) {
            return {application, axerror::success};
        }
        // A process without an accessibility connection (an X11 program,
        // or a toolkit that did not join the bus) runs without a tree: its
        // element answers no attribute. Only one that has ended is invalid.
        return {nullptr, linuxProcess(static_cast<ProcessID>(element.identity())).startTime
                             ? axerror::attributeUnsupported
                             : axerror::invalidUIElement};
    case AXElement::Kind::node:
        if (const auto entry = entries_.find(element.identity()); entry != entries_.end()) {
            return {entry->second.accessible, axerror::success};
        }
        return {nullptr, axerror::invalidUIElement};
    }
    return {nullptr, axerror::illegalArgument};
}

AXError AtspiTree::failureOf(AtspiAccessible* accessible) {
    AtspiObject* object = ATSPI_OBJECT(accessible);
    if (!object->app || !object->app->bus || !object->app->bus_name) return axerror::invalidUIElement;
    DBusError error;
    dbus_error_init(&error);
    const bool present = dbus_bus_name_has_owner(object->app->bus, object->app->bus_name, &error);
    const bool asked = !dbus_error_is_set(&error);
    dbus_error_free(&error);
    return asked && !present ? axerror::invalidUIElement : axerror::cannotComplete;
}

AXAttributeResult AtspiTree::copyAttribute(const AXElement& element, const std::string& name) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return failed(error);
    if (!accessible)
        return name == "AXRole" ? found(std::string("AXSystemWide")) : failed(axerror::attributeUnsupported);
    return element.kind() == AXElement::Kind::application ? applicationAttribute(accessible, name)
                                                          : nodeAttribute(accessible, name);
}

std::pair<int, AXError> AtspiTree::childCount(const AXElement& element) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return {0, error};
    if (!accessible) return {0, axerror::attributeUnsupported};
    Failure failure;
    const int count = atspi_accessible_get_child_count(accessible, failure.out());
    if (failure) return {0, failureOf(accessible)};
    return {std::clamp(count, 0, maxChildrenRead), axerror::success};
}

AXAttributeResult AtspiTree::children(const AXElement& element, int first, int count) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return failed(error);
    if (!accessible) return failed(axerror::attributeUnsupported);
    std::vector<Owned> read;
    for (int index = first; index < first + count; ++index) {
        Failure failure;
        AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, index, failure.out());
        if (failure) return failed(failureOf(accessible));
        // The list got shorter since it was counted.
        if (!child) break;
        read.emplace_back(child);
    }
    return found(elementsOf(read));
}

AXAttributeResult AtspiTree::applicationAttribute(AtspiAccessible* application, const std::string& name) {
    Failure failure;
    if (name == "AXRole") return found(std::string("AXApplication"));
    if (name == "AXTitle") {
        auto title = takeText(atspi_accessible_get_name(application, failure.out()));
        return failure ? failed(failureOf(application)) : found(std::move(title));
    }
    if (name != "AXWindows" && name != "AXChildren" && name != "AXFocusedWindow" && name != "AXMenuBar" &&
        name != "AXFocusedUIElement") {
        return failed(axerror::attributeUnsupported);
    }
    auto windows = windowsOf(application, failure);
    if (failure) return failed(failureOf(application));
    if (name == "AXWindows" || name == "AXChildren") return found(elementsOf(windows));

    // The active window first, then the others in order.
    std::stable_partition(windows.begin(), windows.end(),
                          [](const Owned& window) { return hasState(window.get(), ATSPI_STATE_ACTIVE); });
    const bool anyActive = !windows.empty() && hasState(windows.front().get(), ATSPI_STATE_ACTIVE);
    if (name == "AXFocusedWindow") return anyActive ? found(elementOf(windows.front().get())) : missing();
    if (name == "AXFocusedUIElement") {
        if (!anyActive) return missing();
        windows.resize(1);
        return searchedElement(search(
            std::move(windows), [](AtspiAccessible* candidate) { return hasState(candidate, ATSPI_STATE_FOCUSED); }));
    }
    return searchedElement(search(std::move(windows), [](AtspiAccessible* candidate) {
        return atspi_accessible_get_role(candidate, nullptr) == ATSPI_ROLE_MENU_BAR;
    }));
}

AXAttributeResult AtspiTree::searchedElement(const AtspiSearched& searched) {
    if (searched.unanswered) return failed(failureOf(searched.unanswered.get()));
    return searched.match ? found(elementOf(searched.match.get())) : missing();
}

AXAttributeResult AtspiTree::nodeAttribute(AtspiAccessible* node, const std::string& name) {
    Failure failure;
    const AtspiRole role = atspi_accessible_get_role(node, failure.out());
    if (failure) return failed(failureOf(node));
    const RoleNames* names = namesOf(role);

    if (name == "AXRole") {
        // A menu inside a menu bar or a menu is the item that opens it, with
        // its items as its own children: there is no separate menu element
        // below it, as the menu walk would otherwise take a nested submenu
        // for the item's menu. Whatever sits in the menu bar itself is a menu
        // bar item, as callers tell the bar's titles from the items below.
        if (isMenu(role)) {
            const Owned parent(atspi_accessible_get_parent(node, nullptr));
            const AtspiRole parentRole = parent ? atspi_accessible_get_role(parent.get(), nullptr) : ATSPI_ROLE_INVALID;
            if (parentRole == ATSPI_ROLE_MENU_BAR) return found(std::string("AXMenuBarItem"));
            if (role == ATSPI_ROLE_MENU && parentRole == ATSPI_ROLE_MENU) return found(std::string("AXMenuItem"));
            // A separator in a tool bar or a window is no menu item.
            if (role == ATSPI_ROLE_SEPARATOR && !isMenu(parentRole)) return found(std::string("AXUnknown"));
        }
        return found(std::string(names ? names->axRole : "AXUnknown"));
    }
    if (name == "AXSubrole") {
        return names && !names->axSubrole.empty() ? found(std::string(names->axSubrole)) : missing();
    }
    if (name == "AXTitle" || name == "AXDescription" || name == "AXHelp") {
        auto text = takeText(name == "AXTitle" ? atspi_accessible_get_name(node, failure.out())
                                               : atspi_accessible_get_description(node, failure.out()));
        return failure ? failed(failureOf(node)) : found(std::move(text));
    }
    if (name == "AXEnabled") {
        return found(hasState(node, ATSPI_STATE_ENABLED) && hasState(node, ATSPI_STATE_SENSITIVE));
    }
    if (name == "AXModal") return found(isShownModal(node));
    if (name == "AXMinimized") {
        return isWindow(role) ? found(hasState(node, ATSPI_STATE_ICONIFIED)) : failed(axerror::attributeUnsupported);
    }
    if (name == "AXMenuItemCmdChar" || name == "AXMenuItemCmdModifiers") {
        // Menus and their items answer even without a shortcut, so the
        // menu walk reads their own children as their submenu; an item
        // whose items sit in a menu below it does not, so the walk steps
        // into that menu.
        if (!isMenu(role) || holdsSubmenu(node, role)) return failed(axerror::attributeUnsupported);
        const auto binding = keyBindingOf(node);
        const auto shortcut =
            binding ? menuShortcutOfKeyBinding(*binding, takeText(atspi_accessible_get_name(node, nullptr)))
                    : std::nullopt;
        if (!shortcut) return name == "AXMenuItemCmdChar" ? AXAttributeResult{axerror::success, {}} : missing();
        return name == "AXMenuItemCmdChar" ? found(shortcut->character) : found(shortcut->modifiers);
    }
    if (name == "AXPosition" || name == "AXSize") {
        if (!OwnedComponent(atspi_accessible_get_component_iface(node))) return failed(axerror::attributeUnsupported);
        const auto frame = screenExtents(node, failure);
        if (!frame) return failed(failureOf(node));
        if (name == "AXPosition") return found(frame->origin());
        return found(frame->size());
    }
    if (name == "AXValue") {
        const OwnedText text(atspi_accessible_get_text_iface(node));
        if (!text) return failed(axerror::attributeUnsupported);
        auto contents = contentsOf(text.get(), failure);
        return contents ? found(std::move(*contents)) : failed(failureOf(node));
    }
    if (name == "AXSelectedTextRange") return selectedTextRange(node);
    if (name == "AXCancelButton" || name == "AXCloseButton") {
        if (!isShownModal(node)) return missing();
        const auto labels = toolkitButtonNames(name == "AXCancelButton" ? DismissButton::cancel : DismissButton::close);
        std::vector<Owned> roots;
        roots.emplace_back(ATSPI_ACCESSIBLE(g_object_ref(node)));
        return searchedElement(search(std::move(roots), [&](AtspiAccessible* candidate) {
            if (atspi_accessible_get_role(candidate, nullptr) != ATSPI_ROLE_PUSH_BUTTON) return false;
            const auto title = takeText(atspi_accessible_get_name(candidate, nullptr));
            return std::find(labels.begin(), labels.end(), title) != labels.end();
        }));
    }
    return failed(axerror::attributeUnsupported);
}

AXAttributeResult AtspiTree::selectedTextRange(AtspiAccessible* node) {
    const OwnedText text(atspi_accessible_get_text_iface(node));
    if (!text) return failed(axerror::attributeUnsupported);
    Failure failure;
    const auto contents = contentsOf(text.get(), failure);
    if (!contents) return failed(failureOf(node));
    const int selections = atspi_text_get_n_selections(text.get(), failure.out());
    if (failure) return failed(failureOf(node));
    int start = 0;
    int end = 0;
    if (selections > 0) {
        AtspiRange* selection = atspi_text_get_selection(text.get(), 0, failure.out());
        if (selection) {
            start = std::min(selection->start_offset, selection->end_offset);
            end = std::max(selection->start_offset, selection->end_offset);
            g_free(selection);
        }
        if (failure || !selection) return failed(failureOf(node));
    } else {
        // Without a selection the range is the caret's, empty.
        start = end = atspi_text_get_caret_offset(text.get(), failure.out());
        if (failure) return failed(failureOf(node));
    }
    return found(utf16RangeOfCharacters(*contents, start, end));
}

AXError AtspiTree::setSelectedTextRange(AtspiAccessible* node, const TextRange& range) {
    const OwnedText text(atspi_accessible_get_text_iface(node));
    if (!text) return axerror::attributeUnsupported;
    Failure failure;
    const auto contents = contentsOf(text.get(), failure);
    if (!contents) return failureOf(node);
    const auto characters = characterRangeOfUtf16(*contents, range);
    if (!characters) return axerror::illegalArgument;
    bool done = false;
    if (characters->start == characters->end) {
        // Moving the caret also ends a selection.
        done = atspi_text_set_caret_offset(text.get(), characters->start, failure.out());
    } else {
        const int selections = atspi_text_get_n_selections(text.get(), failure.out());
        if (!failure) {
            done = selections > 0
                       ? atspi_text_set_selection(text.get(), 0, characters->start, characters->end, failure.out())
                       : atspi_text_add_selection(text.get(), characters->start, characters->end, failure.out());
        }
    }
    if (failure) return failureOf(node);
    return done ? axerror::success : axerror::cannotComplete;
}

AXError AtspiTree::setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return error;
    if (!accessible || element.kind() != AXElement::Kind::node) return axerror::attributeUnsupported;
    if (name == "AXSelectedTextRange") {
        const auto* range = std::get_if<TextRange>(&value);
        return range ? setSelectedTextRange(accessible, *range) : axerror::illegalArgument;
    }
    if (name != "AXValue") return axerror::attributeUnsupported;
    const auto* text = std::get_if<std::string>(&value);
    // The bus carries only well-formed UTF-8 without NUL; the bus library
    // would end the process on anything else.
    if (!text || text->find('\0') != std::string::npos ||
        !g_utf8_validate(text->data(), static_cast<gssize>(text->size()), nullptr)) {
        return axerror::illegalArgument;
    }
    const std::unique_ptr<AtspiEditableText, AtspiUnref> editable(atspi_accessible_get_editable_text_iface(accessible));
    if (!editable) return axerror::attributeUnsupported;
    Failure failure;
    const bool done = atspi_editable_text_set_text_contents(editable.get(), text->c_str(), failure.out());
    if (failure) return failureOf(accessible);
    return done ? axerror::success : axerror::cannotComplete;
}

AtspiTree::WindowLookup AtspiTree::windowOf(const AXElement& element) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return {error, {}};
    if (!accessible || element.kind() != AXElement::Kind::node) return {axerror::attributeUnsupported, {}};
    Failure failure;
    const AtspiRole role = atspi_accessible_get_role(accessible, failure.out());
    if (failure) return {failureOf(accessible), {}};
    if (!isWindow(role)) return {axerror::attributeUnsupported, {}};
    AccessibleWindow window;
    window.pid = static_cast<ProcessID>(atspi_accessible_get_process_id(accessible, failure.out()));
    if (!failure) window.title = takeText(atspi_accessible_get_name(accessible, failure.out()));
    std::optional<Rect> frame;
    if (!failure) frame = screenExtents(accessible, failure);
    if (!frame) return {failureOf(accessible), {}};
    window.frame = *frame;
    return {axerror::success, std::move(window)};
}

AXError AtspiTree::performAction(const AXElement& element, const std::string& action) {
    const auto [accessible, error] = resolve(element);
    if (error != axerror::success) return error;
    if (!accessible || action != "AXPress") return axerror::actionUnsupported;
    AtspiAction* actions = atspi_accessible_get_action_iface(accessible);
    if (!actions) return axerror::actionUnsupported;
    Failure failure;
    const bool done = atspi_action_do_action(actions, 0, failure.out());
    g_object_unref(actions);
    if (failure) return failureOf(accessible);
    return done ? axerror::success : axerror::cannotComplete;
}

}  // namespace zentrabo::platform
