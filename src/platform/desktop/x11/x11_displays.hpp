#pragma once
// The displays of an X11 session: its RandR monitors. The list is read anew
// whenever it is asked for, since some X servers report no event when a
// monitor is added or removed; a look-up of one monitor uses the last read
// until the event thread reports a change or the monitor is missing from it.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/desktop/listed_displays.hpp"
#include "platform/desktop/x11/randr_monitors.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11Displays final : public ListedDisplays {
public:
    // Throws X11Error when the display cannot be reached.
    explicit X11Displays(const std::string& display);

    // The monitors changed: the next call reads them anew. Any thread.
    void monitorsChanged() { ++changes_; }
    // The monitors now; none when they cannot be read.
    std::optional<std::vector<RandrMonitor>> monitors();
    // The monitor with that id, if there is one.
    std::optional<RandrMonitor> monitor(DisplayID display);

    // Switches the output the monitor shows; a monitor without an output, or a
    // mode it does not list, is an illegal argument.
    std::int32_t setMode(DisplayID display, const DisplayMode& mode) override;
    // The picture file the desktop shows behind every monitor, as GNOME's
    // settings name it; none for a display that is no monitor.
    std::optional<std::filesystem::path> desktopImageURL(DisplayID display) override;

protected:
    // Points are pixels on X11, whatever font resolution the session sets.
    std::optional<Listing> listedDisplays() override;

private:
    std::optional<std::vector<RandrMonitor>> readLocked();

    std::mutex mutex_;
    X11Connection connection_;
    std::optional<std::vector<RandrMonitor>> known_;
    // Counts the changes reported; known_ is valid while knownAt_ equals it.
    std::atomic<std::uint64_t> changes_{0};
    std::uint64_t knownAt_ = 0;
};

}  // namespace zentrabo::platform
