// The session's client-native display mode: switched for the device's
// pixels, put back when the stream moves to another display or stops.
#include <utility>

#include "model/diagnostic_log.hpp"
#include "screenstream/client_native_target_size.hpp"
#include "screenstream/display_mode_choice.hpp"
#include "screenstream/remote_screen_display_mode_controller.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

bool RemoteScreenStreamSession::applyClientNativeDisplayMode(platform::DisplayID displayID, const std::string& reason,
                                                             double width, double height) {
    if (request_.renderSizingMode != RemoteScreenStreamRenderSizingMode::clientNative ||
        !isDisplayModeTarget(width, height)) {
        return false;
    }
    auto& displays = desktop().displays();
    std::shared_ptr<RemoteScreenDisplayModeController> controller;
    std::shared_ptr<RemoteScreenDisplayModeController> replaced;
    {
        std::unique_lock guard(lock_);
        if (didStop_) return false;
        if (displayModeController_ && displayModeController_->displayID() == displayID) {
            controller = displayModeController_;
        } else {
            // Made under the lock, so two triggers never make two
            // controllers for one display.
            controller = RemoteScreenDisplayModeController::make(displays, displayID);
            if (!controller) {
                guard.unlock();
                ZENTRABO_LOG("Client Native display mode skipped for display " + std::to_string(displayID) +
                             ": current mode is unavailable.");
                return false;
            }
            replaced = std::exchange(displayModeController_, controller);
        }
    }
    // The display left behind gets its mode back before this one changes.
    if (replaced) replaced->restore();
    if (controller->apply(reason, width, height)) {
        bool stillHeld = false;
        {
            std::lock_guard guard(lock_);
            stillHeld = !didStop_ && displayModeController_ == controller;
        }
        // The stream stopped, or moved on, while the display was switching:
        // whoever detached the controller may have restored it before the
        // switch, so it is restored again here.
        if (!stillHeld) controller->restore();
        return stillHeld;
    }
    if (!controller->hasAppliedMode()) {
        std::lock_guard guard(lock_);
        if (displayModeController_ == controller) displayModeController_.reset();
    }
    return false;
}

}  // namespace zentrabo
