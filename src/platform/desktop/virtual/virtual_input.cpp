// The pasteboard, keyboard settings and posted input of the virtual desktop.
#include <algorithm>
#include <optional>

#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/text/case_table.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo::platform {

namespace {

constexpr KeyCode vKey = 9;

// What each mouse event is called in the journal, and the button it presses
// or lets go of (none for moves and drags).
struct MouseEventFacts {
    const char* name = "";
    std::optional<VirtualDesktop::MouseButton> button;
    bool pressed = false;
};

MouseEventFacts mouseEventFacts(MouseEventType type) {
    using Button = VirtualDesktop::MouseButton;
    static constexpr auto facts = caseTable<MouseEventType, MouseEventFacts>({
        {MouseEventType::mouseMoved, {"moved", {}, false}},
        {MouseEventType::leftMouseDown, {"leftDown", Button::left, true}},
        {MouseEventType::leftMouseUp, {"leftUp", Button::left, false}},
        {MouseEventType::leftMouseDragged, {"leftDragged", {}, false}},
        {MouseEventType::rightMouseDown, {"rightDown", Button::right, true}},
        {MouseEventType::rightMouseUp, {"rightUp", Button::right, false}},
        {MouseEventType::rightMouseDragged, {"rightDragged", {}, false}},
        {MouseEventType::otherMouseDown, {"otherDown", Button::other, true}},
        {MouseEventType::otherMouseUp, {"otherUp", Button::other, false}},
        {MouseEventType::otherMouseDragged, {"otherDragged", {}, false}},
    });
    return facts.entryOr(type, {});
}

std::string describe(const InputEvent& event) {
    char text[160];
    if (const auto* key = std::get_if<KeyboardEvent>(&event)) {
        std::snprintf(text, sizeof text, "key %u %s flags 0x%llx", key->keyCode, key->keyDown ? "down" : "up",
                      static_cast<unsigned long long>(key->flags));
        std::string result = text;
        // What was typed stays out of the journal (it may be a password);
        // postedEvents() has it.
        if (!key->unicodeString.empty()) result += " text of " + std::to_string(key->unicodeString.size()) + " units";
        return result;
    }
    if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
        std::snprintf(text, sizeof text, "mouse %s at (%.0f, %.0f) clicks %lld flags 0x%llx",
                      mouseEventFacts(mouse->type).name, mouse->location.x, mouse->location.y,
                      static_cast<long long>(mouse->clickState), static_cast<unsigned long long>(mouse->flags));
        return text;
    }
    if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
        std::snprintf(text, sizeof text, "scroll %s %d, %d at (%.0f, %.0f) %s phase %lld",
                      scroll->unit == ScrollUnit::pixel ? "pixels" : "lines", scroll->deltaY, scroll->deltaX,
                      scroll->location.x, scroll->location.y, scroll->isContinuous ? "continuous" : "stepped",
                      static_cast<long long>(scroll->scrollPhase));
        return text;
    }
    const auto& system = std::get<SystemDefinedEvent>(event);
    std::snprintf(text, sizeof text, "system subtype %lld data1 0x%llx", static_cast<long long>(system.subtype),
                  static_cast<unsigned long long>(system.data1));
    return text;
}

// Counts a failure switch down; true for the call it names.
bool reachesZero(std::size_t& countdown) { return countdown > 0 && --countdown == 0; }

}  // namespace

std::vector<PasteboardItem> VirtualDesktop::items() {
    auto lock = settle();
    return pasteboardItems_;
}

std::int64_t VirtualDesktop::clearContents() {
    auto lock = settle();
    pasteboardItems_.clear();
    recordLocked("pasteboard", "", "clear");
    return ++pasteboardChangeCount_;
}

bool VirtualDesktop::setString(const std::string& text) {
    auto lock = settle();
    if (reachesZero(pasteboardWritesUntilRefusal_)) return false;
    pasteboardItems_.push_back({{{pasteboardtype::string, std::vector<std::uint8_t>(text.begin(), text.end())}}});
    recordLocked("pasteboard", "", "string of " + std::to_string(text.size()) + " bytes");
    return true;
}

bool VirtualDesktop::writeItems(const std::vector<PasteboardItem>& items) {
    auto lock = settle();
    if (reachesZero(pasteboardWritesUntilRefusal_)) return false;
    pasteboardItems_.insert(pasteboardItems_.end(), items.begin(), items.end());
    recordLocked("pasteboard", "", std::to_string(items.size()) + " items");
    return true;
}

std::optional<std::string> VirtualDesktop::string() {
    auto lock = settle();
    for (const auto& item : pasteboardItems_) {
        for (const auto& [type, data] : item.representations) {
            if (type == pasteboardtype::string) return std::string(data.begin(), data.end());
        }
    }
    return std::nullopt;
}

std::int64_t VirtualDesktop::changeCount() {
    auto lock = settle();
    return pasteboardChangeCount_;
}

std::optional<PropertyListValue> VirtualDesktop::textInputPreferences() {
    auto lock = settle();
    PropertyListValue::Dictionary suite;
    if (keyboardLayout_) suite.emplace_back("AppleCurrentKeyboardLayoutInputSourceID", *keyboardLayout_);
    if (!inputSources_.empty()) {
        PropertyListValue::Array sources;
        for (const auto& source : inputSources_) {
            sources.emplace_back(PropertyListValue::Storage(PropertyListValue::Dictionary{
                {"KeyboardLayout Name", source.name}, {"InputSource ID", source.identifier}}));
        }
        suite.emplace_back("AppleSelectedInputSources",
                           PropertyListValue(PropertyListValue::Storage(std::move(sources))));
    }
    return PropertyListValue(PropertyListValue::Storage(std::move(suite)));
}

bool VirtualDesktop::post(const InputEvent& event) {
    std::function<void(const InputEvent&)> hook;
    {
        std::lock_guard hookLock(mutex_);
        hook = postHook_;
    }
    if (hook) hook(event);

    auto lock = settle();
    if (reachesZero(postsUntilFailure_)) return false;
    if (posted_.size() == journalCapacity) posted_.pop_front();
    posted_.push_back(event);
    recordLocked("post", subjectLocked(active_), describe(event));
    if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
        pointer_ = mouse->location;
        const auto facts = mouseEventFacts(mouse->type);
        if (facts.button) {
            const auto held = std::find(heldButtons_.begin(), heldButtons_.end(), *facts.button);
            if (facts.pressed && held == heldButtons_.end()) heldButtons_.push_back(*facts.button);
            if (!facts.pressed && held != heldButtons_.end()) heldButtons_.erase(held);
            if (facts.pressed) clickWindowLocked(mouse->location);
        }
        return true;
    }
    const auto* key = std::get_if<KeyboardEvent>(&event);
    if (key) {
        const auto held = std::find(heldKeys_.begin(), heldKeys_.end(), key->keyCode);
        if (key->keyDown && held == heldKeys_.end()) heldKeys_.push_back(key->keyCode);
        if (!key->keyDown && held != heldKeys_.end()) heldKeys_.erase(held);
    }
    if (key && key->keyDown) {
        // What the frontmost application's focused text field receives: the
        // event's own text, or the pasteboard on Command-V.
        if (!key->unicodeString.empty()) {
            insertTextLocked(utf8(key->unicodeString));
        } else if (key->keyCode == vKey && (key->flags & eventflag::command)) {
            for (const auto& item : pasteboardItems_) {
                for (const auto& [type, data] : item.representations) {
                    if (type == pasteboardtype::string) {
                        insertTextLocked(std::string(data.begin(), data.end()));
                        return true;
                    }
                }
            }
        }
    }
    return true;
}

std::vector<KeyCode> VirtualDesktop::heldKeys() {
    auto lock = settle();
    return heldKeys_;
}

std::vector<VirtualDesktop::MouseButton> VirtualDesktop::heldMouseButtons() {
    auto lock = settle();
    return heldButtons_;
}

void VirtualDesktop::clickWindowLocked(Point location) {
    // The front-most window under the point that shows: its application
    // comes to the front with it, as a click on a background window does.
    for (const WindowID number : zOrder_) {
        const Window& window = windows_.at(number);
        if (window.layer < 0 || !windowIsOnScreenLocked(window) || !window.frame.standardized().contains(location)) {
            continue;
        }
        Application* application = applicationLocked(window.owner);
        if (!application || application->spec.activationPolicy == ActivationPolicy::prohibited) return;
        if (active_ != application->pid) {
            recordLocked("activate", application->spec.bundleIdentifier, "click");
            activateLocked(*application, false);
        }
        raiseWindowLocked(*application, number);
        return;
    }
}

void VirtualDesktop::failPost(std::size_t n) {
    auto lock = settle();
    postsUntilFailure_ = n;
}

void VirtualDesktop::refusePasteboardWrite(std::size_t n) {
    auto lock = settle();
    pasteboardWritesUntilRefusal_ = n;
}

void VirtualDesktop::setPostHook(std::function<void(const InputEvent&)> hook) {
    auto lock = settle();
    postHook_ = std::move(hook);
}

}  // namespace zentrabo::platform
