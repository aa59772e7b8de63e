#pragma once
// Which of an application's windows a stream shows.
#include <optional>

#include "model/records/stream_records.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo {

// Among the application's on-screen windows at layer 0 of at least 40 x 40
// points, in the content's order: the one with windowID when given (and no
// other); else the first whose label (its trimmed title, else the
// application's trimmed name, else "Window") matches the request's title,
// ignoring case and diacritics, as the whole label or its beginning as the
// request's match mode says; else the application's front window in the
// window list; else the largest, the earlier of equal ones. None without
// candidates.
std::optional<platform::ShareableWindow> bestApplicationWindow(const platform::RunningApplication& application,
                                                               std::optional<platform::WindowID> windowID,
                                                               const platform::ShareableContent& content,
                                                               const RemoteScreenStreamRequest& request,
                                                               platform::WindowServer& windowServer);

}  // namespace zentrabo
