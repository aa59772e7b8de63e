#include "platform/desktop/x11/managed_windows.hpp"

#include <xcb/res.h>

#include <algorithm>
#include <limits>

#include "platform/desktop/x11/x11_properties.hpp"

namespace zentrabo::platform {

namespace {

// A window manager lists a few hundred windows at most; a longer list is read
// only this far.
constexpr std::uint32_t maximumClientListBytes = 4 * 4096;
constexpr std::int64_t desktopLayer = -1000;
constexpr std::int64_t dockLayer = 20;
constexpr std::int64_t notificationLayer = 25;
// _NET_WM_DESKTOP of a window shown on every desktop.
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

// Every request for one window, sent before any answer is read.
struct WindowReads {
    xcb_window_t id;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
    PropertyRead pid;
    PropertyRead extents;
    PropertyRead netName;
    PropertyRead name;
    PropertyRead state;
    PropertyRead type;
    PropertyRead opacity;
    PropertyRead desktop;
};

WindowReads sendReads(X11Connection& x, xcb_window_t id) {
    const xcb_atom_t cardinal = XCB_ATOM_CARDINAL;
    return WindowReads{id,
                       xcb_get_geometry(x.get(), id),
                       xcb_translate_coordinates(x.get(), id, x.root(), 0, 0),
                       PropertyRead(x, id, x.atom("_NET_WM_PID"), cardinal),
                       PropertyRead(x, id, x.atom("_NET_FRAME_EXTENTS"), cardinal),
                       PropertyRead(x, id, x.atom("_NET_WM_NAME"), x.atom("UTF8_STRING")),
                       PropertyRead(x, id, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY),
                       PropertyRead(x, id, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM),
                       PropertyRead(x, id, x.atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM),
                       PropertyRead(x, id, x.atom("_NET_WM_WINDOW_OPACITY"), cardinal),
                       PropertyRead(x, id, x.atom("_NET_WM_DESKTOP"), cardinal)};
}

// Older toolkits set no _NET_WM_PID; the X-Resource extension knows the
// process of the client that made the window when it runs on this machine.
ProcessID clientProcess(X11Connection& x, xcb_window_t window) {
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto ids = x.reply<xcb_res_query_client_ids_reply_t>(xcb_res_query_client_ids(x.get(), 1, &spec));
    if (!ids) return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem > 0; xcb_res_client_id_value_next(&it)) {
        if (!(it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID)) continue;
        if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
        return static_cast<ProcessID>(xcb_res_client_id_value_value(it.data)[0]);
    }
    return 0;
}

ManagedWindowType windowType(X11Connection& x, const std::vector<std::uint32_t>& types) {
    // The first type the window lists that this knows decides.
    for (const std::uint32_t type : types) {
        if (type == x.atom("_NET_WM_WINDOW_TYPE_DESKTOP")) return ManagedWindowType::desktop;
        if (type == x.atom("_NET_WM_WINDOW_TYPE_DOCK")) return ManagedWindowType::dock;
        if (type == x.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION")) return ManagedWindowType::notification;
        if (type == x.atom("_NET_WM_WINDOW_TYPE_NORMAL")) return ManagedWindowType::normal;
    }
    return ManagedWindowType::normal;
}

std::optional<ManagedWindow> collect(X11Connection& x, WindowReads& reads,
                                     std::optional<std::uint32_t> currentDesktop) {
    const auto geometry = x.reply<xcb_get_geometry_reply_t>(reads.geometry);
    const auto origin = x.reply<xcb_translate_coordinates_reply_t>(reads.origin);
    ManagedWindow window;
    window.id = reads.id;
    window.pid = static_cast<ProcessID>(reads.pid.number().value_or(0));
    auto extents = reads.extents.numbers();  // left, right, top, bottom
    extents.resize(4, 0);
    const auto netName = reads.netName.text();
    const auto name = reads.name.text();
    const auto states = reads.state.numbers();
    window.type = windowType(x, reads.type.numbers());
    const auto opacity = reads.opacity.number();
    const auto desktop = reads.desktop.number();
    // A window destroyed while the list was read has no geometry: it is gone.
    if (!geometry || !origin) return std::nullopt;
    window.frame =
        Rect{static_cast<double>(origin->dst_x) - extents[0], static_cast<double>(origin->dst_y) - extents[2],
             static_cast<double>(geometry->width) + extents[0] + extents[1],
             static_cast<double>(geometry->height) + extents[2] + extents[3]};
    if (netName) {
        window.title = titleText(*netName, false);
    } else if (name) {
        window.title = titleText(*name, true);
    }
    window.minimized = std::find(states.begin(), states.end(), x.atom("_NET_WM_STATE_HIDDEN")) != states.end();
    const bool onCurrentDesktop = !desktop || !currentDesktop || *desktop == allDesktops || *desktop == *currentDesktop;
    window.onScreen = !window.minimized && onCurrentDesktop;
    if (opacity) window.alpha = static_cast<double>(*opacity) / std::numeric_limits<std::uint32_t>::max();
    if (window.pid <= 0) window.pid = clientProcess(x, window.id);
    return window;
}

}  // namespace

std::int64_t ManagedWindow::layer() const {
    switch (type) {
    case ManagedWindowType::desktop:
        return desktopLayer;
    case ManagedWindowType::dock:
        return dockLayer;
    case ManagedWindowType::notification:
        return notificationLayer;
    case ManagedWindowType::normal:
        break;
    }
    return 0;
}

bool ManagedWindow::isDesktopElement() const {
    return type == ManagedWindowType::desktop || type == ManagedWindowType::dock;
}

std::optional<std::vector<ManagedWindow>> readManagedWindows(X11Connection& x) {
    PropertyRead stackingRead(x, x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW,
                              maximumClientListBytes);
    PropertyRead listRead(x, x.root(), x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, maximumClientListBytes);
    PropertyRead desktopRead(x, x.root(), x.atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL);
    auto ids = stackingRead.numbers();
    const auto listed = listRead.numbers();
    const auto currentDesktop = desktopRead.number();
    if (x.isBroken()) return std::nullopt;
    // The stacking list runs bottom to top; a window manager without one gives
    // its clients in the order they were mapped.
    if (ids.empty()) ids = listed;
    std::reverse(ids.begin(), ids.end());

    std::vector<WindowReads> reads;
    reads.reserve(ids.size());
    for (const std::uint32_t id : ids) reads.push_back(sendReads(x, id));
    std::vector<ManagedWindow> windows;
    for (auto& read : reads) {
        if (auto window = collect(x, read, currentDesktop)) windows.push_back(std::move(*window));
    }
    if (x.isBroken()) return std::nullopt;
    return windows;
}

ProcessID readWindowProcess(X11Connection& x, xcb_window_t window) {
    const auto pid =
        static_cast<ProcessID>(PropertyRead(x, window, x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL).number().value_or(0));
    return pid > 0 ? pid : clientProcess(x, window);
}

xcb_window_t readActiveWindow(X11Connection& x) {
    return PropertyRead(x, x.root(), x.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW).number().value_or(0);
}

}  // namespace zentrabo::platform
