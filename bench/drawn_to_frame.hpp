#pragma once
// Drawn to frame received: for each H.264 picture a viewer received, the
// time from when the moving window was drawn where the picture shows it to
// the picture's arrival; and the CPU its producer spent per picture.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "h264_window_finder.hpp"
#include "moving_x11_window.hpp"

namespace zentrabo::bench {

struct ReceivedPicture {
    MovingX11Window::Clock::time_point received;
    std::vector<std::uint8_t> annexB;
    // What the producer had spent in all when it arrived.
    std::chrono::nanoseconds producerCpu{};
};

struct DrawnToFrame {
    double p50Milliseconds = 0;
    double p99Milliseconds = 0;
    double cpuPerFrameMilliseconds = 0;
    std::size_t measured = 0;  // pictures in which the window was found
};

inline double percentileOf(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The first `warmUp` pictures are decoded but not counted: both sides start
// their encoders and caches there. None when too few pictures remain.
inline std::optional<DrawnToFrame> drawnToFrame(const std::vector<ReceivedPicture>& pictures,
                                                const MovingX11Window& window, std::size_t warmUp,
                                                PictureOrigin origin = {}) {
    if (pictures.size() < warmUp + 2) return std::nullopt;
    H264WindowFinder finder(origin);
    std::vector<double> milliseconds;
    for (std::size_t index = 0; index < pictures.size(); ++index) {
        const auto edge = finder.leftEdge(pictures[index].annexB);
        if (index < warmUp || !edge) continue;
        if (const auto drawn = window.drawnAt(*edge, pictures[index].received)) {
            milliseconds.push_back(
                std::chrono::duration<double, std::milli>(pictures[index].received - *drawn).count());
        }
    }
    if (milliseconds.empty()) return std::nullopt;
    const auto cpu = pictures.back().producerCpu - pictures[warmUp].producerCpu;
    const auto frames = static_cast<double>(pictures.size() - 1 - warmUp);
    return DrawnToFrame{percentileOf(milliseconds, 0.5), percentileOf(milliseconds, 0.99),
                        std::chrono::duration<double, std::milli>(cpu).count() / frames, milliseconds.size()};
}

}  // namespace zentrabo::bench
