#pragma once
// A window that keeps moving across an X display (or inside a window of it)
// while a bench captures it, so every captured frame differs: a plain
// coloured window, kept out of the window manager's hands, shifted a few pixels every 16 ms on a thread of
// its own. It remembers when it was drawn at each place, so a bench that
// finds the window in a picture knows when that picture's content was drawn.
#include <pthread.h>
#include <xcb/xcb.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zentrabo::bench {

class MovingX11Window {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::uint16_t width = 640;
    static constexpr std::uint16_t height = 360;
    static constexpr std::int16_t top = 100;
    static constexpr int stepPixels = 8;
    // The window's colour, 0xRRGGBB.
    static constexpr std::uint32_t colour = 0xE0A020;

    // Moves within the first `across` pixels of the width of `parent` (the
    // root when none), `top` pixels below its top. Does nothing when the
    // display cannot be reached.
    MovingX11Window(const std::string& display, int across, xcb_window_t parent = XCB_NONE)
        : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {colour, 1};  // the background, override-redirect
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, parent != XCB_NONE ? parent : screen->root, 0,
                          top, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        travel_ = across > width ? across - width : 1;
        mover_ = std::thread([this] {
            for (int step = 0; !stop_; ++step) {
                const std::uint32_t x = static_cast<std::uint32_t>((step * stepPixels) % travel_);
                xcb_configure_window(connection_, window_, XCB_CONFIG_WINDOW_X, &x);
                // A round trip: the server has moved and drawn the window when it answers.
                free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
                {
                    const std::lock_guard lock(mutex_);
                    drawn_[static_cast<std::size_t>(step) % drawn_.size()] = {step, Clock::now()};
                }
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

    // When the window was last drawn with its left edge at `x` (within half a
    // step) before `seen`; none when it was not in the last seventeen seconds.
    std::optional<Clock::time_point> drawnAt(int x, Clock::time_point seen) const {
        const std::lock_guard lock(mutex_);
        std::optional<Clock::time_point> latest;
        for (const Drawn& drawn : drawn_) {
            if (drawn.step < 0 || drawn.at > seen) continue;
            const int placed = (drawn.step * stepPixels) % travel_;
            if (placed - x > stepPixels / 2 || x - placed > stepPixels / 2) continue;
            if (!latest || drawn.at > *latest) latest = drawn.at;
        }
        return latest;
    }

    // CPU time the moving thread has spent, so a bench can leave it out of
    // the process's.
    std::chrono::nanoseconds cpuTime() const {
        clockid_t clock;
        timespec time{};
        if (!mover_.joinable() ||
            pthread_getcpuclockid(const_cast<std::thread&>(mover_).native_handle(), &clock) != 0 ||
            clock_gettime(clock, &time) != 0) {
            return {};
        }
        return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
    }

private:
    struct Drawn {
        int step = -1;
        Clock::time_point at;
    };

    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
    int travel_ = 1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    // About seventeen seconds of steps: a bench looks its pictures up after
    // a run of some seconds. A place comes back every few seconds; the
    // latest time before a picture came is the one it shows.
    std::array<Drawn, 1024> drawn_{};
    std::thread mover_;
};

}  // namespace zentrabo::bench
