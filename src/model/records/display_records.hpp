#pragma once
// Displays, captured images and received files, as replies carry them.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "model/data.hpp"
#include "model/json/model_record_json.hpp"

namespace zentrabo {

// One display, or one of the two presets that stand for the main display
// and for all displays together.
struct RemoteDisplayInfo {
    std::optional<std::uint32_t> displayID;
    std::string name;
    bool isMain = false;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;
    std::optional<bool> capturesAllDisplays;
    std::optional<double> frameX;
    std::optional<double> frameY;
    std::optional<double> frameWidth;
    std::optional<double> frameHeight;

    // "all" when capturing all displays, else "main" without a display
    // identifier, else "display-" and the identifier.
    std::string id() const;

    // "Main Monitor" (identity "main") and "All Monitors" (identity "all").
    static RemoteDisplayInfo mainDisplay();
    static RemoteDisplayInfo allDisplays();

    static constexpr auto jsonFields() {
        using R = RemoteDisplayInfo;
        return std::tuple{field("displayID", &R::displayID),     field("name", &R::name),
                          field("isMain", &R::isMain),           field("pixelWidth", &R::pixelWidth),
                          field("pixelHeight", &R::pixelHeight), field("capturesAllDisplays", &R::capturesAllDisplays),
                          field("frameX", &R::frameX),           field("frameY", &R::frameY),
                          field("frameWidth", &R::frameWidth),   field("frameHeight", &R::frameHeight)};
    }
};

// One captured image.
struct RemoteScreenshot {
    std::string id;
    std::string title;
    std::string filename;
    std::string contentType;
    Data data;

    static constexpr auto jsonFields() {
        using R = RemoteScreenshot;
        return std::tuple{field("id", &R::id), field("title", &R::title), field("filename", &R::filename),
                          field("contentType", &R::contentType), field("data", &R::data)};
    }
};

// The wallpaper image of one display.
struct RemoteDisplayWallpaper {
    std::string id;
    std::optional<std::uint32_t> displayID;
    std::optional<std::string> displayName;
    std::string filename;
    std::string contentType;
    Data data;

    static constexpr auto jsonFields() {
        using R = RemoteDisplayWallpaper;
        return std::tuple{field("id", &R::id),
                          field("displayID", &R::displayID),
                          field("displayName", &R::displayName),
                          field("filename", &R::filename),
                          field("contentType", &R::contentType),
                          field("data", &R::data)};
    }
};

// A file that a workflow step received from the device and saved.
struct RemoteTransferredFile {
    std::string id;
    std::string title;
    std::string filename;
    std::string path;

    static constexpr auto jsonFields() {
        using R = RemoteTransferredFile;
        return std::tuple{field("id", &R::id), field("title", &R::title), field("filename", &R::filename),
                          field("path", &R::path)};
    }
};

}  // namespace zentrabo
