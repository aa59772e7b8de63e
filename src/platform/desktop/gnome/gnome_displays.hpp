#pragma once
// The displays of a GNOME Wayland session: mutter's logical monitors as
// org.gnome.Mutter.DisplayConfig describes them, read anew on every call.
// A display is named by a number made from its connector ("Meta-0"), so it
// keeps it while the connector stays. Its modes are each of the monitor's
// modes at each scale mutter supports for it (points = pixels / scale); a
// mode is switched to, scale included, through ApplyMonitorsConfig's
// temporary method, which mutter undoes by itself should the session end.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/listed_displays.hpp"

namespace zentrabo::platform {

// One monitor with its logical place, as the display service reads it.
struct MutterMonitor {
    std::string connector;
    std::string displayName;
    // In the layout's coordinates (global points).
    double x = 0;
    double y = 0;
    double scale = 1;
    std::uint32_t transform = 0;
    bool primary = false;
    struct Mode {
        std::string id;
        std::int64_t width = 0;  // pixels
        std::int64_t height = 0;
        double refreshRate = 0;
        std::vector<double> scales;
        bool current = false;
    };
    std::vector<Mode> modes;
};

struct MutterDisplayState {
    std::uint32_t serial = 0;
    // Only monitors that show a logical monitor.
    std::vector<MutterMonitor> monitors;
};

class GnomeDisplays final : public ListedDisplays {
public:
    explicit GnomeDisplays(std::shared_ptr<GnomeBus> bus) : bus_(std::move(bus)) {}

    // The display number a connector gets.
    static DisplayID displayIDOf(const std::string& connector);

    // The monitors now; none when mutter does not answer.
    std::optional<MutterDisplayState> state();
    // The connector of the display; none for an unknown display.
    std::optional<std::string> connectorOf(DisplayID display);

    // A mode the display does not list is an illegal argument; a refusal by
    // mutter is a failure.
    std::int32_t setMode(DisplayID display, const DisplayMode& mode) override;
    // As on X11: GNOME's background settings, one picture for every display.
    std::optional<std::filesystem::path> desktopImageURL(DisplayID display) override;

protected:
    std::optional<Listing> listedDisplays() override;

private:
    std::shared_ptr<GnomeBus> bus_;
};

}  // namespace zentrabo::platform
