#pragma once
// Reading the streamed window through the window list and accessibility.
#include <memory>
#include <optional>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/desktop/workspace.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

// The running application that owns the streamed window: for a
// frontmost-window stream the window's owner, else the frontmost
// application; for an application-window stream the request's application.
// Throws windowResizeUnavailable; display streams have none.
std::shared_ptr<platform::RunningApplication> streamedApplication(RemoteScreenStreamSession& session);

// The application's accessibility window to act on: the one with the window
// number, else the one nearest the frame, else the focused one, else the
// first that is not minimized. Throws windowResizeUnavailable when every
// window is minimized or there is none.
platform::ApplicationWindow resizableWindow(RemoteScreenStreamSession& session,
                                            const platform::RunningApplication& application,
                                            platform::WindowID windowID, const std::optional<platform::Rect>& frame);

// The window's frame read anew, when the size is positive on both sides.
std::optional<platform::Rect> accessibilityWindowFrame(platform::Accessibility& accessibility,
                                                       const platform::AXElement& window);

}  // namespace zentrabo
