#include "platform/desktop/x11/randr_mode_switch.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/desktop/displays.hpp"

namespace zentrabo::platform {

namespace {

// Used for the screen's physical size when the server reports none.
constexpr double fallbackDotsPerInch = 96;
constexpr double millimetresPerInch = 25.4;

struct ScreenSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool operator==(const ScreenSize&) const = default;
};

// The size a CRTC covers with a mode of that size, turned as it is turned.
ScreenSize turned(std::uint32_t width, std::uint32_t height, std::uint16_t rotation) {
    if (rotation & (XCB_RANDR_ROTATION_ROTATE_90 | XCB_RANDR_ROTATION_ROTATE_270)) return {height, width};
    return {width, height};
}

std::optional<xcb_randr_mode_info_t> listedMode(const xcb_randr_get_screen_resources_current_reply_t& resources,
                                                xcb_randr_mode_t mode) {
    const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(&resources);
    const int count = xcb_randr_get_screen_resources_current_modes_length(&resources);
    for (int index = 0; index < count; ++index) {
        if (modes[index].id == mode) return modes[index];
    }
    return std::nullopt;
}

bool outputLists(const xcb_randr_get_output_info_reply_t& output, xcb_randr_mode_t mode) {
    const xcb_randr_mode_t* modes = xcb_randr_get_output_info_modes(&output);
    const xcb_randr_mode_t* end = modes + xcb_randr_get_output_info_modes_length(&output);
    return std::find(modes, end, mode) != end;
}

// The bounding box of every lit CRTC once `switched` shows `size`; none
// when a CRTC cannot be read.
std::optional<ScreenSize> boundingBox(X11Connection& x, const xcb_randr_get_screen_resources_current_reply_t& resources,
                                      xcb_randr_crtc_t switched, ScreenSize size) {
    ScreenSize box;
    const xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(&resources);
    for (int index = 0; index < xcb_randr_get_screen_resources_current_crtcs_length(&resources); ++index) {
        const auto crtc = x.reply<xcb_randr_get_crtc_info_reply_t>(
            xcb_randr_get_crtc_info(x.get(), crtcs[index], resources.config_timestamp));
        if (!crtc) return std::nullopt;
        ScreenSize shown{crtc->width, crtc->height};
        if (crtcs[index] == switched) {
            shown = size;
        } else if (crtc->mode == XCB_NONE) {
            continue;
        }
        box.width = std::max(box.width, static_cast<std::uint32_t>(std::max(crtc->x, std::int16_t{0})) + shown.width);
        box.height =
            std::max(box.height, static_cast<std::uint32_t>(std::max(crtc->y, std::int16_t{0})) + shown.height);
    }
    return box;
}

std::uint32_t millimetres(std::uint32_t pixels, std::uint16_t setupPixels, std::uint16_t setupMillimetres) {
    const double perPixel = setupPixels > 0 && setupMillimetres > 0
                                ? static_cast<double>(setupMillimetres) / setupPixels
                                : millimetresPerInch / fallbackDotsPerInch;
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(pixels * perPixel)));
}

void setScreenSize(X11Connection& x, ScreenSize size) {
    const xcb_screen_t& screen = x.screen();
    xcb_randr_set_screen_size(x.get(), x.root(), static_cast<std::uint16_t>(size.width),
                              static_cast<std::uint16_t>(size.height),
                              millimetres(size.width, screen.width_in_pixels, screen.width_in_millimeters),
                              millimetres(size.height, screen.height_in_pixels, screen.height_in_millimeters));
}

}  // namespace

std::int32_t switchOutputMode(X11Connection& x, xcb_randr_output_t output, xcb_randr_mode_t mode) {
    const auto resources = x.reply<xcb_randr_get_screen_resources_current_reply_t>(
        xcb_randr_get_screen_resources_current(x.get(), x.root()));
    if (!resources) return displayerror::failure;
    const auto info = x.reply<xcb_randr_get_output_info_reply_t>(
        xcb_randr_get_output_info(x.get(), output, resources->config_timestamp));
    if (!info) return displayerror::failure;
    const auto modeInfo = listedMode(*resources, mode);
    if (info->crtc == XCB_NONE || !modeInfo || !outputLists(*info, mode)) return displayerror::illegalArgument;
    const auto crtc = x.reply<xcb_randr_get_crtc_info_reply_t>(
        xcb_randr_get_crtc_info(x.get(), info->crtc, resources->config_timestamp));
    const auto range =
        x.reply<xcb_randr_get_screen_size_range_reply_t>(xcb_randr_get_screen_size_range(x.get(), x.root()));
    const auto root = x.reply<xcb_get_geometry_reply_t>(xcb_get_geometry(x.get(), x.root()));
    if (!crtc || !range || !root) return displayerror::failure;

    const auto box = boundingBox(x, *resources, info->crtc, turned(modeInfo->width, modeInfo->height, crtc->rotation));
    if (!box || box->width > range->max_width || box->height > range->max_height) return displayerror::failure;
    const ScreenSize before{root->width, root->height};
    // The screen must hold every CRTC at each step: it grows before the
    // switch and shrinks after it.
    const ScreenSize grown{std::max(before.width, box->width), std::max(before.height, box->height)};
    if (grown != before) setScreenSize(x, grown);

    const xcb_randr_output_t* outputs = xcb_randr_get_crtc_info_outputs(crtc.get());
    const auto switched = x.reply<xcb_randr_set_crtc_config_reply_t>(xcb_randr_set_crtc_config(
        x.get(), info->crtc, XCB_CURRENT_TIME, resources->config_timestamp, crtc->x, crtc->y, mode, crtc->rotation,
        static_cast<std::uint32_t>(xcb_randr_get_crtc_info_outputs_length(crtc.get())), outputs));
    if (!switched || switched->status != XCB_RANDR_SET_CONFIG_SUCCESS) {
        if (grown != before) setScreenSize(x, before);
        x.flush();
        return displayerror::failure;
    }
    if (*box != grown) setScreenSize(x, *box);
    x.flush();
    return displayerror::success;
}

}  // namespace zentrabo::platform
