#pragma once
// Displays: identifiers, bounds in global top-left coordinates, names, pixel
// sizes and display modes.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/desktop/geometry.hpp"

namespace zentrabo::platform {

using DisplayID = std::uint32_t;

struct DisplayMode {
    std::int64_t width = 0;  // points
    std::int64_t height = 0;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    double refreshRate = 0;  // Hz; 0 when the display does not say
    std::int32_t ioDisplayModeID = 0;
    std::uint32_t ioFlags = 0;
    bool usableForDesktopGUI = true;
    bool operator==(const DisplayMode&) const = default;

    // The sizes are required.
    static constexpr auto jsonFields() {
        using R = DisplayMode;
        return std::tuple{field("width", &R::width),
                          field("height", &R::height),
                          field("pixelWidth", &R::pixelWidth),
                          field("pixelHeight", &R::pixelHeight),
                          field("refreshRate", &R::refreshRate, recordDefault),
                          field("ioDisplayModeID", &R::ioDisplayModeID, recordDefault),
                          field("ioFlags", &R::ioFlags, recordDefault),
                          field("usableForDesktopGUI", &R::usableForDesktopGUI, recordDefault)};
    }
};

// Display configuration error codes (0 is success).
namespace displayerror {
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t failure = 1000;
inline constexpr std::int32_t illegalArgument = 1001;
}  // namespace displayerror

class Displays {
public:
    virtual ~Displays() = default;

    // Displays that are connected; none when the list cannot be read.
    virtual std::optional<std::vector<DisplayID>> onlineDisplayIDs() = 0;
    // Displays that are drawable (connected, awake, not mirrored).
    virtual std::optional<std::vector<DisplayID>> activeDisplayIDs() = 0;
    virtual DisplayID mainDisplayID() = 0;

    // Bounds in global points; an empty rectangle for an unknown display.
    virtual Rect bounds(DisplayID display) = 0;
    virtual std::int64_t pixelsWide(DisplayID display) = 0;
    virtual std::int64_t pixelsHigh(DisplayID display) = 0;
    // The screen's name; none when no screen shows the display.
    virtual std::optional<std::string> localizedName(DisplayID display) = 0;
    // Pixels per point of the main screen; none without a main screen.
    virtual std::optional<double> mainScreenBackingScaleFactor() = 0;

    virtual std::optional<DisplayMode> currentMode(DisplayID display) = 0;
    // Every mode of the display, the duplicate low-resolution ones included
    // when asked; none when the list cannot be read.
    virtual std::optional<std::vector<DisplayMode>> allModes(DisplayID display, bool includeDuplicateLowResolution) = 0;
    // Switches the display to mode; returns a display error code.
    virtual std::int32_t setMode(DisplayID display, const DisplayMode& mode) = 0;

    // The desktop picture file of the display's screen, when it has one.
    virtual std::optional<std::filesystem::path> desktopImageURL(DisplayID display) = 0;
};

}  // namespace zentrabo::platform
