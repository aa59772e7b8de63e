#include "screenstream/content_selection.hpp"

#include <algorithm>
#include <cmath>

#include "maccontrol/desktop_controller.hpp"
#include "screenstream/application_window_choice.hpp"
#include "screenstream/application_window_selection.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

std::optional<FrontmostWindowCandidate> frontmostWindowCandidate(platform::WindowServer& windowServer,
                                                                 platform::ProcessID processID) {
    const auto windows = windowServer.windows();
    if (!windows) return std::nullopt;
    for (const auto& window : *windows) {
        if (DesktopController::isCandidateWindow(window, processID))
            return FrontmostWindowCandidate{window.id, processID, window.frame};
    }
    return std::nullopt;
}

std::optional<FrontmostWindowCandidate> frontmostApplicationWindowCandidate(platform::Desktop& desktop) {
    const auto frontmost = desktop.workspace().frontmostApplication();
    if (!frontmost) return std::nullopt;
    return frontmostWindowCandidate(desktop.windowServer(), frontmost->processIdentifier());
}

asio::awaitable<SelectedContent> selectContent(const RemoteScreenStreamRequest& request,
                                               const platform::ShareableContent& content,
                                               const std::optional<FrontmostWindowCandidate>& frontmostCandidate,
                                               platform::Desktop& desktop, platform::Clock& clock) {
    if (request.mode == RemoteScreenStreamMode::display) co_return displayContent(request, content, desktop);
    if (request.mode == RemoteScreenStreamMode::frontmostWindow) {
        co_return frontmostWindowContent(request, content, frontmostCandidate, desktop);
    }
    co_return co_await applicationWindowSelection(request, desktop, clock);
}

SelectedContent frontmostWindowContent(const RemoteScreenStreamRequest& request,
                                       const platform::ShareableContent& content,
                                       const std::optional<FrontmostWindowCandidate>& frontmostCandidate,
                                       platform::Desktop& desktop) {
    if (frontmostCandidate) {
        if (auto selected = windowContent(frontmostCandidate->windowID, content, frontmostCandidate->bounds, desktop)) {
            return *selected;
        }
    }
    const auto application = desktop.workspace().frontmostApplication();
    if (!application) throw RemoteScreenStreamServerError::frontmostWindowUnavailable();
    const auto window = bestApplicationWindow(*application, std::nullopt, content, request, desktop.windowServer());
    if (!window) throw RemoteScreenStreamServerError::frontmostWindowUnavailable();
    return windowContent(*window, std::nullopt, desktop);
}

SelectedContent displayContent(const RemoteScreenStreamRequest& request, const platform::ShareableContent& content,
                               platform::Desktop& desktop) {
    auto& displays = desktop.displays();
    const platform::DisplayID mainDisplay = displays.mainDisplayID();
    const platform::DisplayID wanted = request.displayID.value_or(mainDisplay);
    const auto withID = [&content](platform::DisplayID id) {
        return std::find_if(content.displays.begin(), content.displays.end(),
                            [id](const platform::ShareableDisplay& display) { return display.displayID == id; });
    };
    auto chosen = withID(wanted);
    if (chosen == content.displays.end()) chosen = withID(mainDisplay);
    if (chosen == content.displays.end()) chosen = content.displays.begin();
    if (chosen == content.displays.end()) throw RemoteScreenStreamServerError::displayUnavailable();
    const platform::ShareableDisplay& display = *chosen;

    SelectedContent selected;
    selected.filter = platform::DisplayContentFilter{display.displayID};
    selected.pointerBounds = isNullOrEmpty(display.frame) ? platform::Rect{0, 0, static_cast<double>(display.width),
                                                                           static_cast<double>(display.height)}
                                                          : display.frame;
    const PixelSize size = displayPixelSize(display, displays);
    selected.sourceWidth = size.width;
    selected.sourceHeight = size.height;
    selected.pointPixelScale = displayPointPixelScale(display, displays);
    selected.displayID = display.displayID;
    return selected;
}

SelectedContent windowContent(const platform::ShareableWindow& window,
                              std::optional<platform::ContentFilter> audioFilter, platform::Desktop& desktop) {
    SelectedContent selected;
    selected.filter = platform::WindowContentFilter{window.windowID};
    const double filterScale = desktop.screenCapture().pointPixelScale(selected.filter);
    const double scale =
        filterScale > 0 && std::isfinite(filterScale) ? filterScale : pointPixelScale(window.frame, desktop.displays());
    const PixelSize size = windowPixelSize(window.frame, scale);
    selected.audioFilter = std::move(audioFilter);
    selected.sourceWidth = size.width;
    selected.sourceHeight = size.height;
    selected.pointerBounds = window.frame;
    selected.windowID = window.windowID;
    selected.pointPixelScale = scale;
    selected.displayID = displayID(window.frame, desktop.displays());
    return selected;
}

std::optional<SelectedContent> windowContent(platform::WindowID windowID, const platform::ShareableContent& content,
                                             const platform::Rect& bounds, platform::Desktop& desktop) {
    const auto window =
        std::find_if(content.windows.begin(), content.windows.end(),
                     [windowID](const platform::ShareableWindow& entry) { return entry.windowID == windowID; });
    if (window == content.windows.end()) return std::nullopt;
    SelectedContent selected = windowContent(*window, std::nullopt, desktop);
    if (!isNullOrEmpty(bounds)) selected.pointerBounds = bounds;
    return selected;
}

}  // namespace zentrabo
