#pragma once
// A top-level window of this process that the display's window manager
// frames and makes active, so that a frontmost-window stream picks it: the
// host in which a window bench moves its content. It knows where its frame
// lies on the root (the region a grab of the same picture takes) and where
// its own area starts inside the frame (where the content appears in a
// picture of the frame).
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace zentrabo::bench {

struct FrameRegion {
    int x = 0, y = 0;  // the frame's top-left corner on the root
    int width = 0, height = 0;
    int clientX = 0, clientY = 0;  // the host's area inside the frame
};

class ManagedX11HostWindow {
public:
    ManagedX11HostWindow(const std::string& display, std::uint16_t width, std::uint16_t height)
        : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        if (!windowManagerRuns()) return;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t background = 0x303030;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen_->root, 200, 150, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL, &background);
        const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                            &pid);
        static constexpr char title[] = "Moving content";
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            sizeof title - 1, title);
        static constexpr char windowClass[] = "bench\0Bench";
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof windowClass, windowClass);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        region_ = settledRegion(width, height);
    }
    ~ManagedX11HostWindow() { xcb_disconnect(connection_); }
    ManagedX11HostWindow(const ManagedX11HostWindow&) = delete;
    ManagedX11HostWindow& operator=(const ManagedX11HostWindow&) = delete;

    // None when no window manager framed and activated the window within
    // five seconds (or the display could not be reached).
    const std::optional<FrameRegion>& region() const { return region_; }
    xcb_window_t window() const { return window_; }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply != nullptr ? reply->atom : XCB_ATOM_NONE;
        free(reply);
        return found;
    }

    std::optional<xcb_window_t> windowProperty(xcb_window_t window, xcb_atom_t property) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
        std::optional<xcb_window_t> value;
        if (reply != nullptr && xcb_get_property_value_length(reply) == 4) {
            value = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        }
        free(reply);
        return value;
    }

    bool windowManagerRuns() { return windowProperty(screen_->root, atom("_NET_SUPPORTING_WM_CHECK")).has_value(); }

    // The frame around the window once the manager has reparented it and
    // made it active.
    std::optional<xcb_window_t> frame() {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window_), nullptr);
        std::optional<xcb_window_t> parent;
        if (tree != nullptr && tree->parent != screen_->root) parent = tree->parent;
        free(tree);
        // The frame may nest the window deeper; its top-level is the root's child.
        for (int depth = 0; parent && depth < 8; ++depth) {
            tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, *parent), nullptr);
            const bool top = tree != nullptr && tree->parent == screen_->root;
            const xcb_window_t next = tree != nullptr ? tree->parent : XCB_NONE;
            free(tree);
            if (top) break;
            parent = next;
        }
        return parent;
    }

    std::optional<FrameRegion> regionOf(xcb_window_t frame) {
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, frame), nullptr);
        xcb_translate_coordinates_reply_t* inside = xcb_translate_coordinates_reply(
            connection_, xcb_translate_coordinates(connection_, window_, frame, 0, 0), nullptr);
        std::optional<FrameRegion> region;
        if (geometry != nullptr && inside != nullptr) {
            region = FrameRegion{geometry->x,
                                 geometry->y,
                                 geometry->width + 2 * geometry->border_width,
                                 geometry->height + 2 * geometry->border_width,
                                 inside->dst_x + geometry->border_width,
                                 inside->dst_y + geometry->border_width};
        }
        free(geometry);
        free(inside);
        return region;
    }

    // Waits for the frame and the activation, and evens the frame's sides
    // (a 4:2:0 picture of the region has even sides, so both the stream and
    // a grab then take the very same pixels).
    std::optional<FrameRegion> settledRegion(std::uint16_t width, std::uint16_t height) {
        const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool evened = false;
        while (std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto framed = frame();
            if (!framed || windowProperty(screen_->root, active) != window_) continue;
            const auto region = regionOf(*framed);
            if (!region) return std::nullopt;
            if (region->width % 2 == 0 && region->height % 2 == 0) return region;
            if (evened) continue;
            const std::uint32_t sides[] = {width + static_cast<std::uint32_t>(region->width % 2),
                                           height + static_cast<std::uint32_t>(region->height % 2)};
            xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, sides);
            xcb_flush(connection_);
            evened = true;
        }
        return std::nullopt;
    }

    xcb_connection_t* connection_;
    const xcb_screen_t* screen_ = nullptr;
    xcb_window_t window_ = XCB_NONE;
    std::optional<FrameRegion> region_;
};

}  // namespace zentrabo::bench
