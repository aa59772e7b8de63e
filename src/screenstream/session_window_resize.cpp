// Resizing the streamed window for the device's view: the window keeps its
// centre and its display, the stream follows the size the application
// really took, and the device learns when that is not the size it asked for.
#include <cmath>
#include <cstdio>
#include <string>

#include "model/diagnostic_log.hpp"
#include "screenstream/accessibility_error_description.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/display_mode_choice.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "screenstream/streamed_window.hpp"
#include "screenstream/window_resize.hpp"
#include "screenstream/window_resize_geometry.hpp"

namespace zentrabo {

namespace {

constexpr const char* untrustedMessage =
    "Accessibility permission is missing. Grant it to Zentrabo Server in System Settings to resize streamed windows.";
constexpr const char* invalidSizeMessage = "The requested window size is invalid.";
constexpr const char* windowGoneMessage = "The streamed window is no longer available.";
// A side the application changed by at least this much did not fit.
constexpr double fitTolerance = 2;

RemoteScreenStreamServerError resizeFailure(std::string message) {
    return RemoteScreenStreamServerError::windowResizeUnavailable(std::move(message));
}

std::string roundedInteger(double points) { return std::to_string(std::llround(points)); }

// "WxH", each side rounded.
std::string sizeText(const platform::Size& size) { return targetSizeDescription(size.width, size.height); }

std::string twoDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

bool isFinitePositive(double value) { return std::isfinite(value) && value > 0; }

// The device's pixel size, when it sent both sides usable.
std::optional<platform::Size> requestedPixelSize(const RemoteScreenResizeWindowRequest& request) {
    if (!request.pixelWidth || !request.pixelHeight) return std::nullopt;
    const double width = *request.pixelWidth;
    const double height = *request.pixelHeight;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 1 || height <= 1) return std::nullopt;
    return platform::Size{width, height};
}

// Pixels per point the device asked for: its own scale, else its pixels
// over its points as sent, else 1.
double requestedPointPixelScale(const RemoteScreenResizeWindowRequest& request) {
    if (request.pixelScale && isFinitePositive(*request.pixelScale)) return *request.pixelScale;
    if (const auto pixels = requestedPixelSize(request); pixels && std::isfinite(request.width) &&
                                                         std::isfinite(request.height) && request.width > 1 &&
                                                         request.height > 1) {
        const double scale = std::min(pixels->width / request.width, pixels->height / request.height);
        if (isFinitePositive(scale)) return scale;
    }
    return 1;
}

// Moves and resizes the window around the frame, kept on its display among
// the active displays' bounds; returns the frame it asked for. Throws when
// the size is refused.
platform::Rect applyWindowFrame(platform::Accessibility& accessibility, const platform::AXElement& window,
                                const platform::Size& size, const platform::Rect& around,
                                const std::vector<platform::Rect>& displays) {
    const auto move = [&](const platform::Point& origin) {
        accessibility.setMessagingTimeout(window, DesktopController::accessibilityMessagingTimeout);
        return accessibility.setWindowPosition(window, origin);
    };
    const auto resize = [&](const platform::Size& sides) {
        accessibility.setMessagingTimeout(window, DesktopController::accessibilityMessagingTimeout);
        return accessibility.setWindowSize(window, sides);
    };
    const auto logPositionFailure = [](const char* what, platform::AXError error) {
        ZENTRABO_LOG(std::string("Screen stream window resize ") + what +
                     " update failed: " + accessibilityErrorDescription(error));
    };

    const platform::Rect target = keptOnDisplayOf(around, centredFrame(around, size), displays);
    // Moved first, so the new size does not push the window off its display.
    if (const auto error = move(target.origin()); error != platform::axerror::success) {
        logPositionFailure("initial position", error);
    }
    if (const auto error = resize(size); error != platform::axerror::success) {
        throw resizeFailure("The streamed window could not be resized: " + accessibilityErrorDescription(error));
    }
    if (const auto actual = accessibilityWindowFrame(accessibility, window)) {
        const platform::Rect recentred = keptOnDisplayOf(target, centredFrame(target, actual->size()), displays);
        if (std::fabs(recentred.x - actual->x) + std::fabs(recentred.y - actual->y) >= 1) {
            if (const auto error = move(recentred.origin()); error != platform::axerror::success) {
                logPositionFailure("position", error);
            }
        }
        // An application that bent the proportions is asked once more; what
        // it answers then is what the stream shows.
        if (const auto corrected = aspectCorrectedSize(actual->size(), size)) {
            resize(*corrected);
        } else if (std::fabs(actual->width - size.width) >= 1 || std::fabs(actual->height - size.height) >= 1) {
            resize(size);
        }
    }
    const platform::Size placed = [&] {
        if (const auto frame = accessibilityWindowFrame(accessibility, window)) return frame->size();
        return size;
    }();
    const platform::Rect final = keptOnDisplayOf(target, centredFrame(target, placed), displays);
    if (const auto error = move(final.origin()); error != platform::axerror::success) {
        logPositionFailure("position", error);
    }
    return target;
}

// A client-native session switches the window's display (the main display
// without one) for the device's pixels.
void applyClientNativeDisplayModeForResize(RemoteScreenStreamSession& session,
                                           const RemoteScreenResizeWindowRequest& request,
                                           const std::optional<platform::Rect>& bounds) {
    if (session.request().renderSizingMode != RemoteScreenStreamRenderSizingMode::clientNative || !request.pixelWidth ||
        !request.pixelHeight) {
        return;
    }
    const auto target = zentrabo::clientNativeTargetSize(*request.pixelWidth, *request.pixelHeight);
    if (!target) return;
    auto& displays = session.desktop().displays();
    std::optional<platform::DisplayID> display;
    if (bounds) display = displayID(*bounds, displays);
    session.applyClientNativeDisplayMode(display.value_or(displays.mainDisplayID()), "window resize",
                                         static_cast<double>(target->width), static_cast<double>(target->height));
}

// What the resize's steps before the stream's reconfiguration leave.
struct WindowPlacement {
    platform::WindowID windowID = 0;
    // The outcome of an identical earlier resize, answered again.
    std::optional<WindowResizeOutcome> repeated;
    // What the window took, and the outcome but for the stream's part.
    platform::Rect actualFrame;
    WindowResizeOutcome outcome;
};

// The window's part of a resize: the checks, the display mode, the window's
// new frame and the pointer bounds that follow it.
WindowPlacement placeStreamedWindow(RemoteScreenStreamSession& session,
                                    const RemoteScreenResizeWindowRequest& request) {
    if (session.request().mode == RemoteScreenStreamMode::display)
        throw resizeFailure(RemoteScreenStreamSession::displayStreamResizeMessage);
    auto& desktop = session.desktop();
    auto& accessibility = desktop.accessibility();
    if (!accessibility.isProcessTrusted()) throw resizeFailure(untrustedMessage);
    const auto windowID = session.selection().windowID();
    auto listFrame = session.selection().pointerBounds();
    const auto size = normalizedWindowSize(request.width, request.height);
    if (!size) throw resizeFailure(invalidSizeMessage);
    if (!windowID) throw resizeFailure(windowGoneMessage);

    applyClientNativeDisplayModeForResize(session, request, listFrame);
    if (const auto listed = platform::listedWindow(desktop.windowServer(), *windowID)) {
        session.selection().moveBounds(*windowID, listed->frame);
        listFrame = listed->frame;
    }
    const auto application = streamedApplication(session);
    const auto window = resizableWindow(session, *application, *windowID, listFrame).handle;
    const platform::Rect currentFrame =
        accessibilityWindowFrame(accessibility, window)
            .value_or(listFrame.value_or(platform::Rect{0, 0, size->width, size->height}));

    const auto displays = activeDisplayBounds(desktop.displays());
    const platform::Rect target = keptOnDisplayOf(currentFrame, centredFrame(currentFrame, *size), displays);
    WindowPlacement placement;
    placement.windowID = *windowID;
    if (session.lastWindowResize() && session.lastWindowResize()->windowID == *windowID &&
        session.lastWindowResize()->request == request &&
        std::fabs(currentFrame.x - target.x) + std::fabs(currentFrame.y - target.y) < 1 &&
        std::fabs(currentFrame.width - target.width) < 1 && std::fabs(currentFrame.height - target.height) < 1) {
        placement.repeated = session.lastWindowResize()->outcome;
        return placement;
    }
    placement.outcome.targetFrame = applyWindowFrame(accessibility, window, *size, currentFrame, displays);
    placement.actualFrame = accessibilityWindowFrame(accessibility, window).value_or(centredFrame(currentFrame, *size));
    session.selection().moveBounds(*windowID, placement.actualFrame);
    placement.outcome.requestedSize = *size;
    placement.outcome.requestedPixelSize = requestedPixelSize(request);
    placement.outcome.requestedPointPixelScale = requestedPointPixelScale(request);
    placement.outcome.actualSize = placement.actualFrame.size();
    return placement;
}

}  // namespace

asio::awaitable<WindowResizeOutcome> resizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                  RemoteScreenResizeWindowRequest request) {
    WindowPlacement placement = placeStreamedWindow(*lockedOrGone(weakSession), request);
    if (placement.repeated) co_return *placement.repeated;
    placement.outcome.streamResize =
        co_await reconfigureStreamForWindowResize(weakSession, placement.windowID, placement.actualFrame, request);
    const auto session = lockedOrGone(weakSession);
    session->pipeline().requestKeyFrame();
    session->lastWindowResize() = LastWindowResize{placement.windowID, std::move(request), placement.outcome};
    co_return placement.outcome;
}

std::optional<std::string> fitWindow(const WindowResizeOutcome& outcome) {
    const auto& stream = outcome.streamResize;
    std::string clientPart;
    if (const auto& pixels = outcome.requestedPixelSize) {
        clientPart = ", client " + sizeText(*pixels) + " px @" + twoDecimals(outcome.requestedPointPixelScale);
    }
    const auto& target = outcome.targetFrame;
    ZENTRABO_LOG("Fit Window debug: request " + sizeText(outcome.requestedSize) + " pt" + clientPart +
                 ", target x:" + roundedInteger(target.minX()) + " y:" + roundedInteger(target.minY()) + " " +
                 sizeText(target.size()) + " pt, actual " + sizeText(outcome.actualSize) + " pt, max " +
                 std::to_string(stream.maximumDimension) + " px, scale " + twoDecimals(stream.pointPixelScale) +
                 ", source " + std::to_string(stream.sourceWidth) + "x" + std::to_string(stream.sourceHeight) +
                 " px, encoder " + std::to_string(stream.outputWidth) + "x" + std::to_string(stream.outputHeight) +
                 " px, scalesToFit " + (stream.scalesToFit ? "true" : "false"));
    if (std::fabs(outcome.actualSize.width - outcome.requestedSize.width) < fitTolerance &&
        std::fabs(outcome.actualSize.height - outcome.requestedSize.height) < fitTolerance) {
        return std::nullopt;
    }
    return "Window resized to " + roundedInteger(outcome.actualSize.width) + " x " +
           roundedInteger(outcome.actualSize.height) + ". The app may enforce a minimum size.";
}

}  // namespace zentrabo
