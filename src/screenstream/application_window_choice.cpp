#include "screenstream/application_window_choice.hpp"

#include <algorithm>
#include <vector>

#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"
#include "screenstream/content_selection.hpp"

namespace zentrabo {

namespace {

bool isCandidate(const platform::ShareableWindow& window, platform::ProcessID processID) {
    return window.owningApplication && window.owningApplication->processID == processID && window.windowLayer == 0 &&
           window.isOnScreen && window.frame.width >= minimumStreamWindowSide &&
           window.frame.height >= minimumStreamWindowSide;
}

std::string label(const platform::ShareableWindow& window, const platform::RunningApplication& application) {
    if (auto title = platform::trimmedNonBlank(window.title)) return *title;
    if (auto name = platform::trimmedNonBlank(application.localizedName())) return *name;
    return "Window";
}

}  // namespace

std::optional<platform::ShareableWindow> bestApplicationWindow(const platform::RunningApplication& application,
                                                               std::optional<platform::WindowID> windowID,
                                                               const platform::ShareableContent& content,
                                                               const RemoteScreenStreamRequest& request,
                                                               platform::WindowServer& windowServer) {
    const platform::ProcessID processID = application.processIdentifier();
    std::vector<const platform::ShareableWindow*> candidates;
    for (const auto& window : content.windows) {
        if (isCandidate(window, processID)) candidates.push_back(&window);
    }
    const auto withNumber = [&candidates](platform::WindowID number) -> std::optional<platform::ShareableWindow> {
        for (const auto* window : candidates) {
            if (window->windowID == number) return *window;
        }
        return std::nullopt;
    };
    if (windowID) return withNumber(*windowID);

    if (const auto title = platform::trimmedNonBlank(request.applicationWindowTitle)) {
        const bool beginsWith = request.applicationWindowTitleMatchMode == MenuTitleMatchMode::beginsWith;
        for (const auto* window : candidates) {
            const std::string text = label(*window, application);
            if (beginsWith ? platform::beginsWithIgnoringCaseAndDiacritics(text, *title)
                           : platform::equalIgnoringCaseAndDiacritics(text, *title)) {
                return *window;
            }
        }
    }
    if (const auto front = frontmostWindowCandidate(windowServer, processID)) {
        if (auto window = withNumber(front->windowID)) return window;
    }
    const platform::ShareableWindow* largest = nullptr;
    for (const auto* window : candidates) {
        if (!largest || window->frame.width * window->frame.height > largest->frame.width * largest->frame.height) {
            largest = window;
        }
    }
    return largest ? std::optional(*largest) : std::nullopt;
}

}  // namespace zentrabo
