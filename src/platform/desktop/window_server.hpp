#pragma once
// The window server's list of windows: one dictionary a window, front to back,
// under the keys the callers read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zentrabo::platform {

using WindowID = std::uint32_t;

// A bounds dictionary ("X", "Y", "Width", "Height") or any other value of an
// entry. Numbers come as integers or floating point, as the window server
// chooses; readers accept either.
using WindowInfoDictionary = std::map<std::string, double>;
using WindowInfoValue = std::variant<std::int64_t, double, bool, std::string, WindowInfoDictionary>;
using WindowListEntry = std::map<std::string, WindowInfoValue>;

namespace windowkey {
inline constexpr const char* number = "kCGWindowNumber";
inline constexpr const char* ownerPID = "kCGWindowOwnerPID";
inline constexpr const char* ownerName = "kCGWindowOwnerName";
inline constexpr const char* name = "kCGWindowName";
inline constexpr const char* layer = "kCGWindowLayer";
inline constexpr const char* alpha = "kCGWindowAlpha";
inline constexpr const char* isOnscreen = "kCGWindowIsOnscreen";
inline constexpr const char* bounds = "kCGWindowBounds";
}  // namespace windowkey

// List options; they combine as bits.
namespace windowlist {
inline constexpr std::uint32_t all = 0;
inline constexpr std::uint32_t onScreenOnly = 1;
inline constexpr std::uint32_t onScreenAboveWindow = 2;
inline constexpr std::uint32_t onScreenBelowWindow = 4;
inline constexpr std::uint32_t includingWindow = 8;
inline constexpr std::uint32_t excludeDesktopElements = 16;
}  // namespace windowlist

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // The windows selected by options, relative to relativeToWindow where an
    // option needs one (0 for none); none when the list cannot be read.
    virtual std::optional<std::vector<WindowListEntry>> windowList(std::uint32_t options,
                                                                   WindowID relativeToWindow) = 0;
};

}  // namespace zentrabo::platform
