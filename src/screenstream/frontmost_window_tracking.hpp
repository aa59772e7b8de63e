#pragma once
// Frontmost-window tracking: a frontmost-window stream that follows the
// active window switches its running capture to the window the user brought
// to the front, in place, and keeps pointer input on a window that moved.

namespace zentrabo {

class RemoteScreenStreamSession;

// For a frontmost-window stream that follows the active window: a step at
// once and then every half second on the session's tasks strand, until the
// stop or until the session is gone. Nothing for other streams.
void startFrontmostWindowTracking(RemoteScreenStreamSession& session);

}  // namespace zentrabo
