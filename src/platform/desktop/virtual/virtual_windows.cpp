// Windows, displays and screen capture of the virtual desktop.
#include <algorithm>
#include <cmath>

#include "platform/desktop/virtual/desktop_picture.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/imaging/image_resize.hpp"

namespace zentrabo::platform {

namespace {

void fill(RgbaImage& image, double x0, double y0, double x1, double y1, std::uint32_t rgba) {
    const auto clampX = [&](double v) {
        return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, long{image.width}));
    };
    const auto clampY = [&](double v) {
        return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, long{image.height}));
    };
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(rgba >> 24), static_cast<std::uint8_t>(rgba >> 16),
                                   static_cast<std::uint8_t>(rgba >> 8), static_cast<std::uint8_t>(rgba)};
    for (auto y = clampY(y0); y < clampY(y1); ++y) {
        for (auto x = clampX(x0); x < clampX(x1); ++x) std::copy(bytes, bytes + 4, image.pixel(x, y));
    }
}

}  // namespace

bool VirtualDesktop::windowIsOnScreenLocked(const Window& window) const {
    if (window.minimized) return false;
    for (const auto& application : applications_) {
        if (application.pid == window.owner) return !application.hidden;
    }
    return window.layer < 0;  // desktop pictures belong to no application
}

std::optional<std::vector<ListedWindow>> VirtualDesktop::windows() {
    auto lock = settle();
    std::vector<ListedWindow> listed;
    listed.reserve(zOrder_.size());
    for (const WindowID number : zOrder_) {
        const Window& window = windows_.at(number);
        const bool isDesktopPicture = window.layer < 0;
        // Without the screen-recording permission the window server keeps
        // window titles to itself.
        const bool showsTitle = screenRecordingAllowed_ || isDesktopPicture;
        listed.push_back({window.number, window.owner, window.ownerName,
                          showsTitle ? std::optional(window.title) : std::nullopt, window.layer, window.alpha,
                          window.frame, windowIsOnScreenLocked(window), isDesktopPicture});
    }
    return listed;
}

const VirtualDesktop::Display* VirtualDesktop::displayLocked(DisplayID id) const {
    for (const auto& display : displays_) {
        if (display.spec.id == id) return &display;
    }
    return nullptr;
}

const VirtualDesktop::Display* VirtualDesktop::displayContainingLocked(const Rect& frame) const {
    const Display* best = nullptr;
    double bestArea = 0;
    for (const auto& display : displays_) {
        const Rect bounds{display.spec.bounds.x, display.spec.bounds.y, static_cast<double>(display.mode.width),
                          static_cast<double>(display.mode.height)};
        const double area = bounds.overlapArea(frame);
        if (area > bestArea) {
            best = &display;
            bestArea = area;
        }
    }
    return best ? best : &displays_.front();
}

double VirtualDesktop::displayScaleLocked(const Display& display) const {
    return static_cast<double>(display.mode.pixelWidth) / static_cast<double>(display.mode.width);
}

std::optional<ListedDisplays::Listing> VirtualDesktop::listedDisplays() {
    auto lock = settle();
    Listing listing;
    for (const auto& display : displays_) {
        const auto& spec = display.spec;
        ListedDisplay listed{spec.id,
                             {spec.bounds.x, spec.bounds.y, static_cast<double>(display.mode.width),
                              static_cast<double>(display.mode.height)},
                             display.mode.pixelWidth,
                             display.mode.pixelHeight,
                             spec.name,
                             display.mode,
                             {}};
        // The scenario's own size first, then its further modes.
        listed.modes.push_back(
            {static_cast<std::int64_t>(spec.bounds.width), static_cast<std::int64_t>(spec.bounds.height),
             static_cast<std::int64_t>(spec.bounds.width * spec.scale),
             static_cast<std::int64_t>(spec.bounds.height * spec.scale), spec.refreshRate, 1, 0, true});
        for (std::size_t i = 0; i < spec.modes.size(); ++i) {
            DisplayMode mode = spec.modes[i];
            if (mode.ioDisplayModeID == 0) mode.ioDisplayModeID = static_cast<std::int32_t>(i + 2);
            listed.modes.push_back(mode);
        }
        listing.displays.push_back(std::move(listed));
    }
    return listing;
}

std::int32_t VirtualDesktop::setMode(DisplayID id, const DisplayMode& mode) {
    std::function<void(DisplayID)> hook;
    {
        auto lock = settle();
        hook = displayModeHook_;
    }
    if (hook) hook(id);
    const auto modes = allModes(id, true);
    if (!modes || std::find(modes->begin(), modes->end(), mode) == modes->end()) return displayerror::illegalArgument;
    auto lock = settle();
    if (displayModeSwitchError_ != displayerror::success) return displayModeSwitchError_;
    for (auto& display : displays_) {
        if (display.spec.id != id) continue;
        display.mode = mode;
        if (display.pictureSource) {
            display.picture = std::make_shared<const RgbaImage>(pictureForDisplay(*display.pictureSource, mode));
        }
        windows_.at(display.desktopPicture).frame = {display.spec.bounds.x, display.spec.bounds.y,
                                                     static_cast<double>(mode.width), static_cast<double>(mode.height)};
        recordLocked("displayMode", "display " + std::to_string(id),
                     std::to_string(mode.width) + "x" + std::to_string(mode.height) + " pt / " +
                         std::to_string(mode.pixelWidth) + "x" + std::to_string(mode.pixelHeight) + " px");
        return displayerror::success;
    }
    return displayerror::illegalArgument;
}

void VirtualDesktop::setDisplayModeSwitchError(std::int32_t code) {
    auto lock = settle();
    displayModeSwitchError_ = code;
}

void VirtualDesktop::setDisplayModeHook(std::function<void(DisplayID)> hook) {
    auto lock = settle();
    displayModeHook_ = std::move(hook);
}

std::optional<std::filesystem::path> VirtualDesktop::desktopImageURL(DisplayID id) {
    auto lock = settle();
    const auto* display = displayLocked(id);
    if (!display || !display->spec.picture) return std::nullopt;
    return std::filesystem::path(*display->spec.picture);
}

bool VirtualDesktop::preflightAccess() { return screenRecordingAllowed_.load(); }

bool VirtualDesktop::requestAccess() {
    auto lock = settle();
    recordLocked("requestScreenRecording", "", screenRecordingAllowed_ ? "granted" : "denied");
    return screenRecordingAllowed_;
}

std::optional<ShareableContent> VirtualDesktop::shareableContent(bool excludeDesktopWindows, bool onScreenOnly) {
    auto lock = settle();
    if (!screenRecordingAllowed_) return std::nullopt;
    ShareableContent content;
    for (const auto& display : displays_) {
        content.displays.push_back(
            {display.spec.id,
             display.mode.width,
             display.mode.height,
             {display.spec.bounds.x, display.spec.bounds.y, static_cast<double>(display.mode.width),
              static_cast<double>(display.mode.height)}});
    }
    for (const auto& application : applications_) {
        content.applications.push_back({application.pid, application.spec.bundleIdentifier, application.spec.name});
    }
    for (auto number : zOrder_) {
        Window& window = windows_.at(number);
        std::optional<Rect> frame = window.frame;
        if (window.sharedFetchesLeft > 0) {
            --window.sharedFetchesLeft;
            frame = window.sharedFrame;
        }
        const bool onScreen = windowIsOnScreenLocked(window);
        if (!frame || (onScreenOnly && !onScreen) || (excludeDesktopWindows && window.layer < 0)) continue;
        ShareableWindow entry{window.number, *frame, window.title, window.layer, onScreen, std::nullopt};
        for (const auto& application : content.applications) {
            if (application.processID == window.owner) entry.owningApplication = application;
        }
        content.windows.push_back(std::move(entry));
    }
    return content;
}

void VirtualDesktop::setShareableContentLag(std::size_t fetches) {
    auto lock = settle();
    shareableContentLag_ = fetches;
}

void VirtualDesktop::noteFrameChangeLocked(Window& window) {
    if (shareableContentLag_ == 0) return;
    // While it still lags, it keeps reporting the frame it reported.
    if (window.sharedFetchesLeft == 0) window.sharedFrame = window.frame;
    window.sharedFetchesLeft = shareableContentLag_;
}

RgbaImage VirtualDesktop::renderDisplayLocked(const Display& display, bool withWindows) const {
    const double scale = displayScaleLocked(display);
    const Rect& origin = display.spec.bounds;
    RgbaImage image = display.picture
                          ? *display.picture
                          : RgbaImage(static_cast<std::uint32_t>(display.mode.pixelWidth),
                                      static_cast<std::uint32_t>(display.mode.pixelHeight), display.spec.background);
    if (!withWindows) return image;
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const Window& window = windows_.at(*it);
        if (window.layer < 0 || !windowIsOnScreenLocked(window)) continue;
        const Rect frame = window.frame.standardized();
        fill(image, (frame.minX() - origin.x) * scale, (frame.minY() - origin.y) * scale,
             (frame.maxX() - origin.x) * scale, (frame.maxY() - origin.y) * scale, window.color);
    }
    return image;
}

std::optional<RgbaImage> VirtualDesktop::displayImage(DisplayID id) {
    auto lock = settle();
    const auto* display = displayLocked(id);
    // Without the permission a capture shows the desktop picture alone.
    return display ? std::optional(renderDisplayLocked(*display, screenRecordingAllowed_)) : std::nullopt;
}

std::optional<RgbaImage> VirtualDesktop::windowImage(WindowID number) {
    auto lock = settle();
    auto it = windows_.find(number);
    if (!screenRecordingAllowed_ || it == windows_.end()) return std::nullopt;
    const Window& window = it->second;
    const Rect frame = window.frame.standardized();
    const auto [width, height] = windowPixelSizeLocked(frame, *displayContainingLocked(frame));
    if (const Display* shown = displayShowingPictureLocked(number)) {
        const RgbaImage& picture = *shown->picture;
        if (picture.width == width && picture.height == height) return picture;
        return resizeImage(picture, width, height);
    }
    return RgbaImage(width, height, window.color);
}

std::pair<std::uint32_t, std::uint32_t> VirtualDesktop::windowPixelSizeLocked(const Rect& frame,
                                                                              const Display& display) const {
    const double scale = displayScaleLocked(display);
    // Cut to the display's own pixel size, so a window given any size is
    // captured as a picture no larger than one of the whole display.
    const auto pixels = [scale](double points, std::int64_t limit) {
        return static_cast<std::uint32_t>(std::clamp(std::ceil(points * scale), 1.0, static_cast<double>(limit)));
    };
    return {pixels(frame.width, display.mode.pixelWidth), pixels(frame.height, display.mode.pixelHeight)};
}

const VirtualDesktop::Display* VirtualDesktop::displayShowingPictureLocked(WindowID window) const {
    for (const auto& display : displays_) {
        if (display.desktopPicture == window && display.picture) return &display;
    }
    return nullptr;
}

}  // namespace zentrabo::platform
