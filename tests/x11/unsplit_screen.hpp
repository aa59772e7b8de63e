#pragma once
// For the tests that switch the screen's mode: a mode switch invalidates the
// session's monitor split, so such a test runs with the split removed, and
// whatever happens the split, the output's mode and the modes the test added
// are put back as they were, since every X11 test shares the X server.
// xrandr is the setup tool here, as a user's would be; the server never runs it.
#include <sstream>
#include <string>
#include <vector>

#include "support/x11_witness.hpp"

namespace zentrabo::testing {

// The output's current mode name as `xrandr` marks it ("   3840x2160  0.00*").
inline std::string witnessedCurrentModeName() {
    std::istringstream listing(witnessOutput("xrandr"));
    for (std::string line; std::getline(listing, line);) {
        if (line.empty() || line[0] != ' ' || line.find('*') == std::string::npos) continue;
        std::istringstream words(line);
        std::string name;
        words >> name;
        return name;
    }
    return "";
}

class UnsplitScreen {
public:
    // Removes the monitors the session set, after noting them as
    // `xrandr --listmonitors` prints them (" 0: *Left 1920/508x2160/571+0+0  screen").
    explicit UnsplitScreen(std::string output) : output_(std::move(output)), mode_(witnessedCurrentModeName()) {
        std::istringstream listing(witnessOutput("xrandr --listmonitors"));
        for (std::string line; std::getline(listing, line);) {
            std::istringstream words(line);
            std::string number, name, geometry, shows;
            if (!(words >> number >> name >> geometry) || number.back() != ':') continue;
            // "+" marks a monitor the server made for an output by itself.
            if (name.find('+') != std::string::npos) continue;
            if (!(words >> shows)) shows = "none";
            monitors_.push_back({name, geometry, shows});
        }
        for (const auto& monitor : monitors_) witnessOutput("xrandr --delmonitor " + monitor.bareName());
    }

    ~UnsplitScreen() {
        witnessOutput("xrandr --output " + output_ + " --mode " + mode_);
        for (const auto& name : addedModes_) {
            witnessOutput("xrandr --delmode " + output_ + " " + name);
            witnessOutput("xrandr --rmmode " + name);
        }
        for (const auto& monitor : monitors_) {
            witnessOutput("xrandr --setmonitor '" + monitor.name + "' " + monitor.geometry + " " + monitor.output);
        }
    }
    UnsplitScreen(const UnsplitScreen&) = delete;
    UnsplitScreen& operator=(const UnsplitScreen&) = delete;

    // Adds a mode of that size to the output (CVT-like timings at 60 Hz),
    // named "zentrabo-WxH", and returns its name.
    std::string addMode(int width, int height) {
        const std::string name = "zentrabo-" + std::to_string(width) + "x" + std::to_string(height);
        const int htotal = width + width / 4, vtotal = height + height / 25;
        const double clock = htotal * static_cast<double>(vtotal) * 60 / 1e6;
        std::ostringstream timings;
        timings << clock << " " << width << " " << width + 48 << " " << width + 80 << " " << htotal << " " << height
                << " " << height + 3 << " " << height + 8 << " " << vtotal;
        witnessOutput("xrandr --newmode " + name + " " + timings.str());
        witnessOutput("xrandr --addmode " + output_ + " " + name);
        addedModes_.push_back(name);
        return name;
    }

    // The monitors the session had, as they were listed.
    std::size_t removedMonitors() const { return monitors_.size(); }

private:
    struct Monitor {
        std::string name;  // with "*" when primary
        std::string geometry;
        std::string output;
        std::string bareName() const { return name.substr(name.find_first_not_of('*')); }
    };

    std::string output_;
    std::string mode_;
    std::vector<Monitor> monitors_;
    std::vector<std::string> addedModes_;
};

}  // namespace zentrabo::testing
