// Live capture of the virtual desktop: its streams and what they show.
#include <type_traits>

#include "platform/desktop/virtual/virtual_capture_stream.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

std::shared_ptr<CaptureStream> VirtualDesktop::makeCaptureStream(ContentFilter filter,
                                                                 StreamConfiguration configuration,
                                                                 CaptureStreamStopHandler onStop) {
    return std::make_shared<VirtualCaptureStream>(weak_from_this(), std::move(filter), std::move(configuration),
                                                  std::move(onStop));
}

void VirtualDesktop::setCaptureUpdateBehaviour(CaptureUpdateBehaviour behaviour) {
    auto lock = settle();
    captureUpdateBehaviour_ = std::move(behaviour);
}

VirtualDesktop::CaptureUpdateBehaviour VirtualDesktop::captureUpdateBehaviour() {
    auto lock = settle();
    return captureUpdateBehaviour_;
}

double VirtualDesktop::pointPixelScale(const ContentFilter& filter) {
    auto lock = settle();
    const Display* display = std::visit(
        [this](const auto& content) -> const Display* {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, WindowContentFilter>) {
                const auto window = windows_.find(content.window);
                return window == windows_.end() ? nullptr
                                                : displayContainingLocked(window->second.frame.standardized());
            } else {
                return displayLocked(content.display);
            }
        },
        filter);
    return display ? displayScaleLocked(*display) : 0;
}

VirtualDesktop::CaptureSnapshot VirtualDesktop::captureSnapshot(const ContentFilter& filter, bool showsCursor) {
    auto lock = settle();
    if (!screenRecordingAllowed_) throw ScreenCaptureError("Screen recording is not allowed.");
    CaptureSnapshot snapshot;
    if (const auto* window = std::get_if<WindowContentFilter>(&filter)) {
        const auto found = windows_.find(window->window);
        if (found == windows_.end()) return snapshot;
        snapshot.contentExists = true;
        snapshot.scene = windowSceneLocked(found->second, showsCursor);
    } else {
        const bool isDisplay = std::holds_alternative<DisplayContentFilter>(filter);
        const DisplayID id = isDisplay ? std::get<DisplayContentFilter>(filter).display
                                       : std::get<ApplicationContentFilter>(filter).display;
        const Display* display = displayLocked(id);
        if (!display) return snapshot;
        snapshot.contentExists = true;
        snapshot.scene = displaySceneLocked(
            *display, isDisplay ? std::nullopt : std::optional(std::get<ApplicationContentFilter>(filter).application),
            showsCursor);
    }
    if (snapshot.scene) snapshot.scene->time = now_;
    return snapshot;
}

std::optional<CaptureScene> VirtualDesktop::displaySceneLocked(const Display& display,
                                                               std::optional<ProcessID> application,
                                                               bool showsCursor) const {
    CaptureScene scene;
    scene.width = static_cast<std::uint32_t>(display.mode.pixelWidth);
    scene.height = static_cast<std::uint32_t>(display.mode.pixelHeight);
    scene.scale = displayScaleLocked(display);
    scene.origin = display.spec.bounds.origin();
    scene.showsDesktop = true;
    scene.picture = display.picture;
    scene.background = display.spec.background;
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const Window& window = windows_.at(*it);
        if (window.layer < 0 || !windowIsOnScreenLocked(window)) continue;
        if (application && window.owner != *application) continue;
        scene.windows.push_back({window.number, window.frame.standardized(), window.color});
    }
    if (showsCursor) scene.pointer = pointer_;
    return scene;
}

std::optional<CaptureScene> VirtualDesktop::windowSceneLocked(const Window& window, bool showsCursor) const {
    if (!windowIsOnScreenLocked(window)) return std::nullopt;
    const Rect frame = window.frame.standardized();
    const Display& display = *displayContainingLocked(frame);
    CaptureScene scene;
    std::tie(scene.width, scene.height) = windowPixelSizeLocked(frame, display);
    scene.scale = displayScaleLocked(display);
    scene.origin = frame.origin();
    scene.background = window.color;
    if (const Display* shown = displayShowingPictureLocked(window.number)) {
        scene.picture = shown->picture;
    }
    if (window.layer < 0) {
        scene.showsDesktop = true;
    } else {
        scene.windows.push_back({window.number, frame, window.color});
    }
    if (showsCursor) scene.pointer = pointer_;
    return scene;
}

}  // namespace zentrabo::platform
