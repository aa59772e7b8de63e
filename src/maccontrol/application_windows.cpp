// An application's windows as the window server lists them, refined through
// accessibility, and the rules that pick one of them.
#include <map>

#include "maccontrol/timed_application_windows.hpp"
#include "maccontrol/localized_order.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using platform::ListedWindow;

namespace {

// Smaller windows are palettes, badges or invisible helpers, not windows a
// person would pick.
constexpr double minimumWindowSide = 40;

}  // namespace

bool DesktopController::isCandidateWindow(const ListedWindow& window, platform::ProcessID owner) {
    return window.ownerPID == owner && window.onScreen && !window.isDesktopElement && window.layer == 0 &&
           window.alpha > 0 && window.frame.width >= minimumWindowSide && window.frame.height >= minimumWindowSide;
}

std::vector<ListedWindow> DesktopController::candidateWindows(const platform::RunningApplication& application) {
    auto windows = desktop_.windowServer().windows();
    if (!windows) return {};
    const auto owner = application.processIdentifier();
    std::erase_if(*windows, [owner](const ListedWindow& window) { return !isCandidateWindow(window, owner); });
    return std::move(*windows);
}

std::optional<platform::WindowID> DesktopController::frontWindowNumber(
    const platform::RunningApplication& application) {
    const auto candidates = candidateWindows(application);
    if (candidates.empty()) return std::nullopt;
    return candidates.front().id;
}

bool DesktopController::windowTitleMatches(const ListedWindow& window, std::string_view title, bool beginsWith) {
    const std::string windowName = platform::trimWhitespaceAndNewlines(window.title.value_or(""));
    const std::string wanted = platform::trimWhitespaceAndNewlines(title);
    if (windowName == wanted) return true;
    return beginsWith && platform::beginsWithIgnoringCaseAndDiacritics(windowName, wanted);
}

std::optional<platform::WindowID> DesktopController::matchingWindowNumber(const std::optional<std::string>& title,
                                                                          MenuTitleMatchMode matchMode,
                                                                          const std::vector<ListedWindow>& windows) {
    const auto wanted = platform::trimmedNonBlank(title);
    if (!wanted) return std::nullopt;
    const bool beginsWith = matchMode == MenuTitleMatchMode::beginsWith;
    for (const auto& window : windows) {
        if (windowTitleMatches(window, *wanted, beginsWith)) return window.id;
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
    for (const auto& window : candidateWindows(*application)) {
        windows[window.id] = {window.id, platform::trimmedNonBlank(window.title).value_or(fallbackTitle), false, true};
    }

    if (desktop_.accessibility().isProcessTrusted()) {
        for (const auto& window : timedApplicationWindows(desktop_.accessibility(), application->processIdentifier(),
                                                          accessibilityMessagingTimeout)) {
            const auto found = window.number ? windows.find(*window.number) : windows.end();
            // Accessibility refines the window server's list; it never adds.
            if (found == windows.end()) continue;
            if (window.minimized) {
                windows.erase(found);
                continue;
            }
            if (auto title = platform::trimmedNonBlank(window.title)) found->second.title = std::move(*title);
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
