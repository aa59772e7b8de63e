#pragma once
// Every desktop service the controllers use, from one place.
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/displays.hpp"
#include "platform/desktop/event_poster.hpp"
#include "platform/desktop/keyboard_layout.hpp"
#include "platform/desktop/pasteboard.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/desktop/workspace.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class Desktop {
public:
    virtual ~Desktop() = default;

    virtual Workspace& workspace() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual WindowServer& windowServer() = 0;
    virtual Displays& displays() = 0;
    virtual ScreenCapture& screenCapture() = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual KeyboardLayoutPreferences& keyboardLayout() = 0;
    virtual EventPoster& eventPoster() = 0;

    // The clock that waiting code sleeps and turns the run loop with: a turn
    // (Clock::runLoopTurn) lets the desktop's own events (an application
    // appearing after its launch delay) happen, and runs nothing else.
    virtual Clock& clock() = 0;

    // The folder inside the program's data folder where the desktop keeps
    // what devices may browse (its applications, nothing secret); none when
    // it keeps nothing there. The rest of the data folder stays closed.
    virtual std::optional<std::filesystem::path> browsableDataFolder() { return std::nullopt; }

    // Serialises the callers' input sequences on this desktop: a key with its
    // modifier keys, a text event pair, a media-key pair, a pasteboard write,
    // a paste from saving the pasteboard to restoring it. Every controller
    // that acts on the desktop shares it, so two streams (or a stream and a
    // workflow) never interleave their keys or pastes. It is the outermost
    // lock: callers take it once per operation, never while inside a desktop
    // call, and the desktop itself never takes it, so it may be held across
    // waits and calls into the desktop.
    std::mutex& inputLock() { return inputLock_; }

    // Runs the handler once the session this desktop controls has ended for
    // good (a logout), with how it ended. It runs at most once, on a thread
    // of the desktop's; an end reported before the handler was set is
    // handed over at once. The virtual desktop's session never ends.
    void whenSessionEnds(std::function<void(const std::string& reason)> handler) {
        std::unique_lock guard(sessionEndLock_);
        if (endedReason_) {
            guard.unlock();
            handler(*endedReason_);
            return;
        }
        sessionEndHandler_ = std::move(handler);
    }

protected:
    // The backend's report of that end.
    void sessionEnded(const std::string& reason) {
        std::unique_lock guard(sessionEndLock_);
        if (endedReason_) return;
        endedReason_ = reason;
        auto handler = std::move(sessionEndHandler_);
        guard.unlock();
        if (handler) handler(reason);
    }

private:
    std::mutex inputLock_;
    std::mutex sessionEndLock_;
    std::optional<std::string> endedReason_;
    std::function<void(const std::string&)> sessionEndHandler_;
};

}  // namespace zentrabo::platform
