// The displays a device can choose from, and the size of all of them together.
#include <algorithm>
#include <cmath>

#include "maccontrol/desktop_controller.hpp"

namespace zentrabo {

using platform::DisplayID;
using platform::Rect;

namespace {

// Far beyond any canvas that can be made, and still safe to convert.
constexpr double largestCanvasSide = 0x1p62;

bool hasArea(const Rect& bounds) { return bounds.width > 0 && bounds.height > 0; }

}  // namespace

std::vector<DisplayID> DesktopController::onlineDisplayIDs() {
    auto& displays = desktop_.displays();
    auto ids = displays.onlineDisplayIDs();
    if (!ids || ids->empty()) return {displays.mainDisplayID()};
    return std::move(*ids);
}

std::string DesktopController::monitorName(DisplayID display, std::size_t position) {
    if (auto name = desktop_.displays().localizedName(display); name && !name->empty()) return std::move(*name);
    if (display == desktop_.displays().mainDisplayID()) return "Main Monitor";
    return "Monitor " + std::to_string(position + 1);
}

std::vector<RemoteDisplayInfo> DesktopController::displays() {
    auto& displays = desktop_.displays();
    const DisplayID main = displays.mainDisplayID();
    auto ids = onlineDisplayIDs();
    std::sort(ids.begin(), ids.end(), [main](DisplayID a, DisplayID b) {
        if ((a == main) != (b == main)) return a == main;
        return a < b;
    });

    std::vector<RemoteDisplayInfo> list;
    for (std::size_t position = 0; position < ids.size(); ++position) {
        const DisplayID id = ids[position];
        const Rect frame = displays.bounds(id).standardized();
        RemoteDisplayInfo info;
        if (id != main) info.displayID = id;
        info.name = monitorName(id, position);
        info.isMain = id == main;
        info.pixelWidth = displays.pixelsWide(id);
        info.pixelHeight = displays.pixelsHigh(id);
        info.frameX = frame.x;
        info.frameY = frame.y;
        info.frameWidth = frame.width;
        info.frameHeight = frame.height;
        list.push_back(std::move(info));
    }
    if (ids.size() >= 2) {
        RemoteDisplayInfo all = RemoteDisplayInfo::allDisplays();
        const PixelSize size = allDisplaysPixelSize(ids);
        all.pixelWidth = size.width;
        all.pixelHeight = size.height;
        if (const auto frame = allDisplaysBounds(ids)) {
            all.frameX = frame->x;
            all.frameY = frame->y;
            all.frameWidth = frame->width;
            all.frameHeight = frame->height;
        }
        list.insert(list.begin() + 1, std::move(all));
    }
    return list;
}

std::optional<Rect> DesktopController::allDisplaysBounds(const std::vector<DisplayID>& ids) {
    std::optional<Rect> all;
    for (const DisplayID id : ids) {
        const Rect bounds = desktop_.displays().bounds(id).standardized();
        if (hasArea(bounds)) all = all ? all->united(bounds) : bounds;
    }
    return all;
}

DesktopController::PixelSize DesktopController::allDisplaysPixelSize(const std::vector<DisplayID>& ids) {
    auto& displays = desktop_.displays();
    double scale = 1.0;
    for (const DisplayID id : ids) {
        const Rect bounds = displays.bounds(id).standardized();
        if (!hasArea(bounds)) continue;
        scale = std::max({scale, static_cast<double>(displays.pixelsWide(id)) / bounds.width,
                          static_cast<double>(displays.pixelsHigh(id)) / bounds.height});
    }
    const auto all = allDisplaysBounds(ids);
    if (!all) {
        const DisplayID main = displays.mainDisplayID();
        return {displays.pixelsWide(main), displays.pixelsHigh(main)};
    }
    return canvasSize(*all, scale);
}

DesktopController::PixelSize DesktopController::canvasSize(const Rect& bounds, double scale) {
    const auto side = [scale](double points) {
        return static_cast<std::int64_t>(std::min(std::max(1.0, std::ceil(scale * points)), largestCanvasSide));
    };
    return {side(bounds.width), side(bounds.height)};
}

}  // namespace zentrabo
