// The pasteboard, keyboard settings and posted input of the virtual desktop.
#include <algorithm>

#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo::platform {

namespace {

constexpr KeyCode vKey = 9;

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
        std::snprintf(text, sizeof text, "mouse %d at (%.0f, %.0f) clicks %lld", static_cast<int>(mouse->type),
                      mouse->location.x, mouse->location.y, static_cast<long long>(mouse->clickState));
        return text;
    }
    if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
        std::snprintf(text, sizeof text, "scroll %s %d, %d", scroll->unit == ScrollUnit::pixel ? "pixels" : "lines",
                      scroll->deltaY, scroll->deltaX);
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
    if (const auto* mouse = std::get_if<MouseEvent>(&event)) pointer_ = mouse->location;
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
