#pragma once
// Applications, their icons and windows, and a modal window that blocks
// input, as replies carry them.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/data.hpp"
#include "model/json/model_record_json.hpp"

namespace zentrabo {

// A running or installed application; identified by its bundle identifier.
struct RemoteApplicationInfo {
    std::string localizedName;
    std::string bundleIdentifier;
    bool isRunning = false;
    bool isFrontmost = false;
    std::optional<Data> iconPNGData;

    const std::string& id() const { return bundleIdentifier; }

    static constexpr auto jsonFields() {
        using R = RemoteApplicationInfo;
        return std::tuple{field("localizedName", &R::localizedName), field("bundleIdentifier", &R::bundleIdentifier),
                          field("isRunning", &R::isRunning), field("isFrontmost", &R::isFrontmost),
                          field("iconPNGData", &R::iconPNGData)};
    }
};

// One application's icon as PNG bytes.
struct RemoteApplicationIcon {
    std::string bundleIdentifier;
    Data pngData;
    std::int64_t pixelSize = 0;

    const std::string& id() const { return bundleIdentifier; }

    static constexpr auto jsonFields() {
        using R = RemoteApplicationIcon;
        return std::tuple{field("bundleIdentifier", &R::bundleIdentifier), field("pngData", &R::pngData),
                          field("pixelSize", &R::pixelSize)};
    }
};

// One window of an application.
struct RemoteApplicationWindowInfo {
    std::uint32_t windowID = 0;
    std::string title;
    bool isMinimized = false;
    bool isOnScreen = false;

    // The window number in decimal.
    std::string id() const { return std::to_string(windowID); }

    static constexpr auto jsonFields() {
        using R = RemoteApplicationWindowInfo;
        return std::tuple{field("windowID", &R::windowID), field("title", &R::title),
                          field("isMinimized", &R::isMinimized), field("isOnScreen", &R::isOnScreen)};
    }
};

// The application that a failed reply refers to.
struct RemoteApplicationRecovery {
    std::string localizedName;
    std::string bundleIdentifier;

    const std::string& id() const { return bundleIdentifier; }

    static constexpr auto jsonFields() {
        using R = RemoteApplicationRecovery;
        return std::tuple{field("localizedName", &R::localizedName), field("bundleIdentifier", &R::bundleIdentifier)};
    }
};

// A sheet or modal dialog that blocks input to an application.
struct RemoteModalInfo {
    std::optional<std::string> title;
    std::string role;
    std::optional<std::string> subrole;
    std::optional<std::string> message;
    std::vector<std::string> buttonTitles;

    // The title when present and not empty, else the message when present
    // and not empty, else the role; nothing is trimmed.
    const std::string& displayTitle() const;

    static constexpr auto jsonFields() {
        using R = RemoteModalInfo;
        return std::tuple{field("title", &R::title), field("role", &R::role), field("subrole", &R::subrole),
                          field("message", &R::message), field("buttonTitles", &R::buttonTitles)};
    }
};

}  // namespace zentrabo
