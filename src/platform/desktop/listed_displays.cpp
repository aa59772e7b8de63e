#include "platform/desktop/listed_displays.hpp"

#include <algorithm>

namespace zentrabo::platform {

std::optional<ListedDisplay> ListedDisplays::listedDisplay(DisplayID display) {
    auto listing = listedDisplays();
    if (!listing) return std::nullopt;
    for (auto& listed : listing->displays) {
        if (listed.id == display) return std::move(listed);
    }
    return std::nullopt;
}

std::optional<std::vector<DisplayID>> ListedDisplays::onlineDisplayIDs() {
    const auto listing = listedDisplays();
    if (!listing) return std::nullopt;
    std::vector<DisplayID> ids;
    for (const auto& listed : listing->displays) ids.push_back(listed.id);
    return ids;
}

DisplayID ListedDisplays::mainDisplayID() {
    const auto listing = listedDisplays();
    if (!listing || listing->main >= listing->displays.size()) return 0;
    return listing->displays[listing->main].id;
}

Rect ListedDisplays::bounds(DisplayID display) {
    const auto listed = listedDisplay(display);
    return listed ? listed->bounds : Rect{};
}

std::int64_t ListedDisplays::pixelsWide(DisplayID display) {
    const auto listed = listedDisplay(display);
    return listed ? listed->pixelWidth : 0;
}

std::int64_t ListedDisplays::pixelsHigh(DisplayID display) {
    const auto listed = listedDisplay(display);
    return listed ? listed->pixelHeight : 0;
}

std::optional<std::string> ListedDisplays::localizedName(DisplayID display) {
    auto listed = listedDisplay(display);
    return listed ? std::move(listed->name) : std::nullopt;
}

std::optional<double> ListedDisplays::mainScreenBackingScaleFactor() {
    const auto listing = listedDisplays();
    if (!listing || listing->main >= listing->displays.size()) return std::nullopt;
    const auto& main = listing->displays[listing->main];
    if (!(main.bounds.width > 0)) return 1.0;
    return static_cast<double>(main.pixelWidth) / main.bounds.width;
}

std::optional<DisplayMode> ListedDisplays::currentMode(DisplayID display) {
    const auto listed = listedDisplay(display);
    return listed ? std::optional(listed->currentMode) : std::nullopt;
}

std::optional<std::vector<DisplayMode>> ListedDisplays::allModes(DisplayID display,
                                                                 bool includeDuplicateLowResolution) {
    auto listed = listedDisplay(display);
    if (!listed) return std::nullopt;
    auto& modes = listed->modes;
    if (!includeDuplicateLowResolution) {
        std::erase_if(modes, [&modes](const DisplayMode& mode) {
            return mode.pixelWidth == mode.width &&
                   std::any_of(modes.begin(), modes.end(), [&mode](const DisplayMode& other) {
                       return other.width == mode.width && other.height == mode.height &&
                              other.pixelWidth > mode.pixelWidth;
                   });
        });
    }
    return std::move(modes);
}

}  // namespace zentrabo::platform
