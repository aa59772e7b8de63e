#pragma once
// The X tools that witness, independently of our code, what the test session
// shows: xrandr for monitors, xprop for window properties, xwd for pixels.
// Each runs on the test's DISPLAY (see X11SessionTest) under a 10 s bound.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_application.hpp"

namespace zentrabo::testing {

// What the command printed on standard output (its errors go to the test's).
inline std::string witnessOutput(const std::string& command) {
    const std::string bounded = "timeout 10 " + command;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(bounded.c_str(), "r"), pclose);
    std::string output;
    std::array<char, 65536> buffer{};
    while (pipe) {
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), pipe.get());
        if (count == 0) break;
        output.append(buffer.data(), count);
    }
    return output;
}

struct WitnessedMonitor {
    std::string name;
    bool primary = false;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The monitors as `xrandr --listmonitors` lists them, in its order.
inline std::vector<WitnessedMonitor> witnessedMonitors() {
    const std::string output = witnessOutput("xrandr --listmonitors");
    std::vector<WitnessedMonitor> monitors;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        // " 0: *Left 1920/508x2160/571+0+0  screen": "+" marks a monitor made
        // for an output, "*" the primary one.
        char name[128] = {};
        WitnessedMonitor monitor;
        if (std::sscanf(line.c_str(), " %*d: %127s %d/%*dx%d/%*d+%d+%d", name, &monitor.width, &monitor.height,
                        &monitor.x, &monitor.y) != 5) {
            continue;
        }
        monitor.name = name;
        const auto marks = monitor.name.find_first_not_of("+*");
        monitor.primary = monitor.name.substr(0, marks).find('*') != std::string::npos;
        monitor.name.erase(0, marks);
        monitors.push_back(monitor);
    }
    return monitors;
}

// What xprop prints for a property of a window, the root window when none
// is named.
inline std::string witnessedProperty(const std::string& property, std::optional<std::uint32_t> window = {}) {
    const std::string target = window ? "-id " + std::to_string(*window) : "-root";
    return witnessOutput("xprop -notype " + target + " " + property);
}

// The numbers a WINDOW or CARDINAL property holds; none when it is unset.
inline std::vector<std::uint32_t> witnessedNumbers(const std::string& property,
                                                   std::optional<std::uint32_t> window = {}) {
    // "_NET_CLIENT_LIST: window id # 0x400003, 0x400007" or "_NET_WM_PID = 41"
    const std::string output = witnessedProperty(property, window);
    std::vector<std::uint32_t> numbers;
    const auto values = output.find_first_of("=#");
    if (values == std::string::npos) return numbers;
    std::istringstream list(output.substr(values + 1));
    for (std::string value; std::getline(list, value, ',');) {
        // An empty list prints nothing after the "#".
        if (value.find_first_not_of(" \n") == std::string::npos) continue;
        numbers.push_back(static_cast<std::uint32_t>(std::stoul(value, nullptr, 0)));
    }
    return numbers;
}

// A window's pixels as xwd reads them from the screen (ZPixmap, 32 bits a
// pixel, the layout a 24-bit TrueColor display gives).
class WitnessedImage {
public:
    // None when xwd fails or writes another layout.
    static std::optional<WitnessedImage> ofWindow(std::uint32_t window) {
        const std::string dump = witnessOutput("xwd -silent -id " + std::to_string(window));
        const auto field = [&](std::size_t index) {
            std::uint32_t value = 0;
            for (std::size_t at = index * 4; at < index * 4 + 4; ++at) {
                value = (value << 8) | static_cast<unsigned char>(dump[at]);
            }
            return value;
        };
        constexpr std::size_t fieldCount = 25;
        constexpr std::size_t colourEntryBytes = 12;
        if (dump.size() < fieldCount * 4) return std::nullopt;
        const std::uint32_t headerBytes = field(0), format = field(2), width = field(4), height = field(5),
                            byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12),
                            colourCount = field(19);
        constexpr std::uint32_t zPixmap = 2, leastSignificantFirst = 0;
        const std::size_t pixelsAt = headerBytes + std::size_t{colourCount} * colourEntryBytes;
        if (format != zPixmap || bitsPerPixel != 32 || byteOrder != leastSignificantFirst ||
            dump.size() < pixelsAt + std::size_t{bytesPerLine} * height) {
            return std::nullopt;
        }
        WitnessedImage image;
        image.width_ = static_cast<int>(width);
        image.height_ = static_cast<int>(height);
        image.bytesPerLine_ = bytesPerLine;
        image.pixels_ = dump.substr(pixelsAt);
        return image;
    }

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const {
        const std::size_t offset = static_cast<std::size_t>(y) * bytesPerLine_ + static_cast<std::size_t>(x) * 4;
        const auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(pixels_[offset + index]); };
        return {byte(2), byte(1), byte(0)};  // 0x00RRGGBB, least significant byte first
    }

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t bytesPerLine_ = 0;
    std::string pixels_;
};

}  // namespace zentrabo::testing
