#include "platform/desktop/x11/randr_monitors.hpp"

#include <xcb/randr.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "platform/desktop/x11/edid.hpp"

namespace zentrabo::platform {

namespace {

// An EDID is 128 bytes a block; its monitor name is in the first.
constexpr std::uint32_t edidLongs = 128 / 4;

DisplayMode displayMode(const xcb_randr_mode_info_t& mode) {
    double refreshRate = 0;
    if (mode.htotal > 0 && mode.vtotal > 0) {
        double lines = static_cast<double>(mode.vtotal);
        if (mode.mode_flags & XCB_RANDR_MODE_FLAG_DOUBLE_SCAN) lines *= 2;
        if (mode.mode_flags & XCB_RANDR_MODE_FLAG_INTERLACE) lines /= 2;
        refreshRate = static_cast<double>(mode.dot_clock) / (mode.htotal * lines);
    }
    // Points are pixels on X11.
    return DisplayMode{
        mode.width, mode.height, mode.width, mode.height, refreshRate, static_cast<std::int32_t>(mode.id), 0, true};
}

std::optional<std::string> outputEdidName(X11Connection& x, xcb_randr_output_t output) {
    const xcb_atom_t edid = x.atom("EDID");
    if (edid == XCB_ATOM_NONE) return std::nullopt;
    const auto property = x.reply<xcb_randr_get_output_property_reply_t>(
        xcb_randr_get_output_property(x.get(), output, edid, XCB_GET_PROPERTY_TYPE_ANY, 0, edidLongs, 0, 0));
    if (!property || property->format != 8) return std::nullopt;
    return edidMonitorName(
        std::span(xcb_randr_get_output_property_data(property.get()),
                  static_cast<std::size_t>(xcb_randr_get_output_property_data_length(property.get()))));
}

// Fills the name and modes from the monitor's first output.
void describeOutput(X11Connection& x, RandrMonitor& monitor, xcb_randr_output_t output,
                    const std::map<std::uint32_t, xcb_randr_mode_info_t>& modes, xcb_timestamp_t configTimestamp) {
    const auto info =
        x.reply<xcb_randr_get_output_info_reply_t>(xcb_randr_get_output_info(x.get(), output, configTimestamp));
    if (!info) return;
    const auto outputName = std::string(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                                        static_cast<std::size_t>(xcb_randr_get_output_info_name_length(info.get())));
    monitor.name = outputEdidName(x, output).value_or(outputName);
    monitor.output = output;
    const xcb_randr_mode_t* outputModes = xcb_randr_get_output_info_modes(info.get());
    std::vector<DisplayMode> listed;
    for (int index = 0; index < xcb_randr_get_output_info_modes_length(info.get()); ++index) {
        if (const auto mode = modes.find(outputModes[index]); mode != modes.end()) {
            listed.push_back(displayMode(mode->second));
        }
    }
    if (info->crtc != XCB_NONE) {
        const auto crtc =
            x.reply<xcb_randr_get_crtc_info_reply_t>(xcb_randr_get_crtc_info(x.get(), info->crtc, configTimestamp));
        if (crtc) {
            if (const auto mode = modes.find(crtc->mode); mode != modes.end()) {
                monitor.currentMode = displayMode(mode->second);
            }
        }
    }
    std::sort(listed.begin(), listed.end(), [](const DisplayMode& a, const DisplayMode& b) {
        return std::tie(a.ioDisplayModeID, a.ioFlags) < std::tie(b.ioDisplayModeID, b.ioFlags);
    });
    if (!listed.empty()) monitor.modes = std::move(listed);
}

}  // namespace

std::optional<std::vector<RandrMonitor>> readRandrMonitors(X11Connection& x) {
    const auto version = x.reply<xcb_randr_query_version_reply_t>(xcb_randr_query_version(x.get(), 1, 5));
    if (!version || version->major_version < 1 || (version->major_version == 1 && version->minor_version < 5)) {
        return std::nullopt;
    }
    const auto resources = x.reply<xcb_randr_get_screen_resources_current_reply_t>(
        xcb_randr_get_screen_resources_current(x.get(), x.root()));
    const auto listed = x.reply<xcb_randr_get_monitors_reply_t>(xcb_randr_get_monitors(x.get(), x.root(), 1));
    if (!resources || !listed) return std::nullopt;
    std::map<std::uint32_t, xcb_randr_mode_info_t> modes;
    const xcb_randr_mode_info_t* modeInfos = xcb_randr_get_screen_resources_current_modes(resources.get());
    for (int index = 0; index < xcb_randr_get_screen_resources_current_modes_length(resources.get()); ++index) {
        modes.emplace(modeInfos[index].id, modeInfos[index]);
    }

    std::vector<RandrMonitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(listed.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        RandrMonitor monitor;
        monitor.id = info.name;
        monitor.bounds = Rect{static_cast<double>(info.x), static_cast<double>(info.y), static_cast<double>(info.width),
                              static_cast<double>(info.height)};
        monitor.primary = info.primary != 0;
        monitor.name = x.atomName(info.name);
        // A monitor made without an output has its geometry as its one mode.
        monitor.currentMode = DisplayMode{info.width, info.height, info.width, info.height, 0, 0, 0, true};
        monitor.modes = {monitor.currentMode};
        if (xcb_randr_monitor_info_outputs_length(&info) > 0) {
            describeOutput(x, monitor, xcb_randr_monitor_info_outputs(&info)[0], modes, resources->config_timestamp);
        }
        monitors.push_back(std::move(monitor));
    }
    if (x.isBroken()) return std::nullopt;
    return monitors;
}

const RandrMonitor* mainMonitor(const std::vector<RandrMonitor>& monitors) {
    if (monitors.empty()) return nullptr;
    for (const auto& monitor : monitors) {
        if (monitor.primary) return &monitor;
    }
    for (const auto& monitor : monitors) {
        if (monitor.bounds.x == 0 && monitor.bounds.y == 0) return &monitor;
    }
    return &monitors.front();
}

}  // namespace zentrabo::platform
