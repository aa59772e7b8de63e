// The general pasteboard: setting its text, and pasting text into the
// frontmost application while keeping what the user had copied.
#include <algorithm>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/text/log_escape.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;
using platform::Pasteboard;
using platform::PasteboardItem;

namespace {

constexpr platform::KeyCode vKey = 9;
// Time the frontmost application gets to read the pasteboard after
// Command-V before the user's items go back.
constexpr double pasteReadSeconds = 0.2;

void restorePasteboard(Pasteboard& pasteboard, const std::vector<PasteboardItem>& saved) {
    pasteboard.clearContents();
    if (!saved.empty()) pasteboard.writeItems(saved);
}

}  // namespace

void DesktopController::setClipboardText(const std::optional<std::string>& text) {
    if (!text || text->empty()) throw MacMenuError(Case::clipboardTextRequired);
    auto holding = holdInput();
    auto& pasteboard = desktop_.pasteboard();
    pasteboard.clearContents();
    if (!pasteboard.setString(*text)) throw MacMenuError(Case::actionFailed);
}

void DesktopController::pasteText(const std::optional<std::string>& text) {
    requireAccessibilityTrust();
    if (!text || text->empty()) throw MacMenuError(Case::textInputRequired);

    // Held from saving the user's items to putting them back, so another
    // paste cannot save this one's text as the user's, and a clipboard write
    // made meanwhile lands afterwards instead of being wiped.
    auto holding = holdInput();
    auto& pasteboard = desktop_.pasteboard();
    const auto saved = savedPasteboardItems(pasteboard);
    pasteboard.clearContents();
    try {
        if (!pasteboard.setString(*text)) throw MacMenuError(Case::actionFailed);
        postModifierKeySequence(vKey, platform::eventflag::command);
    } catch (...) {
        // The user's clipboard must not be lost to a paste that failed.
        restorePasteboard(pasteboard, saved);
        throw;
    }
    desktop_.clock().sleep(pasteReadSeconds);
    restorePasteboard(pasteboard, saved);
}

std::vector<PasteboardItem> DesktopController::savedPasteboardItems(Pasteboard& pasteboard) {
    std::vector<PasteboardItem> saved;
    for (const auto& item : pasteboard.items()) {
        if (auto copy = copyPasteboardItem(item)) saved.push_back(std::move(*copy));
    }
    // What could not be saved is lost to the user once the paste is done.
    const auto leftOut = pasteboard.typesLeftOut();
    const auto log = [](std::vector<std::string> types, const std::string& why) {
        std::sort(types.begin(), types.end());
        types.erase(std::unique(types.begin(), types.end()), types.end());
        for (const auto& type : types) {
            ZENTRABO_LOG("Clipboard type " + platform::escapeForLog(type) + " not saved for the paste: " + why);
        }
    };
    constexpr std::size_t mebibyte = 1024 * 1024;
    log(leftOut.tooLarge, "larger than " + std::to_string(platform::maximumPasteboardTypeBytes / mebibyte) + " MiB");
    log(leftOut.pastTotal,
        "past the " + std::to_string(platform::maximumPasteboardTotalBytes / mebibyte) + " MiB kept of all types");
    // An owner that answers no type may offer thousands: one line for them.
    if (!leftOut.late.empty()) {
        ZENTRABO_LOG("Clipboard: " + std::to_string(leftOut.late.size()) +
                     " types not saved for the paste: the owner did not hand them over in time");
    }
    return saved;
}

std::optional<PasteboardItem> DesktopController::copyPasteboardItem(const PasteboardItem& item) {
    // Every type of an item here carries its data (a string as its bytes),
    // so each one is copied, in the item's order.
    if (item.representations.empty()) return std::nullopt;
    return item;
}

}  // namespace zentrabo
