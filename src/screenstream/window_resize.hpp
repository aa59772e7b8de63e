#pragma once
// Resizing the streamed window for the device's view, as steps of coroutines
// on the session's control strand that hold the session only between their
// waits: the window's part (around its centre, kept on its display), then
// the stream's (fresh content, the pipeline's filter and picture size).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <asio/awaitable.hpp>

#include "model/records/stream_input_records.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

// The stream's geometry after a resize.
struct WindowStreamResizeOutcome {
    std::int64_t maximumDimension = 0;  // the longest output side allowed
    double pointPixelScale = 1;         // pixels per point of the window
    std::int64_t sourceWidth = 0;       // the window in pixels
    std::int64_t sourceHeight = 0;
    std::int64_t outputWidth = 0;  // the encoded picture in pixels
    std::int64_t outputHeight = 0;
    bool scalesToFit = false;
    bool operator==(const WindowStreamResizeOutcome&) const = default;
};

struct WindowResizeOutcome {
    platform::Size requestedSize;  // normalised, points
    std::optional<platform::Size> requestedPixelSize;
    double requestedPointPixelScale = 1;
    platform::Rect targetFrame;  // what the window was asked to take
    platform::Size actualSize;   // what it took
    WindowStreamResizeOutcome streamResize;
    bool operator==(const WindowResizeOutcome&) const = default;
};

// The last resize that completed, which a repeated request is answered from.
struct LastWindowResize {
    platform::WindowID windowID = 0;
    RemoteScreenResizeWindowRequest request;
    WindowResizeOutcome outcome;
};

// Resizes the streamed window around its centre, on its display, and brings
// the stream to its new size. A repeated request for a window that is where
// the last one left it is answered from the last outcome. Throws
// RemoteScreenStreamServerError::windowResizeUnavailable.
asio::awaitable<WindowResizeOutcome> resizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                                  RemoteScreenResizeWindowRequest request);

// The stream after a window resize (session_window_reconfiguration.cpp):
// fresh content and filter, then the output size, a new encoder and the
// capture configuration, each wait 2 s at most. Throws
// windowResizeUnavailable, or what the content fetch or the encoder creation
// throws.
asio::awaitable<WindowStreamResizeOutcome> reconfigureStreamForWindowResize(
    std::weak_ptr<RemoteScreenStreamSession> weakSession, platform::WindowID windowID, platform::Rect frame,
    RemoteScreenResizeWindowRequest request);

// The session a resize step holds weakly; windowResizeUnavailable ("The
// stream is no longer running.") when it is gone.
std::shared_ptr<RemoteScreenStreamSession> lockedOrGone(const std::weak_ptr<RemoteScreenStreamSession>& weakSession);

// Logs how the window and the stream fit the request; the message for the
// device when the application did not take the size asked for.
std::optional<std::string> fitWindow(const WindowResizeOutcome& outcome);

}  // namespace zentrabo
