#include "platform/desktop/atspi/atspi_tree.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/desktop/atspi/atspi_menu_shortcut.hpp"
#include "platform/desktop/atspi/atspi_text_offsets.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/atspi/toolkit_button_labels.hpp"

namespace zentrabo::platform {

// What a search found: the first match, or the object whose children could
// not be read, which ends the search: an application that does not answer
// must not pass for one without a match.
struct AtspiSearched {
    std::optional<AccessibleRef> match;
    std::optional<AccessibleRef> unanswered;
};

namespace {

// The elements a search for a menu bar, a focused element or a dialog's
// button visits at most.
constexpr std::size_t kMaxSearched = 4000;
// Where the registry lists the applications, and where each keeps its root.
const AccessibleRef kRegistryRoot{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
// What stands for "no object" in a reply.
constexpr std::string_view kNullPath = "/org/a11y/atspi/null";

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kEditableText = "org.a11y.atspi.EditableText";

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

std::optional<AccessibleRef> refIn(GVariant* pair) {
    const gchar* bus = nullptr;
    const gchar* path = nullptr;
    g_variant_get(pair, "(&s&o)", &bus, &path);
    if (!bus || !path || !*bus || kNullPath == path) return std::nullopt;
    return AccessibleRef{bus, path};
}

std::optional<AtspiRole> roleOfRef(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto reply = bus.call(ref, kAccessible, "GetRole", nullptr, "(u)");
    if (!reply) return std::nullopt;
    guint32 role = 0;
    g_variant_get(reply.value.get(), "(u)", &role);
    return static_cast<AtspiRole>(role);
}

std::optional<std::string> textOf(const AtspiReply& reply) {
    if (!reply || !g_variant_is_of_type(reply.value.get(), G_VARIANT_TYPE_STRING)) return std::nullopt;
    return std::string(g_variant_get_string(reply.value.get(), nullptr));
}

std::optional<int> numberOf(const AtspiReply& reply) {
    if (!reply || !g_variant_is_of_type(reply.value.get(), G_VARIANT_TYPE_INT32)) return std::nullopt;
    return g_variant_get_int32(reply.value.get());
}

// The states a GetState reply gives, as one set of bits numbered as the bus
// numbers them.
std::uint64_t statesIn(const AtspiReply& reply) {
    GVariant* words = g_variant_get_child_value(reply.value.get(), 0);
    std::uint64_t states = 0;
    const gsize count = std::min<gsize>(g_variant_n_children(words), 2);
    for (gsize index = 0; index < count; ++index) {
        guint32 word = 0;
        g_variant_get_child(words, index, "u", &word);
        states |= std::uint64_t{word} << (32 * index);
    }
    g_variant_unref(words);
    return states;
}

// The object's states.
std::optional<std::uint64_t> readStates(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto reply = bus.call(ref, kAccessible, "GetState", nullptr, "(au)");
    if (!reply) return std::nullopt;
    return statesIn(reply);
}

bool has(std::uint64_t states, AtspiStateType state) { return (states >> state) & 1U; }

bool hasState(AtspiConnection& bus, const AccessibleRef& ref, AtspiStateType state) {
    const auto states = readStates(bus, ref);
    return states && has(*states, state);
}

// GTK keeps the modal state on a popover or dialog that is not shown (a
// menu button's popover from the start); only a shown one blocks input.
bool isShownModal(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto states = readStates(bus, ref);
    return states && has(*states, ATSPI_STATE_MODAL) && has(*states, ATSPI_STATE_SHOWING);
}

// The children by index, for applications that do not list them in one call.
std::optional<std::vector<AccessibleRef>> childrenByIndex(AtspiConnection& bus, const AccessibleRef& ref, int first,
                                                          int count) {
    std::vector<AccessibleRef> children;
    for (int index = first; index < first + count; ++index) {
        const auto reply = bus.call(ref, kAccessible, "GetChildAtIndex", g_variant_new("(i)", index), "((so))");
        if (!reply) return std::nullopt;
        GVariant* pair = g_variant_get_child_value(reply.value.get(), 0);
        auto child = refIn(pair);
        g_variant_unref(pair);
        // The list got shorter since it was counted.
        if (!child) break;
        children.push_back(std::move(*child));
    }
    return children;
}

std::optional<int> childCountOf(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto count = numberOf(bus.property(ref, kAccessible, "ChildCount"));
    if (!count) return std::nullopt;
    return std::clamp(*count, 0, AtspiTree::maxChildrenRead);
}

// The children a listing of them in one call gave (at most maxChildrenRead).
std::vector<AccessibleRef> listedChildren(const AtspiReply& reply) {
    GVariant* list = g_variant_get_child_value(reply.value.get(), 0);
    const gsize count = std::min<gsize>(g_variant_n_children(list), AtspiTree::maxChildrenRead);
    std::vector<AccessibleRef> children;
    children.reserve(count);
    for (gsize index = 0; index < count; ++index) {
        GVariant* pair = g_variant_get_child_value(list, index);
        if (auto child = refIn(pair)) children.push_back(std::move(*child));
        g_variant_unref(pair);
    }
    g_variant_unref(list);
    return children;
}

// Every child, in one call where the application lists them so; none when
// it did not answer.
std::optional<std::vector<AccessibleRef>> childrenOf(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto reply = bus.call(ref, kAccessible, "GetChildren", nullptr, "(a(so))");
    if (reply.failure == AtspiReply::Failure::unsupported) {
        const auto count = childCountOf(bus, ref);
        if (!count) return std::nullopt;
        return childrenByIndex(bus, ref, 0, *count);
    }
    if (!reply) return std::nullopt;
    return listedChildren(reply);
}

// The first object under the roots, breadth first, that matches; a bounded
// number of objects is visited.
template <typename Match>
AtspiSearched search(AtspiConnection& bus, std::vector<AccessibleRef> roots, Match match) {
    std::deque<AccessibleRef> queue(roots.begin(), roots.end());
    for (std::size_t visited = 0; !queue.empty() && visited < kMaxSearched; ++visited) {
        AccessibleRef current = std::move(queue.front());
        queue.pop_front();
        if (match(current)) return {std::move(current), std::nullopt};
        auto children = childrenOf(bus, current);
        if (!children) return {std::nullopt, std::move(current)};
        for (auto& child : *children) queue.push_back(std::move(child));
    }
    return {};
}

std::optional<std::vector<AccessibleRef>> windowsOf(AtspiConnection& bus, const AccessibleRef& application) {
    auto children = childrenOf(bus, application);
    if (!children) return std::nullopt;
    std::erase_if(*children, [&](const AccessibleRef& child) {
        const auto role = roleOfRef(bus, child);
        return !role || !isWindow(*role);
    });
    return children;
}

std::optional<std::string> keyBindingIn(const AtspiReply& reply) {
    if (!reply) return std::nullopt;
    const gchar* binding = nullptr;
    g_variant_get(reply.value.get(), "(&s)", &binding);
    return std::string(binding ? binding : "");
}

// The shortcut a key binding names, when the object has an action now
// (GTK withdraws a menu item's action while it cannot be chosen).
std::optional<MenuShortcut> shortcutIn(AtspiConnection& bus, const AccessibleRef& ref,
                                       const std::optional<std::string>& binding, const std::string& title) {
    auto shortcut = binding ? menuShortcutOfKeyBinding(*binding, title) : std::nullopt;
    if (!shortcut) return std::nullopt;
    const auto actions = numberOf(bus.property(ref, kAction, "NActions"));
    if (!actions || *actions <= 0) return std::nullopt;
    return shortcut;
}

// A property read of a batch, unwrapped from its variant.
AtspiReply unwrapped(AtspiReply reply) {
    if (!reply) return reply;
    GVariant* value = nullptr;
    g_variant_get(reply.value.get(), "(v)", &value);
    return {OwnedVariant(value), AtspiReply::Failure::none};
}

AtspiCall propertyCall(const AccessibleRef& ref, const char* interface, const char* name) {
    return {ref, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name), "(v)"};
}

// The object's frame in screen pixels, or why there is none.
std::pair<std::optional<Rect>, AtspiReply::Failure> screenExtents(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto reply =
        bus.call(ref, kComponent, "GetExtents", g_variant_new("(u)", guint32{ATSPI_COORD_TYPE_SCREEN}), "((iiii))");
    if (!reply) return {std::nullopt, reply.failure};
    gint32 x = 0, y = 0, width = 0, height = 0;
    g_variant_get(reply.value.get(), "((iiii))", &x, &y, &width, &height);
    return {Rect{double(x), double(y), double(width), double(height)}, AtspiReply::Failure::none};
}

// The whole text, or why there is none.
std::pair<std::optional<std::string>, AtspiReply::Failure> contentsOf(AtspiConnection& bus, const AccessibleRef& ref) {
    const auto counted = bus.property(ref, kText, "CharacterCount");
    const auto count = numberOf(counted);
    if (!count) return {std::nullopt, counted ? AtspiReply::Failure::failed : counted.failure};
    const auto reply = bus.call(ref, kText, "GetText", g_variant_new("(ii)", 0, *count), "(s)");
    if (!reply) return {std::nullopt, reply.failure};
    const gchar* text = nullptr;
    g_variant_get(reply.value.get(), "(&s)", &text);
    return {std::string(text ? text : ""), AtspiReply::Failure::none};
}

// A call answered with a flag; none when it was not answered.
std::optional<bool> flagReply(const AtspiReply& reply) {
    if (!reply) return std::nullopt;
    gboolean done = FALSE;
    g_variant_get(reply.value.get(), "(b)", &done);
    return done != FALSE;
}

AXAttributeResult found(AXValue value) { return {axerror::success, std::move(value)}; }
AXAttributeResult missing() { return {axerror::noValue, std::nullopt}; }
AXAttributeResult failed(AXError error) { return {error, std::nullopt}; }

}  // namespace

void AtspiTree::connect(std::shared_ptr<AtspiConnection> connection) {
    connection_ = std::move(connection);
    ++generation_;
    numbers_.clear();
    entries_.clear();
    order_.clear();
    processes_.clear();
}

void AtspiTree::setTimeout(std::chrono::milliseconds timeout) {
    timeout_ = timeout;
    if (connection_) connection_->setTimeout(timeout);
}

std::optional<ProcessID> AtspiTree::processOf(const std::string& bus) {
    if (const auto known = processes_.find(bus); known != processes_.end()) return known->second;
    const auto pid = connection_->processOf(bus);
    if (!pid) return std::nullopt;
    // Names are not reused on one bus, but applications come and go.
    if (processes_.size() >= maxElements) processes_.clear();
    processes_.emplace(bus, *pid);
    return pid;
}

AtspiTree::Entry* AtspiTree::applicationOf(ProcessID pid) {
    const auto applications = childrenOf(*connection_, kRegistryRoot);
    if (!applications) return nullptr;
    for (const auto& application : *applications) {
        if (processOf(application.bus) == pid) return &entries_.at(elementOf(application).identity());
    }
    return nullptr;
}

AXElement AtspiTree::elementOf(const AccessibleRef& ref) {
    if (const auto known = numbers_.find(ref); known != numbers_.end()) {
        return AXElement(AXElement::Kind::node, known->second);
    }
    if (order_.size() >= maxElements) {
        const auto oldest = entries_.find(order_.front());
        order_.pop_front();
        numbers_.erase(oldest->second.ref);
        entries_.erase(oldest);
    }
    const std::int64_t number = nextNumber_++;
    numbers_.emplace(ref, number);
    entries_.emplace(number, Entry{ref, std::nullopt, nullptr, 0, 0, std::nullopt});
    order_.push_back(number);
    return AXElement(AXElement::Kind::node, number);
}

std::vector<AXElement> AtspiTree::elementsOf(const std::vector<AccessibleRef>& refs) {
    std::vector<AXElement> elements;
    elements.reserve(refs.size());
    for (const auto& ref : refs) elements.push_back(elementOf(ref));
    return elements;
}

std::pair<AtspiTree::Entry*, AXError> AtspiTree::resolve(const AXElement& element) {
    if (!connection_) return {nullptr, axerror::invalidUIElement};
    switch (element.kind()) {
    case AXElement::Kind::systemWide:
        return {nullptr, axerror::success};
    case AXElement::Kind::application:
        if (Entry* application = applicationOf(static_cast<ProcessID>(element.identity()))) {
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
            return {&entry->second, axerror::success};
        }
        return {nullptr, axerror::invalidUIElement};
    }
    return {nullptr, axerror::illegalArgument};
}

std::optional<AtspiRole> AtspiTree::roleOf(Entry& entry) {
    if (!entry.role) entry.role = roleOfRef(*connection_, entry.ref);
    return entry.role;
}

void AtspiTree::prefetch(const Entry& first) {
    const auto siblings = first.siblings;
    const std::size_t begin = first.index;
    const std::size_t end = std::min(siblings->size(), begin + prefetchedAtOnce);
    // Name, states, key binding, child count, role.
    constexpr std::size_t callsEach = 5;
    std::vector<AtspiCall> calls;
    calls.reserve((end - begin) * callsEach);
    for (std::size_t index = begin; index < end; ++index) {
        const auto& ref = (*siblings)[index];
        calls.push_back(propertyCall(ref, kAccessible, "Name"));
        calls.push_back({ref, kAccessible, "GetState", nullptr, "(au)"});
        calls.push_back({ref, kAction, "GetKeyBinding", g_variant_new("(i)", 0), "(s)"});
        calls.push_back(propertyCall(ref, kAccessible, "ChildCount"));
        calls.push_back({ref, kAccessible, "GetRole", nullptr, "(u)"});
    }
    auto replies = connection_->callAll(calls);
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t index = begin; index < end; ++index) {
        const auto number = numbers_.find((*siblings)[index]);
        if (number == numbers_.end()) continue;
        Entry& entry = entries_.at(number->second);
        // Found in a later listing since.
        if (entry.siblings != siblings) continue;
        auto* reply = &replies[(index - begin) * callsEach];
        Prefetched fetched{now, generation_, {}, {}, {}, {}};
        fetched.name = textOf(unwrapped(std::move(reply[0])));
        if (reply[1]) fetched.states = statesIn(reply[1]);
        fetched.keyBinding = keyBindingIn(reply[2]);
        if (const auto count = numberOf(unwrapped(std::move(reply[3])))) {
            fetched.childCount = std::clamp(*count, 0, maxChildrenRead);
        }
        if (reply[4] && !entry.role) {
            guint32 role = 0;
            g_variant_get(reply[4].value.get(), "(u)", &role);
            entry.role = static_cast<AtspiRole>(role);
        }
        entry.prefetched = std::move(fetched);
    }
}

const AtspiTree::Prefetched* AtspiTree::prefetchedOf(Entry& entry) {
    const auto fresh = [&] {
        return entry.prefetched && entry.prefetched->generation == generation_ &&
               std::chrono::steady_clock::now() - entry.prefetched->at < freshFor;
    };
    if (fresh()) return &*entry.prefetched;
    if (!entry.siblings) return nullptr;
    prefetch(entry);
    return fresh() ? &*entry.prefetched : nullptr;
}

std::optional<std::string> AtspiTree::nameOf(Entry& entry) {
    if (const auto* fetched = prefetchedOf(entry); fetched && fetched->name) return fetched->name;
    return textOf(connection_->property(entry.ref, kAccessible, "Name"));
}

std::optional<std::uint64_t> AtspiTree::statesOf(Entry& entry) {
    if (const auto* fetched = prefetchedOf(entry); fetched && fetched->states) return fetched->states;
    return readStates(*connection_, entry.ref);
}

std::optional<MenuShortcut> AtspiTree::shortcutOf(Entry& entry) {
    auto& bus = *connection_;
    const auto* fetched = prefetchedOf(entry);
    const auto binding =
        fetched ? fetched->keyBinding
                : keyBindingIn(bus.call(entry.ref, kAction, "GetKeyBinding", g_variant_new("(i)", 0), "(s)"));
    // Few items have a binding: only theirs cost a call for the actions.
    if (!binding || binding->empty()) return std::nullopt;
    return shortcutIn(bus, entry.ref, binding, nameOf(entry).value_or(""));
}

// Whether the item's items sit in a menu of their own below it (Qt's and
// GTK 4's form): its first child. That menu is the item's submenu element,
// so the item answers no shortcut attribute, as a menu-bar item or an item
// with a submenu does for the callers.
bool AtspiTree::holdsSubmenu(Entry& item, AtspiRole role) {
    if (role == ATSPI_ROLE_MENU) return false;
    const auto* fetched = prefetchedOf(item);
    const auto count = fetched && fetched->childCount ? fetched->childCount : childCountOf(*connection_, item.ref);
    if (!count || *count <= 0) return false;
    const auto first = childrenByIndex(*connection_, item.ref, 0, 1);
    if (!first || first->empty()) return false;
    const auto childRole = roleOfRef(*connection_, first->front());
    return childRole == ATSPI_ROLE_POPUP_MENU || childRole == ATSPI_ROLE_MENU;
}

AXError AtspiTree::failureOf(const AccessibleRef& ref) {
    if (connection_->isClosed()) return axerror::invalidUIElement;
    return connection_->hasOwner(ref.bus) == false ? axerror::invalidUIElement : axerror::cannotComplete;
}

AXAttributeResult AtspiTree::copyAttribute(const AXElement& element, const std::string& name) {
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return failed(error);
    if (!entry) return name == "AXRole" ? found(std::string("AXSystemWide")) : failed(axerror::attributeUnsupported);
    return element.kind() == AXElement::Kind::application ? applicationAttribute(*entry, name)
                                                          : nodeAttribute(*entry, name);
}

std::optional<AXAttributeResult> AtspiTree::allChildren(const AXElement& element) {
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return failed(error);
    if (!entry) return failed(axerror::attributeUnsupported);
    if (const auto* fetched = prefetchedOf(*entry); fetched && fetched->childCount == 0) {
        return found(std::vector<AXElement>{});
    }
    const auto reply = connection_->call(entry->ref, kAccessible, "GetChildren", nullptr, "(a(so))");
    if (reply.failure == AtspiReply::Failure::unsupported) return std::nullopt;
    if (!reply) return failed(failureOf(entry->ref));
    // What the caller reads of them next is fetched in batches (prefetch).
    const auto listing = std::make_shared<const std::vector<AccessibleRef>>(listedChildren(reply));
    auto elements = elementsOf(*listing);
    for (std::size_t index = 0; index < elements.size(); ++index) {
        if (const auto child = entries_.find(elements[index].identity()); child != entries_.end()) {
            child->second.siblings = listing;
            child->second.index = index;
            child->second.parent = element.identity();
            child->second.prefetched.reset();
        }
    }
    return found(std::move(elements));
}

std::pair<int, AXError> AtspiTree::childCount(const AXElement& element) {
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return {0, error};
    if (!entry) return {0, axerror::attributeUnsupported};
    if (const auto* fetched = prefetchedOf(*entry); fetched && fetched->childCount)
        return {*fetched->childCount, axerror::success};
    const auto count = childCountOf(*connection_, entry->ref);
    if (!count) return {0, failureOf(entry->ref)};
    return {*count, axerror::success};
}

AXAttributeResult AtspiTree::children(const AXElement& element, int first, int count) {
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return failed(error);
    if (!entry) return failed(axerror::attributeUnsupported);
    const AccessibleRef parent = entry->ref;
    const auto read = childrenByIndex(*connection_, parent, first, count);
    if (!read) return failed(failureOf(parent));
    return found(elementsOf(*read));
}

AXAttributeResult AtspiTree::applicationAttribute(Entry& application, const std::string& name) {
    auto& bus = *connection_;
    const AccessibleRef root = application.ref;
    // Found among the registry's applications: it is on the bus.
    if (name == "AXRole") return found(std::string("AXApplication"));
    if (name == "AXTitle") {
        auto title = textOf(bus.property(root, kAccessible, "Name"));
        return title ? found(std::move(*title)) : failed(failureOf(root));
    }
    if (name != "AXWindows" && name != "AXChildren" && name != "AXFocusedWindow" && name != "AXMenuBar" &&
        name != "AXFocusedUIElement") {
        return failed(axerror::attributeUnsupported);
    }
    auto windows = windowsOf(bus, root);
    if (!windows) return failed(failureOf(root));
    if (name == "AXWindows" || name == "AXChildren") return found(elementsOf(*windows));

    // The active window first, then the others in order.
    std::stable_partition(windows->begin(), windows->end(),
                          [&](const AccessibleRef& window) { return hasState(bus, window, ATSPI_STATE_ACTIVE); });
    const bool anyActive = !windows->empty() && hasState(bus, windows->front(), ATSPI_STATE_ACTIVE);
    if (name == "AXFocusedWindow") return anyActive ? found(elementOf(windows->front())) : missing();
    if (name == "AXFocusedUIElement") {
        if (!anyActive) return missing();
        windows->resize(1);
        return searchedElement(search(bus, std::move(*windows), [&](const AccessibleRef& candidate) {
            return hasState(bus, candidate, ATSPI_STATE_FOCUSED);
        }));
    }
    return searchedElement(search(bus, std::move(*windows), [&](const AccessibleRef& candidate) {
        return roleOfRef(bus, candidate) == ATSPI_ROLE_MENU_BAR;
    }));
}

AXAttributeResult AtspiTree::searchedElement(const AtspiSearched& searched) {
    if (searched.unanswered) return failed(failureOf(*searched.unanswered));
    return searched.match ? found(elementOf(*searched.match)) : missing();
}

AXAttributeResult AtspiTree::roleName(Entry& node, AtspiRole role) {
    // A menu inside a menu bar or a menu is the item that opens it, with its
    // items as its own children: there is no separate menu element below
    // it, as the menu walk would otherwise take a nested submenu for the
    // item's menu. Whatever sits in the menu bar itself is a menu bar item,
    // as callers tell the bar's titles from the items below.
    if (isMenu(role)) {
        std::optional<AtspiRole> parentRole;
        if (const auto listedIn = entries_.find(node.parent); listedIn != entries_.end()) {
            parentRole = roleOf(listedIn->second);
        } else {
            const auto parentReply = connection_->property(node.ref, kAccessible, "Parent");
            std::optional<AccessibleRef> parent;
            if (parentReply && g_variant_is_of_type(parentReply.value.get(), G_VARIANT_TYPE("(so)"))) {
                parent = refIn(parentReply.value.get());
            }
            if (parent) parentRole = roleOfRef(*connection_, *parent);
        }
        if (parentRole == ATSPI_ROLE_MENU_BAR) return found(std::string("AXMenuBarItem"));
        if (role == ATSPI_ROLE_MENU && parentRole == ATSPI_ROLE_MENU) return found(std::string("AXMenuItem"));
        // A separator in a tool bar or a window is no menu item.
        if (role == ATSPI_ROLE_SEPARATOR && !(parentRole && isMenu(*parentRole))) {
            return found(std::string("AXUnknown"));
        }
    }
    const RoleNames* names = namesOf(role);
    return found(std::string(names ? names->axRole : "AXUnknown"));
}

AXAttributeResult AtspiTree::nodeAttribute(Entry& node, const std::string& name) {
    auto& bus = *connection_;
    const AccessibleRef ref = node.ref;
    if (name == "AXTitle" || name == "AXDescription" || name == "AXHelp") {
        auto text = name == "AXTitle" ? nameOf(node) : textOf(bus.property(ref, kAccessible, "Description"));
        return text ? found(std::move(*text)) : failed(failureOf(ref));
    }
    if (name == "AXEnabled" || name == "AXModal") {
        const auto states = statesOf(node);
        if (!states) return failed(failureOf(ref));
        if (name == "AXModal") return found(has(*states, ATSPI_STATE_MODAL) && has(*states, ATSPI_STATE_SHOWING));
        return found(has(*states, ATSPI_STATE_ENABLED) && has(*states, ATSPI_STATE_SENSITIVE));
    }
    if (name == "AXValue") {
        auto [contents, failure] = contentsOf(bus, ref);
        if (contents) return found(std::move(*contents));
        return failed(failure == AtspiReply::Failure::unsupported ? axerror::attributeUnsupported : failureOf(ref));
    }
    if (name == "AXSelectedTextRange") return selectedTextRange(ref);
    if (name == "AXPosition" || name == "AXSize") {
        const auto [frame, failure] = screenExtents(bus, ref);
        if (!frame) {
            return failed(failure == AtspiReply::Failure::unsupported ? axerror::attributeUnsupported : failureOf(ref));
        }
        if (name == "AXPosition") return found(frame->origin());
        return found(frame->size());
    }
    if (name == "AXCancelButton" || name == "AXCloseButton") {
        if (!isShownModal(bus, ref)) return missing();
        const auto labels = toolkitButtonNames(name == "AXCancelButton" ? DismissButton::cancel : DismissButton::close);
        return searchedElement(search(bus, {ref}, [&](const AccessibleRef& candidate) {
            if (roleOfRef(bus, candidate) != ATSPI_ROLE_PUSH_BUTTON) return false;
            const auto title = textOf(bus.property(candidate, kAccessible, "Name"));
            return title && std::find(labels.begin(), labels.end(), *title) != labels.end();
        }));
    }

    const auto role = roleOf(node);
    if (!role) return failed(failureOf(ref));
    const RoleNames* names = namesOf(*role);
    if (name == "AXRole") return roleName(node, *role);
    if (name == "AXSubrole") {
        return names && !names->axSubrole.empty() ? found(std::string(names->axSubrole)) : missing();
    }
    if (name == "AXMenuItemCmdChar" || name == "AXMenuItemCmdModifiers") {
        // Menus and their items answer even without a shortcut, so the
        // menu walk reads their own children as their submenu; an item
        // whose items sit in a menu below it does not, so the walk steps
        // into that menu.
        if (!isMenu(*role) || holdsSubmenu(node, *role)) return failed(axerror::attributeUnsupported);
        const auto shortcut = shortcutOf(node);
        if (!shortcut) return name == "AXMenuItemCmdChar" ? AXAttributeResult{axerror::success, {}} : missing();
        return name == "AXMenuItemCmdChar" ? found(shortcut->character) : found(shortcut->modifiers);
    }
    return failed(axerror::attributeUnsupported);
}

AXAttributeResult AtspiTree::selectedTextRange(const AccessibleRef& node) {
    auto& bus = *connection_;
    const auto [contents, failure] = contentsOf(bus, node);
    if (!contents) {
        return failed(failure == AtspiReply::Failure::unsupported ? axerror::attributeUnsupported : failureOf(node));
    }
    const auto selections = bus.call(node, kText, "GetNSelections", nullptr, "(i)");
    if (!selections) return failed(failureOf(node));
    gint32 count = 0;
    g_variant_get(selections.value.get(), "(i)", &count);
    int start = 0;
    int end = 0;
    if (count > 0) {
        const auto selection = bus.call(node, kText, "GetSelection", g_variant_new("(i)", 0), "(ii)");
        if (!selection) return failed(failureOf(node));
        gint32 from = 0, to = 0;
        g_variant_get(selection.value.get(), "(ii)", &from, &to);
        start = std::min(from, to);
        end = std::max(from, to);
    } else {
        // Without a selection the range is the caret's, empty.
        const auto caret = numberOf(bus.property(node, kText, "CaretOffset"));
        if (!caret) return failed(failureOf(node));
        start = end = *caret;
    }
    return found(utf16RangeOfCharacters(*contents, start, end));
}

AXError AtspiTree::setSelectedTextRange(const AccessibleRef& node, const TextRange& range) {
    auto& bus = *connection_;
    const auto [contents, failure] = contentsOf(bus, node);
    if (!contents) return failure == AtspiReply::Failure::unsupported ? axerror::attributeUnsupported : failureOf(node);
    const auto characters = characterRangeOfUtf16(*contents, range);
    if (!characters) return axerror::illegalArgument;
    std::optional<bool> done;
    if (characters->start == characters->end) {
        // Moving the caret also ends a selection.
        done = flagReply(bus.call(node, kText, "SetCaretOffset", g_variant_new("(i)", characters->start), "(b)"));
    } else {
        const auto selections = bus.call(node, kText, "GetNSelections", nullptr, "(i)");
        if (!selections) return failureOf(node);
        gint32 count = 0;
        g_variant_get(selections.value.get(), "(i)", &count);
        done = flagReply(count > 0 ? bus.call(node, kText, "SetSelection",
                                              g_variant_new("(iii)", 0, characters->start, characters->end), "(b)")
                                   : bus.call(node, kText, "AddSelection",
                                              g_variant_new("(ii)", characters->start, characters->end), "(b)"));
    }
    if (!done) return failureOf(node);
    return *done ? axerror::success : axerror::cannotComplete;
}

AXError AtspiTree::setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    ++generation_;
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return error;
    if (!entry || element.kind() != AXElement::Kind::node) return axerror::attributeUnsupported;
    if (name == "AXSelectedTextRange") {
        const auto* range = std::get_if<TextRange>(&value);
        return range ? setSelectedTextRange(entry->ref, *range) : axerror::illegalArgument;
    }
    if (name != "AXValue") return axerror::attributeUnsupported;
    const auto* text = std::get_if<std::string>(&value);
    // The bus carries only well-formed UTF-8 without NUL.
    if (!text || text->find('\0') != std::string::npos ||
        !g_utf8_validate(text->data(), static_cast<gssize>(text->size()), nullptr)) {
        return axerror::illegalArgument;
    }
    const auto reply =
        connection_->call(entry->ref, kEditableText, "SetTextContents", g_variant_new("(s)", text->c_str()), "(b)");
    if (reply.failure == AtspiReply::Failure::unsupported) return axerror::attributeUnsupported;
    const auto done = flagReply(reply);
    if (!done) return failureOf(entry->ref);
    return *done ? axerror::success : axerror::cannotComplete;
}

AtspiTree::WindowLookup AtspiTree::windowOf(const AXElement& element) {
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return {error, {}};
    if (!entry || element.kind() != AXElement::Kind::node) return {axerror::attributeUnsupported, {}};
    const AccessibleRef ref = entry->ref;
    const auto role = roleOf(*entry);
    if (!role) return {failureOf(ref), {}};
    if (!isWindow(*role)) return {axerror::attributeUnsupported, {}};
    const auto pid = processOf(ref.bus);
    const auto title = pid ? textOf(connection_->property(ref, kAccessible, "Name")) : std::nullopt;
    const auto frame = title ? screenExtents(*connection_, ref).first : std::nullopt;
    if (!frame) return {failureOf(ref), {}};
    return {axerror::success, AccessibleWindow{*pid, *frame, *title}};
}

std::vector<ListedAccessibleWindow> AtspiTree::applicationWindows(ProcessID pid) {
    const auto [entry, error] = resolve(AXElement(AXElement::Kind::application, pid));
    if (error != axerror::success || !entry) return {};
    const auto windows = windowsOf(*connection_, entry->ref);
    if (!windows) return {};
    std::vector<ListedAccessibleWindow> listed;
    listed.reserve(windows->size());
    bool anyActive = false;
    for (const auto& ref : *windows) {
        ListedAccessibleWindow window{elementOf(ref), std::nullopt, false, false};
        if (auto lookup = windowOf(window.element); lookup.error == axerror::success) {
            window.window = std::move(lookup.window);
        }
        if (const auto states = readStates(*connection_, ref)) {
            window.minimized = has(*states, ATSPI_STATE_ICONIFIED);
            // The first active one has the focus, as the toolkit may leave
            // the state on a window it has just left.
            window.active = !anyActive && has(*states, ATSPI_STATE_ACTIVE);
            anyActive = anyActive || window.active;
        }
        listed.push_back(std::move(window));
    }
    return listed;
}

AtspiTree::WindowLookup AtspiTree::windowAround(const AXElement& element) {
    AXElement at = element;
    for (std::size_t step = 0; step < maxElements; ++step) {
        const auto [entry, error] = resolve(at);
        if (error != axerror::success) return {error, {}};
        if (!entry || at.kind() != AXElement::Kind::node) return {axerror::noValue, {}};
        const auto role = roleOf(*entry);
        if (!role) return {failureOf(entry->ref), {}};
        if (isWindow(*role)) return windowOf(at);
        if (entry->parent == 0) return {axerror::noValue, {}};
        at = AXElement(AXElement::Kind::node, entry->parent);
    }
    return {axerror::noValue, {}};
}

AXError AtspiTree::performAction(const AXElement& element, const std::string& action) {
    ++generation_;
    const auto [entry, error] = resolve(element);
    if (error != axerror::success) return error;
    if (!entry || action != "AXPress") return axerror::actionUnsupported;
    const auto reply = connection_->call(entry->ref, kAction, "DoAction", g_variant_new("(i)", 0), "(b)");
    if (reply.failure == AtspiReply::Failure::unsupported) return axerror::actionUnsupported;
    const auto done = flagReply(reply);
    if (!done) return failureOf(entry->ref);
    return *done ? axerror::success : axerror::cannotComplete;
}

}  // namespace zentrabo::platform
