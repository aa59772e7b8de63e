#pragma once
// A window that keeps moving across an X display while a bench captures it,
// so every captured frame differs: a plain coloured window, kept out of the
// window manager's hands, shifted a few pixels every 16 ms on a thread of
// its own.
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace zentrabo::bench {

class MovingX11Window {
public:
    static constexpr std::uint16_t width = 640;
    static constexpr std::uint16_t height = 360;

    // Moves within the first `across` pixels of the screen's width. Does
    // nothing when the display cannot be reached.
    MovingX11Window(const std::string& display, int across) : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {0x00E0A020, 1};  // an orange background, override-redirect
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 100, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        const int travel = across > width ? across - width : 1;
        mover_ = std::thread([this, travel] {
            for (int step = 0; !stop_; ++step) {
                const std::uint32_t x = static_cast<std::uint32_t>((step * 8) % travel);
                xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_X, &x);
                xcb_flush(connection_);
                std::this_thread::sleep_for(std::chrono::milliseconds(16));
            }
        });
    }
    ~MovingX11Window() {
        stop_ = true;
        if (mover_.joinable()) mover_.join();
        xcb_disconnect(connection_);
    }
    MovingX11Window(const MovingX11Window&) = delete;
    MovingX11Window& operator=(const MovingX11Window&) = delete;

private:
    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
    std::atomic<bool> stop_{false};
    std::thread mover_;
};

}  // namespace zentrabo::bench
