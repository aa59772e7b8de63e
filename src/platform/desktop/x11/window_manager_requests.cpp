#include "platform/desktop/x11/window_manager_requests.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/desktop/x11/x11_properties.hpp"

namespace zentrabo::platform {
namespace {

// The source indication of a pager or taskbar: the request stands for the
// user's own choice.
constexpr std::uint32_t pagerSource = 2;
// _NET_MOVERESIZE_WINDOW's first value: the gravity in its low byte (static:
// the coordinates are the client window's own), which of x, y, width and
// height are given in bits 8 to 11, the source in bits 12 and 13.
constexpr std::uint32_t staticGravity = 10;
constexpr std::uint32_t givesX = 1u << 8;
constexpr std::uint32_t givesY = 1u << 9;
constexpr std::uint32_t givesWidth = 1u << 10;
constexpr std::uint32_t givesHeight = 1u << 11;
constexpr std::uint32_t sourceShift = 12;
// ICCCM's WM_CHANGE_STATE value for a minimized window.
constexpr std::uint32_t iconicState = 3;

struct FrameExtents {
    double left = 0, right = 0, top = 0, bottom = 0;
};

// A window without decorations has no extents: all zero.
FrameExtents readFrameExtents(X11Connection& x, xcb_window_t window) {
    auto values = PropertyRead(x, window, x.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL).numbers();
    values.resize(4, 0);
    return {double(values[0]), double(values[1]), double(values[2]), double(values[3])};
}

void sendToWindowManager(X11Connection& x, xcb_window_t window, const char* type,
                         std::initializer_list<std::uint32_t> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = x.atom(type);
    std::copy(data.begin(), data.end(), message.data.data32);
    xcb_send_event(x.get(), 0, x.root(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    x.flush();
}

// A coordinate as the 32-bit value the message carries (a signed one sent
// as its two's complement), rounded and kept within X's 16-bit range.
std::uint32_t coordinate(double value) {
    const double kept = std::clamp(std::round(value), double(std::numeric_limits<std::int16_t>::min()),
                                   double(std::numeric_limits<std::int16_t>::max()));
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(kept));
}

// A side of at least one pixel within X's range.
std::uint32_t side(double value) { return static_cast<std::uint32_t>(std::clamp(std::round(value), 1.0, 32767.0)); }

}  // namespace

void requestActivation(X11Connection& x, xcb_window_t window, xcb_window_t current) {
    sendToWindowManager(x, window, "_NET_ACTIVE_WINDOW", {pagerSource, XCB_CURRENT_TIME, current});
}

void requestMinimize(X11Connection& x, xcb_window_t window) {
    sendToWindowManager(x, window, "WM_CHANGE_STATE", {iconicState});
}

bool requestFrameChange(X11Connection& x, xcb_window_t window, std::optional<Point> position,
                        std::optional<Size> size) {
    const auto extents = readFrameExtents(x, window);
    if (x.isBroken()) return false;
    std::uint32_t flags = staticGravity | pagerSource << sourceShift;
    std::uint32_t values[4] = {0, 0, 0, 0};
    if (position) {
        flags |= givesX | givesY;
        values[0] = coordinate(position->x + extents.left);
        values[1] = coordinate(position->y + extents.top);
    }
    if (size) {
        flags |= givesWidth | givesHeight;
        values[2] = side(size->width - extents.left - extents.right);
        values[3] = side(size->height - extents.top - extents.bottom);
    }
    sendToWindowManager(x, window, "_NET_MOVERESIZE_WINDOW", {flags, values[0], values[1], values[2], values[3]});
    return true;
}

std::optional<Rect> readClientGeometry(X11Connection& x, xcb_window_t window) {
    const auto geometryCookie = xcb_get_geometry(x.get(), window);
    const auto originCookie = xcb_translate_coordinates(x.get(), window, x.root(), 0, 0);
    const auto geometry = x.reply<xcb_get_geometry_reply_t>(geometryCookie);
    const auto origin = x.reply<xcb_translate_coordinates_reply_t>(originCookie);
    if (!geometry || !origin) return std::nullopt;
    return Rect{double(origin->dst_x), double(origin->dst_y), double(geometry->width), double(geometry->height)};
}

std::optional<Rect> readFrame(X11Connection& x, xcb_window_t window) {
    const auto client = readClientGeometry(x, window);
    if (!client) return std::nullopt;
    const auto extents = readFrameExtents(x, window);
    return Rect{client->x - extents.left, client->y - extents.top, client->width + extents.left + extents.right,
                client->height + extents.top + extents.bottom};
}

}  // namespace zentrabo::platform
