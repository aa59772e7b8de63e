// The desktop picture of a display: captured from the window the Dock draws
// it in (which also shows generated and changing pictures), or else read from
// the screen's picture file. Nothing here throws; no picture is none.
#include <algorithm>
#include <cmath>

#include "maccontrol/desktop_controller.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/content_type.hpp"
#include "platform/imaging/image_file.hpp"
#include "platform/imaging/image_resize.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "platform/imaging/picture_file.hpp"
#include "platform/random/uuid.hpp"

namespace zentrabo {

using platform::DisplayID;
using platform::Rect;
using platform::RgbaImage;

namespace {

// A Dock window covering less of the display is some other Dock surface.
constexpr double minimumWallpaperCoverage = 0.85;
// Coverages this close are equal; the higher layer decides between them.
constexpr double coverageTolerance = 0.001;

bool replacesBest(const DesktopController::WallpaperWindowCandidate& candidate,
                  const DesktopController::WallpaperWindowCandidate& best) {
    if (std::abs(candidate.coverage - best.coverage) > coverageTolerance) return candidate.coverage > best.coverage;
    return candidate.layer > best.layer;
}

}  // namespace

std::optional<RemoteDisplayWallpaper> DesktopController::displayWallpapers(const std::optional<DisplayID>& displayID) {
    auto& displays = desktop_.displays();
    const DisplayID main = displays.mainDisplayID();
    const DisplayID display = displayID.value_or(main);
    std::string name = displays.localizedName(display).value_or("");
    if (name.empty()) name = displayID ? "Monitor " + std::to_string(*displayID) : std::string("Main Monitor");

    std::optional<RgbaImage> image;
    if (const auto window = wallpaperWindowID(display)) {
        // Without the screen-recording permission the capture fails and the
        // picture file is used instead.
        if (auto captured = desktop_.screenCapture().windowImage(*window)) {
            image = limitedWallpaperImage(std::move(*captured));
        }
    }
    if (!image) {
        const auto url = displays.desktopImageURL(display);
        if (!url) return std::nullopt;
        image = wallpaperImage(*url);
        if (!image) return std::nullopt;
    }
    auto jpeg = wallpaperJPEGData(*image);
    if (!jpeg) return std::nullopt;

    RemoteDisplayWallpaper wallpaper;
    wallpaper.id = platform::Uuid::random().uuidString;
    if (display != main) wallpaper.displayID = display;
    wallpaper.displayName = name;
    wallpaper.filename = wallpaperFilename(name);
    wallpaper.contentType = platform::jpegContentType;
    wallpaper.data = std::move(*jpeg);
    return wallpaper;
}

std::optional<platform::WindowID> DesktopController::wallpaperWindowID(DisplayID display) {
    const Rect bounds = desktop_.displays().bounds(display).standardized();
    if (!(bounds.width > 0) || !(bounds.height > 0)) return std::nullopt;
    const double displayArea = bounds.width * bounds.height;
    const auto windows = desktop_.windowServer().windows();
    if (!windows) return std::nullopt;
    std::optional<WallpaperWindowCandidate> best;
    for (const auto& window : *windows) {
        if (!window.onScreen) continue;
        const auto candidate = wallpaperCandidate(window, bounds, displayArea);
        if (candidate && (!best || replacesBest(*candidate, *best))) best = candidate;
    }
    if (!best) return std::nullopt;
    return best->windowNumber;
}

std::optional<DesktopController::WallpaperWindowCandidate> DesktopController::wallpaperCandidate(
    const platform::ListedWindow& listed, const Rect& displayBounds, double displayArea) {
    if (listed.ownerName != "Dock") return std::nullopt;
    if (!listed.title || !listed.title->starts_with("Wallpaper-")) return std::nullopt;

    const Rect window = listed.frame.standardized();
    const double covered = displayBounds.overlapArea(window);
    if (!(covered > 0)) return std::nullopt;
    // Measured against the smaller of window and display, so a window larger
    // than its display still covers it whole.
    const double smaller = std::min(std::max(window.width * window.height, 1.0), displayArea);
    const double coverage = smaller >= 1.0 ? covered / smaller : covered;
    if (!(coverage >= minimumWallpaperCoverage)) return std::nullopt;
    return WallpaperWindowCandidate{listed.id, coverage, listed.layer};
}

std::optional<RgbaImage> DesktopController::limitedWallpaperImage(RgbaImage image) {
    try {
        return platform::imageFittingWithin(std::move(image),
                                            static_cast<std::uint32_t>(displayWallpaperMaximumPixelDimension));
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

std::optional<RgbaImage> DesktopController::wallpaperImage(const std::filesystem::path& url) {
    const auto file = platform::readRegularFile(url, platform::maximumImageFileByteCount);
    if (file.status != platform::BoundedFileRead::Status::ok) return std::nullopt;
    try {
        return platform::decodePictureFile(file.bytes,
                                           static_cast<std::uint32_t>(displayWallpaperMaximumPixelDimension));
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> DesktopController::wallpaperJPEGData(const RgbaImage& image) {
    try {
        return platform::encodeJpeg(image, displayWallpaperJPEGQuality);
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

std::string DesktopController::wallpaperFilename(const std::string& displayName) {
    return screenshotFilename("wallpaper-" + (displayName.empty() ? std::string("display") : displayName));
}

}  // namespace zentrabo
