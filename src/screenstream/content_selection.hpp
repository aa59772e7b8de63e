#pragma once
// What a stream captures: a display, or one window with the pixel size,
// scale, pointer bounds and display that go with it.
#include <cstdint>
#include <optional>

#include <asio/awaitable.hpp>

#include "model/records/stream_records.hpp"
#include "platform/desktop/desktop.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo {

// Smaller windows are toolbars, badges and the like, never streamed.
inline constexpr double minimumStreamWindowSide = 40;

struct SelectedContent {
    platform::ContentFilter filter;
    // When present, the application's sound is captured by a stream of its
    // own with this filter.
    std::optional<platform::ContentFilter> audioFilter;
    std::int64_t sourceWidth = 0;  // pixels
    std::int64_t sourceHeight = 0;
    platform::Rect pointerBounds;  // global points where pointer input lands
    std::optional<platform::WindowID> windowID;
    double pointPixelScale = 1;
    std::optional<platform::DisplayID> displayID;
    bool operator==(const SelectedContent&) const = default;
};

// The front window of an application in the window list.
struct FrontmostWindowCandidate {
    platform::WindowID windowID = 0;
    platform::ProcessID processID = 0;
    platform::Rect bounds;
    bool operator==(const FrontmostWindowCandidate&) const = default;
};

// The first on-screen window of the process in the window list (front to
// back, desktop elements left out) at layer 0, not fully transparent, at
// least 40 x 40 points, with a number. None when the list cannot be read.
std::optional<FrontmostWindowCandidate> frontmostWindowCandidate(platform::WindowServer& windowServer,
                                                                 platform::ProcessID processID);

// The candidate of the frontmost application; none without one.
std::optional<FrontmostWindowCandidate> frontmostApplicationWindowCandidate(platform::Desktop& desktop);

// The content of the request's mode. Throws
// RemoteScreenStreamServerError (displayUnavailable,
// frontmostWindowUnavailable, applicationWindowUnavailable). An application
// window may take waits on the clock while its application launches and
// shows its windows (applicationWindowSelection).
asio::awaitable<SelectedContent> selectContent(const RemoteScreenStreamRequest& request,
                                               const platform::ShareableContent& content,
                                               const std::optional<FrontmostWindowCandidate>& frontmostCandidate,
                                               platform::Desktop& desktop, platform::Clock& clock);

// The candidate's window, else the frontmost application's best window;
// throws RemoteScreenStreamServerError::frontmostWindowUnavailable when
// there is none.
SelectedContent frontmostWindowContent(const RemoteScreenStreamRequest& request,
                                       const platform::ShareableContent& content,
                                       const std::optional<FrontmostWindowCandidate>& frontmostCandidate,
                                       platform::Desktop& desktop);

// The request's display, else the main display, else the first; throws
// RemoteScreenStreamServerError::displayUnavailable when there is none.
SelectedContent displayContent(const RemoteScreenStreamRequest& request, const platform::ShareableContent& content,
                               platform::Desktop& desktop);

// One window alone.
SelectedContent windowContent(const platform::ShareableWindow& window,
                              std::optional<platform::ContentFilter> audioFilter, platform::Desktop& desktop);

// The shareable window with that number, its pointer bounds replaced by
// the given ones unless those are null or empty; none when there is no such
// window.
std::optional<SelectedContent> windowContent(platform::WindowID windowID, const platform::ShareableContent& content,
                                             const platform::Rect& bounds, platform::Desktop& desktop);

}  // namespace zentrabo
