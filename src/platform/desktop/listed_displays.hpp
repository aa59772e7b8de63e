#pragma once
// The displays service over a list of displays read at once: what both
// desktops answer the same way once they have said which displays there are.
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/displays.hpp"

namespace zentrabo::platform {

// One display as its desktop lists it.
struct ListedDisplay {
    DisplayID id = 0;
    // Global points.
    Rect bounds;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    std::optional<std::string> name;
    DisplayMode currentMode;
    // Every mode, the duplicate low-resolution ones included.
    std::vector<DisplayMode> modes;
};

class ListedDisplays : public Displays {
public:
    std::optional<std::vector<DisplayID>> onlineDisplayIDs() override;
    std::optional<std::vector<DisplayID>> activeDisplayIDs() override { return onlineDisplayIDs(); }
    DisplayID mainDisplayID() override;
    Rect bounds(DisplayID display) override;
    std::int64_t pixelsWide(DisplayID display) override;
    std::int64_t pixelsHigh(DisplayID display) override;
    std::optional<std::string> localizedName(DisplayID display) override;
    // The main display's pixels per point.
    std::optional<double> mainScreenBackingScaleFactor() override;
    std::optional<DisplayMode> currentMode(DisplayID display) override;
    // Without the duplicates, a one-to-one mode that a denser mode of the
    // same point size covers is left out.
    std::optional<std::vector<DisplayMode>> allModes(DisplayID display, bool includeDuplicateLowResolution) override;

protected:
    struct Listing {
        std::vector<ListedDisplay> displays;
        // The index of the main display in displays.
        std::size_t main = 0;
    };
    // The displays now; none when they cannot be read.
    virtual std::optional<Listing> listedDisplays() = 0;

private:
    std::optional<ListedDisplay> listedDisplay(DisplayID display);
};

}  // namespace zentrabo::platform
