// Screenshots of one display, or of all displays composed into one picture
// as they are arranged.
#include <algorithm>
#include <cmath>

#include "maccontrol/display_composite.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::DisplayID;
using platform::Rect;

namespace {

std::string monitorTitle(DisplayID display) { return "Monitor " + std::to_string(display); }

bool isNamed(const std::optional<std::string>& name) { return name && !name->empty(); }

}  // namespace

void DesktopController::requireScreenCaptureAccess() {
    auto& capture = desktop_.screenCapture();
    if (!capture.preflightAccess() && !capture.requestAccess()) throw MacMenuError(Case::screenRecordingMissing);
}

RemoteScreenshot DesktopController::displayScreenshot(const std::optional<DisplayID>& displayID,
                                                      const std::optional<std::string>& displayName, bool allDisplays) {
    requireScreenCaptureAccess();
    if (allDisplays) return allDisplaysScreenshot(displayName);
    if (displayID) {
        const auto online = onlineDisplayIDs();
        if (std::find(online.begin(), online.end(), *displayID) == online.end()) {
            throw MacMenuError(Case::screenshotDisplayUnavailable,
                               isNamed(displayName) ? *displayName : monitorTitle(*displayID));
        }
    }
    const std::string title = isNamed(displayName) ? *displayName
                              : displayID          ? monitorTitle(*displayID)
                                                   : std::string("Main Monitor");
    // Compressed from the pixels as captured, in their own byte order.
    std::optional<RemoteScreenshot> screenshot;
    desktop_.screenCapture().withDisplayPixels(displayID.value_or(desktop_.displays().mainDisplayID()),
                                               [&](const platform::PackedPixels& pixels) {
                                                   screenshot = encodeScreenshot(pixels, title, "monitor-" + title);
                                               });
    if (!screenshot) throw MacMenuError(Case::screenshotCaptureFailed);
    return std::move(*screenshot);
}

RemoteScreenshot DesktopController::allDisplaysScreenshot(const std::optional<std::string>& title) {
    auto& capture = desktop_.screenCapture();
    std::vector<DisplayScreenshotSource> sources;
    for (const DisplayID id : onlineDisplayIDs()) {
        const Rect bounds = desktop_.displays().bounds(id).standardized();
        if (!(bounds.width > 0) || !(bounds.height > 0)) continue;
        // A display that cannot be captured is left out of the picture.
        auto image = capture.displayImage(id);
        if (!image) continue;
        const double scale = std::max({1.0, image->width / bounds.width, image->height / bounds.height});
        sources.push_back({bounds, std::move(*image), scale});
    }
    DisplayComposite composite(sources);
    const std::string name = isNamed(title) ? *title : std::string("All Monitors");
    return encodeScreenshot(composite.rows(), name, "monitors-" + name);
}

}  // namespace zentrabo
