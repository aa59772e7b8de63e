#include "platform/desktop/window_list_selection.hpp"

#include <algorithm>

namespace zentrabo::platform {

std::vector<bool> windowListSelection(const std::vector<WindowListPlace>& frontToBack, std::uint32_t options,
                                      WindowID relativeToWindow) {
    const bool above = options & windowlist::onScreenAboveWindow;
    const bool below = options & windowlist::onScreenBelowWindow;
    const bool including = options & windowlist::includingWindow;
    const auto relative = std::find_if(frontToBack.begin(), frontToBack.end(), [relativeToWindow](const auto& place) {
        return place.number == relativeToWindow;
    });
    std::vector<bool> selected;
    selected.reserve(frontToBack.size());
    for (auto it = frontToBack.begin(); it != frontToBack.end(); ++it) {
        const bool isRelative = it == relative;
        bool wanted = true;
        if (above || below) {
            if (relative == frontToBack.end()) {
                wanted = it->onScreen;
            } else {
                wanted = it->onScreen && ((above && it < relative) || (below && it > relative));
            }
            wanted = wanted || (including && isRelative);
        } else if (including) {
            wanted = isRelative;
        } else if (options & windowlist::onScreenOnly) {
            wanted = it->onScreen;
        }
        if ((options & windowlist::excludeDesktopElements) && it->isDesktopElement) wanted = false;
        selected.push_back(wanted);
    }
    return selected;
}

WindowListEntry windowListEntry(const WindowListFacts& facts) {
    WindowListEntry entry;
    entry[windowkey::number] = static_cast<std::int64_t>(facts.number);
    entry[windowkey::ownerPID] = static_cast<std::int64_t>(facts.owner);
    entry[windowkey::ownerName] = facts.ownerName;
    entry[windowkey::layer] = facts.layer;
    entry[windowkey::alpha] = facts.alpha;
    entry[windowkey::bounds] = WindowInfoDictionary{
        {"X", facts.frame.x}, {"Y", facts.frame.y}, {"Width", facts.frame.width}, {"Height", facts.frame.height}};
    if (facts.onScreen) entry[windowkey::isOnscreen] = true;
    if (facts.title) entry[windowkey::name] = *facts.title;
    return entry;
}

}  // namespace zentrabo::platform
