// An application's windows as the window server lists them, refined through
// accessibility, and the rules that pick one of them.
#include <limits>
#include <map>

#include "maccontrol/accessibility_value.hpp"
#include "maccontrol/localized_order.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/window_info.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using platform::WindowListEntry;
namespace windowkey = platform::windowkey;

namespace {

// Smaller windows are palettes, badges or invisible helpers, not windows a
// person would pick.
constexpr double minimumWindowSide = 40;
constexpr std::uint32_t listedWindows =
    platform::windowlist::onScreenOnly | platform::windowlist::excludeDesktopElements;

// The conditions a front window shares with every listed window: the
// application's own, in the normal layer, not fully transparent, and large
// enough.
bool isOwnVisibleWindow(const WindowListEntry& entry, const platform::RunningApplication& application) {
    if (windowInfoInt(windowInfoValue(entry, windowkey::ownerPID)) != application.processIdentifier()) return false;
    if (windowInfoInt(windowInfoValue(entry, windowkey::layer)) != 0) return false;
    const auto alpha = windowInfoDouble(windowInfoValue(entry, windowkey::alpha));
    if (alpha && !(*alpha > 0)) return false;
    const auto bounds = windowInfoBounds(entry);
    return bounds && bounds->width >= minimumWindowSide && bounds->height >= minimumWindowSide;
}

}  // namespace

bool DesktopController::isCandidateWindow(const WindowListEntry& entry,
                                          const platform::RunningApplication& application) {
    return isOwnVisibleWindow(entry, application) &&
           windowInfoBool(windowInfoValue(entry, windowkey::isOnscreen)) == true &&
           windowInfoUInt32(windowInfoValue(entry, windowkey::number)).has_value();
}

bool DesktopController::isFrontWindowCandidate(const WindowListEntry& entry,
                                               const platform::RunningApplication& application) {
    return isOwnVisibleWindow(entry, application);
}

std::vector<WindowListEntry> DesktopController::candidateWindows(const platform::RunningApplication& application) {
    auto entries = desktop_.windowServer().windowList(listedWindows, 0);
    if (!entries) return {};
    std::erase_if(*entries, [&](const WindowListEntry& entry) { return !isCandidateWindow(entry, application); });
    return std::move(*entries);
}

std::optional<platform::WindowID> DesktopController::frontWindowNumber(
    const platform::RunningApplication& application) {
    const auto entries = desktop_.windowServer().windowList(listedWindows, 0);
    if (!entries) return std::nullopt;
    for (const auto& entry : *entries) {
        if (isFrontWindowCandidate(entry, application)) {
            return windowInfoUInt32(windowInfoValue(entry, windowkey::number));
        }
    }
    return std::nullopt;
}

bool DesktopController::windowTitleMatches(const WindowListEntry& entry, std::string_view title, bool beginsWith) {
    const std::string windowName =
        platform::trimWhitespaceAndNewlines(windowInfoString(windowInfoValue(entry, windowkey::name)).value_or(""));
    const std::string wanted = platform::trimWhitespaceAndNewlines(title);
    if (windowName == wanted) return true;
    return beginsWith && platform::beginsWithIgnoringCaseAndDiacritics(windowName, wanted);
}

std::optional<platform::WindowID> DesktopController::matchingWindowNumber(const std::optional<std::string>& title,
                                                                          MenuTitleMatchMode matchMode,
                                                                          const std::vector<WindowListEntry>& entries) {
    const auto wanted = platform::trimmedNonBlank(title);
    if (!wanted) return std::nullopt;
    const bool beginsWith = matchMode == MenuTitleMatchMode::beginsWith;
    for (const auto& entry : entries) {
        if (windowTitleMatches(entry, *wanted, beginsWith)) {
            return windowInfoUInt32(windowInfoValue(entry, windowkey::number));
        }
    }
    return std::nullopt;
}

std::vector<RemoteApplicationWindowInfo> DesktopController::applicationWindows(
    const std::optional<std::string>& bundleIdentifier) {
    const auto application = activateApplication(bundleIdentifier);
    application->unhide();
    application->activate(true);
    waitUntilFrontmost(*application);

    std::map<platform::WindowID, RemoteApplicationWindowInfo> windows;
    const std::string fallbackTitle = platform::trimmedNonBlank(application->localizedName()).value_or("Window");
    for (const auto& entry : candidateWindows(*application)) {
        const auto number = *windowInfoUInt32(windowInfoValue(entry, windowkey::number));
        const auto name = platform::trimmedNonBlank(windowInfoString(windowInfoValue(entry, windowkey::name)));
        windows[number] = {number, name.value_or(fallbackTitle), false, true};
    }

    if (desktop_.accessibility().isProcessTrusted()) {
        for (const auto& window : elementsAttribute("AXWindows", applicationElement(*application))) {
            const auto number = readAccessibilityValue<std::int64_t>(desktop_.accessibility(), window, "AXWindowNumber",
                                                                     accessibilityMessagingTimeout);
            if (!number || *number < 0 || *number > std::numeric_limits<platform::WindowID>::max()) continue;
            const auto found = windows.find(static_cast<platform::WindowID>(*number));
            // Accessibility refines the window server's list; it never adds.
            if (found == windows.end()) continue;
            if (flagAttribute("AXMinimized", window) == true) {
                windows.erase(found);
                continue;
            }
            if (auto title = platform::trimmedNonBlank(stringAttribute("AXTitle", window)))
                found->second.title = std::move(*title);
        }
    }

    // Every window left is on screen and not minimized, so the order is by
    // title, and by number (the table's order) among equal titles.
    std::vector<RemoteApplicationWindowInfo> list;
    list.reserve(windows.size());
    for (auto& [number, info] : windows) list.push_back(std::move(info));
    return sortedByLocalizedName(std::move(list), [](const RemoteApplicationWindowInfo& info) { return info.title; });
}

}  // namespace zentrabo
