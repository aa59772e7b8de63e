#pragma once
// A running application as the workspace reports it. Handles are shared: the
// workspace hands out the same application to every caller, and a handle stays
// valid (reporting terminated) after its process is gone.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/imaging/image.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo::platform {

using ProcessID = std::int32_t;

// Whether an application has a regular user interface (menu bar and Dock
// icon), is an accessory (menu-bar agent) or runs without any interface.
enum class ActivationPolicy { regular, accessory, prohibited };
template <>
struct StringEnumTraits<ActivationPolicy> : RawValues<"regular", "accessory", "prohibited"> {};

class RunningApplication {
public:
    virtual ~RunningApplication() = default;

    virtual ProcessID processIdentifier() const = 0;
    virtual std::optional<std::string> bundleIdentifier() const = 0;
    virtual std::optional<std::string> localizedName() const = 0;
    // The application's bundle folder, when it was launched from one.
    virtual std::optional<std::filesystem::path> bundleURL() const = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
    // Active is the platform's word for frontmost.
    virtual bool isActive() const = 0;
    virtual bool isHidden() const = 0;
    virtual bool isTerminated() const = 0;
    // The application's own icon, when it has one.
    virtual std::optional<RgbaImage> icon() const = 0;

    // Asks the application to come to the front, with all of its windows when
    // allWindows is set. False when the request was not accepted.
    virtual bool activate(bool allWindows) = 0;
    virtual bool unhide() = 0;
    // The polite request to quit; the application may refuse it, and it exits
    // some time after accepting it.
    virtual bool terminate() = 0;
    virtual bool forceTerminate() = 0;
};

}  // namespace zentrabo::platform
