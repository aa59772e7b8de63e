#include "platform/desktop/x11/x11_displays.hpp"

#include <algorithm>

#include "platform/desktop/gnome_wallpaper/gnome_slideshow.hpp"
#include "platform/desktop/x11/randr_mode_switch.hpp"

namespace zentrabo::platform {

X11Displays::X11Displays(const std::string& display) : connection_(display) {}

std::optional<std::vector<RandrMonitor>> X11Displays::readLocked() {
    // Taken before the read: a change reported during it makes the next
    // look-up read again.
    const std::uint64_t now = changes_;
    if (!connection_.usable()) return std::nullopt;
    known_ = readRandrMonitors(connection_);
    knownAt_ = now;
    return known_;
}

std::optional<std::vector<RandrMonitor>> X11Displays::monitors() {
    std::lock_guard lock(mutex_);
    return readLocked();
}

std::optional<RandrMonitor> X11Displays::monitor(DisplayID display) {
    std::lock_guard lock(mutex_);
    const auto find = [display](const std::optional<std::vector<RandrMonitor>>& all) -> std::optional<RandrMonitor> {
        if (!all) return std::nullopt;
        for (const auto& monitor : *all) {
            if (monitor.id == display) return monitor;
        }
        return std::nullopt;
    };
    if (knownAt_ == changes_) {
        if (auto found = find(known_)) return found;
    }
    // A monitor the last read lacks may have come since without an event.
    return find(readLocked());
}

std::optional<ListedDisplays::Listing> X11Displays::listedDisplays() {
    const auto all = monitors();
    if (!all) return std::nullopt;
    Listing listing;
    const RandrMonitor* main = mainMonitor(*all);
    listing.main = main ? static_cast<std::size_t>(main - all->data()) : all->size();
    for (const auto& monitor : *all) {
        listing.displays.push_back({monitor.id, monitor.bounds, static_cast<std::int64_t>(monitor.bounds.width),
                                    static_cast<std::int64_t>(monitor.bounds.height), monitor.name, monitor.currentMode,
                                    monitor.modes});
    }
    return listing;
}

std::int32_t X11Displays::setMode(DisplayID display, const DisplayMode& mode) {
    const auto found = monitor(display);
    if (!found || found->output == 0 || mode.ioDisplayModeID == 0) return displayerror::illegalArgument;
    const bool listed = std::any_of(found->modes.begin(), found->modes.end(), [&mode](const DisplayMode& known) {
        return known.ioDisplayModeID == mode.ioDisplayModeID && known.ioFlags == mode.ioFlags;
    });
    if (!listed) return displayerror::illegalArgument;
    std::lock_guard lock(mutex_);
    if (!connection_.usable()) return displayerror::failure;
    const std::int32_t result =
        switchOutputMode(connection_, found->output, static_cast<xcb_randr_mode_t>(mode.ioDisplayModeID));
    // Read anew whatever happened, without waiting for the event thread.
    ++changes_;
    return result;
}

std::optional<std::filesystem::path> X11Displays::desktopImageURL(DisplayID display) {
    const auto shown = monitor(display);
    if (!shown) return std::nullopt;
    return currentGnomeDesktopPicture({shown->bounds.width, shown->bounds.height});
}

}  // namespace zentrabo::platform
