#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "model/records/application_records.hpp"

namespace zentrabo {

// The one object through which the server acts on the desktop: menus,
// workflows, input, applications, windows, displays and files. It has no
// queue or lock of its own; each owner (the server, the stream server) has
// its own instance and calls it from the threads it documents.
class MacMenuController final {
public:
    struct CachedApplicationIcon {
        std::string sourceKey;
        RemoteApplicationIcon icon;
    };

    MacMenuController() = default;
    MacMenuController(const MacMenuController&) = delete;
    MacMenuController& operator=(const MacMenuController&) = delete;

    // Icon sizes and limits.
    const std::int64_t applicationIconPixelSize = 96;
    const std::int64_t applicationIconRenderPixelSize = 512;
    const std::int64_t applicationIconProcessingVersion = 3;
    const std::int64_t maximumApplicationIconPNGByteCount = 393216;
    // Wallpaper limits.
    const std::int64_t displayWallpaperMaximumPixelDimension = 2400;
    const double displayWallpaperJPEGQuality = 0.82;

    // Icons by bundle identifier; the only state that changes after creation.
    std::unordered_map<std::string, CachedApplicationIcon> applicationIconCache;
};

}  // namespace zentrabo
