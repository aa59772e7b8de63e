#include "platform/desktop/gnome/gnome_displays.hpp"

#include <cmath>

#include "platform/desktop/gnome_wallpaper/gnome_slideshow.hpp"

namespace zentrabo::platform {

namespace {

const BusObject displayConfig{"org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"};
constexpr const char* displayConfigInterface = "org.gnome.Mutter.DisplayConfig";
constexpr const char* stateType = "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})";
// ApplyMonitorsConfig's method that lasts until the session ends or another
// configuration is applied, and is never written to the user's monitors.xml.
constexpr guint32 temporaryMethod = 1;
// Bounds on what one reply may list.
constexpr std::size_t maximumMonitors = 64;
constexpr std::size_t maximumModes = 1024;

bool booleanEntry(GVariant* dictionary, const char* key) {
    gboolean value = FALSE;
    return g_variant_lookup(dictionary, key, "b", &value) && value;
}

// The physical monitors by connector, with their modes.
std::vector<MutterMonitor> readMonitors(GVariant* monitors) {
    std::vector<MutterMonitor> read;
    GVariantIter iterator;
    g_variant_iter_init(&iterator, monitors);
    GVariant* monitor = nullptr;
    while (read.size() < maximumMonitors && (monitor = g_variant_iter_next_value(&iterator))) {
        MutterMonitor entry;
        const gchar* connector = nullptr;
        GVariant* modes = nullptr;
        GVariant* properties = nullptr;
        g_variant_get(monitor, "((&s&s&s&s)@a(siiddada{sv})@a{sv})", &connector, nullptr, nullptr, nullptr, &modes,
                      &properties);
        entry.connector = connector;
        const gchar* name = nullptr;
        if (g_variant_lookup(properties, "display-name", "&s", &name)) entry.displayName = name;
        GVariantIter modeIterator;
        g_variant_iter_init(&modeIterator, modes);
        GVariant* mode = nullptr;
        while (entry.modes.size() < maximumModes && (mode = g_variant_iter_next_value(&modeIterator))) {
            const gchar* id = nullptr;
            gint32 width = 0, height = 0;
            double refresh = 0, preferredScale = 1;
            GVariantIter* scales = nullptr;
            GVariant* modeProperties = nullptr;
            g_variant_get(mode, "(&siidd@ad@a{sv})", &id, &width, &height, &refresh, &preferredScale, nullptr,
                          &modeProperties);
            MutterMonitor::Mode read{id, width, height, refresh, {}, booleanEntry(modeProperties, "is-current")};
            GVariant* scaleList = g_variant_get_child_value(mode, 5);
            g_variant_get(scaleList, "ad", &scales);
            double scale = 0;
            while (read.scales.size() < 16 && g_variant_iter_next(scales, "d", &scale)) read.scales.push_back(scale);
            g_variant_iter_free(scales);
            g_variant_unref(scaleList);
            g_variant_unref(modeProperties);
            g_variant_unref(mode);
            entry.modes.push_back(std::move(read));
        }
        g_variant_unref(modes);
        g_variant_unref(properties);
        g_variant_unref(monitor);
        read.push_back(std::move(entry));
    }
    return read;
}

DisplayMode displayMode(const MutterMonitor::Mode& mode, std::size_t modeIndex, double scale, std::size_t scaleIndex) {
    DisplayMode shown;
    shown.pixelWidth = mode.width;
    shown.pixelHeight = mode.height;
    shown.width = std::llround(static_cast<double>(mode.width) / scale);
    shown.height = std::llround(static_cast<double>(mode.height) / scale);
    shown.refreshRate = mode.refreshRate;
    shown.ioDisplayModeID = static_cast<std::int32_t>(modeIndex + 1);
    shown.ioFlags = static_cast<std::uint32_t>(scaleIndex);
    return shown;
}

}  // namespace

DisplayID GnomeDisplays::displayIDOf(const std::string& connector) {
    // FNV-1a; never 0, which names no display.
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : connector) hash = (hash ^ c) * 16777619u;
    return hash ? hash : 1;
}

std::optional<MutterDisplayState> GnomeDisplays::state() {
    const auto reply = bus_->call(displayConfig, displayConfigInterface, "GetCurrentState", nullptr, stateType);
    if (!reply) return std::nullopt;
    guint32 serial = 0;
    GVariant* monitors = nullptr;
    GVariant* logical = nullptr;
    g_variant_get(reply.value.get(), "(u@a((ssss)a(siiddada{sv})a{sv})@a(iiduba(ssss)a{sv})@a{sv})", &serial, &monitors,
                  &logical, nullptr);
    const auto physical = readMonitors(monitors);
    MutterDisplayState state{serial, {}};
    GVariantIter iterator;
    gint32 x = 0, y = 0;
    double scale = 1;
    guint32 transform = 0;
    gboolean primary = FALSE;
    // Each logical monitor shows its first physical one.
    g_variant_iter_init(&iterator, logical);
    GVariant* entry = nullptr;
    while (state.monitors.size() < maximumMonitors && (entry = g_variant_iter_next_value(&iterator))) {
        GVariant* members = nullptr;
        g_variant_get(entry, "(iidub@a(ssss)@a{sv})", &x, &y, &scale, &transform, &primary, &members, nullptr);
        if (g_variant_n_children(members) > 0) {
            const gchar* connector = nullptr;
            g_variant_get_child(members, 0, "(&s&s&s&s)", &connector, nullptr, nullptr, nullptr);
            for (const auto& monitor : physical) {
                if (monitor.connector != connector) continue;
                MutterMonitor placed = monitor;
                placed.x = x;
                placed.y = y;
                placed.scale = scale > 0 ? scale : 1;
                placed.transform = transform;
                placed.primary = primary;
                state.monitors.push_back(std::move(placed));
            }
        }
        g_variant_unref(members);
        g_variant_unref(entry);
    }
    g_variant_unref(monitors);
    g_variant_unref(logical);
    return state;
}

std::optional<ListedDisplays::Listing> GnomeDisplays::listedDisplays() {
    const auto now = state();
    if (!now) return std::nullopt;
    Listing listing;
    listing.main = now->monitors.size();
    for (const auto& monitor : now->monitors) {
        ListedDisplay display;
        display.id = displayIDOf(monitor.connector);
        display.name = monitor.displayName.empty() ? monitor.connector : monitor.displayName;
        for (std::size_t modeIndex = 0; modeIndex < monitor.modes.size(); ++modeIndex) {
            const auto& mode = monitor.modes[modeIndex];
            for (std::size_t scaleIndex = 0; scaleIndex < mode.scales.size(); ++scaleIndex) {
                const auto shown = displayMode(mode, modeIndex, mode.scales[scaleIndex], scaleIndex);
                display.modes.push_back(shown);
                if (mode.current && std::abs(mode.scales[scaleIndex] - monitor.scale) < 1e-6) {
                    display.currentMode = shown;
                }
            }
        }
        display.pixelWidth = display.currentMode.pixelWidth;
        display.pixelHeight = display.currentMode.pixelHeight;
        display.bounds = {monitor.x, monitor.y, static_cast<double>(display.currentMode.width),
                          static_cast<double>(display.currentMode.height)};
        if (monitor.primary) listing.main = listing.displays.size();
        listing.displays.push_back(std::move(display));
    }
    if (listing.main == now->monitors.size() && !listing.displays.empty()) listing.main = 0;
    return listing;
}

std::optional<std::string> GnomeDisplays::connectorOf(DisplayID display) {
    const auto now = state();
    for (const auto& monitor : now ? now->monitors : std::vector<MutterMonitor>{}) {
        if (displayIDOf(monitor.connector) == display) return monitor.connector;
    }
    return std::nullopt;
}

std::int32_t GnomeDisplays::setMode(DisplayID display, const DisplayMode& mode) {
    const auto now = state();
    if (!now) return displayerror::failure;
    const MutterMonitor* target = nullptr;
    for (const auto& monitor : now->monitors) {
        if (displayIDOf(monitor.connector) == display) target = &monitor;
    }
    const auto modeIndex = static_cast<std::size_t>(mode.ioDisplayModeID) - 1;
    if (!target || mode.ioDisplayModeID <= 0 || modeIndex >= target->modes.size() ||
        mode.ioFlags >= target->modes[modeIndex].scales.size()) {
        return displayerror::illegalArgument;
    }
    GVariantBuilder logical;
    g_variant_builder_init(&logical, G_VARIANT_TYPE("a(iiduba(ssa{sv}))"));
    for (const auto& monitor : now->monitors) {
        std::string modeID;
        double scale = monitor.scale;
        if (&monitor == target) {
            modeID = monitor.modes[modeIndex].id;
            scale = monitor.modes[modeIndex].scales[mode.ioFlags];
        } else {
            for (const auto& candidate : monitor.modes) {
                if (candidate.current) modeID = candidate.id;
            }
        }
        GVariantBuilder members;
        g_variant_builder_init(&members, G_VARIANT_TYPE("a(ssa{sv})"));
        g_variant_builder_add(&members, "(ss@a{sv})", monitor.connector.c_str(), modeID.c_str(),
                              g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0));
        g_variant_builder_add(&logical, "(iiduba(ssa{sv}))", static_cast<gint32>(monitor.x),
                              static_cast<gint32>(monitor.y), scale, monitor.transform, monitor.primary, &members);
    }
    const auto reply = bus_->call(displayConfig, displayConfigInterface, "ApplyMonitorsConfig",
                                  g_variant_new("(uua(iiduba(ssa{sv}))@a{sv})", now->serial, temporaryMethod, &logical,
                                                g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                  "()");
    return reply ? displayerror::success : displayerror::failure;
}

std::optional<std::filesystem::path> GnomeDisplays::desktopImageURL(DisplayID display) {
    const auto listing = listedDisplays();
    for (const auto& shown : listing ? listing->displays : std::vector<ListedDisplay>{}) {
        if (shown.id == display) return currentGnomeDesktopPicture({shown.bounds.width, shown.bounds.height});
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
