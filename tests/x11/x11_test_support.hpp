#pragma once
// What the X11 backend's tests share: waiting for the session to settle,
// witnesses of window frames and process names, and a bare window of the
// test's own that says nothing of its process.
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "platform/desktop/geometry.hpp"
#include "support/eventually.hpp"
#include "support/test_application.hpp"
#include "support/x11_witness.hpp"

namespace zentrabo::testing {

// A window's client area as the application reported it mapped.
struct MappedWindow {
    std::uint32_t xid = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string colour;
};

// The window a "mapped" report describes.
inline MappedWindow mappedWindow(const TestApplicationReport& report) {
    return MappedWindow{static_cast<std::uint32_t>(report.integer("xid").value_or(0)),
                        static_cast<int>(report.integer("x").value_or(-1)),
                        static_cast<int>(report.integer("y").value_or(-1)),
                        static_cast<int>(report.integer("width").value_or(0)),
                        static_cast<int>(report.integer("height").value_or(0)),
                        report.text("colour").value_or("")};
}

inline std::optional<MappedWindow> waitForMapped(TestApplication& application, const std::string& name) {
    const auto report = application.reports().waitFor("mapped", name);
    if (!report) return std::nullopt;
    return mappedWindow(*report);
}

// Asks the window manager to activate the window, as a pager would, and
// waits until it has.
inline void activateWindow(std::uint32_t window) {
    witnessOutput("xdotool windowactivate --sync " + std::to_string(window));
}

// The application's window once mapped and brought to the front.
inline std::optional<MappedWindow> waitForFrontWindow(TestApplication& application, const std::string& name) {
    auto window = waitForMapped(application, name);
    if (window) activateWindow(window->xid);
    return window;
}

// The frame of a managed window as xwininfo and xprop see it: the client's
// absolute corner and size widened by _NET_FRAME_EXTENTS.
inline std::optional<platform::Rect> witnessedFrame(std::uint32_t window) {
    const std::string info = witnessOutput("xwininfo -id " + std::to_string(window));
    const auto value = [&info](const std::string& label) -> std::optional<double> {
        const auto at = info.find("  " + label + ":");
        if (at == std::string::npos) return std::nullopt;
        return std::stod(info.substr(at + label.size() + 3));
    };
    const auto x = value("Absolute upper-left X"), y = value("Absolute upper-left Y"), width = value("Width"),
               height = value("Height");
    const auto extents = witnessedNumbers("_NET_FRAME_EXTENTS", window);
    if (!x || !y || !width || !height || extents.size() != 4) return std::nullopt;
    return platform::Rect{*x - extents[0], *y - extents[2], *width + extents[0] + extents[1],
                          *height + extents[2] + extents[3]};
}

// The process's command name as ps prints it.
inline std::string witnessedProcessName(int pid) {
    std::string name = witnessOutput("ps -o comm= -p " + std::to_string(pid));
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return name;
}

// A top-level window made by the test with plain xcb: a WM_NAME and no
// _NET_WM_PID, as older toolkits make them.
class BareWindow {
public:
    explicit BareWindow(const std::string& title) : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        id_ = xcb_generate_id(connection_);
        const std::uint32_t background = screen->white_pixel;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, id_, screen->root, 0, 0, 240, 120, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, &background);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(title.size()), title.data());
        xcb_map_window(connection_, id_);
        xcb_flush(connection_);
    }
    ~BareWindow() { xcb_disconnect(connection_); }
    BareWindow(const BareWindow&) = delete;
    BareWindow& operator=(const BareWindow&) = delete;

    std::uint32_t id() const { return id_; }

private:
    xcb_connection_t* connection_;
    std::uint32_t id_ = 0;
};

}  // namespace zentrabo::testing
