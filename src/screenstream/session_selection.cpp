// What the session shows: its window, where pointer input lands and its
// scale, with the pointer controller for those bounds.
#include <utility>

#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

void RemoteScreenStreamSession::applySelection(const SelectedContent& selected) {
    std::shared_ptr<RemoteScreenPointerController> replaced;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        // The pointer keeps its place while the same window (or display) is shown.
        std::optional<platform::Point> location;
        if (pointerController_ && selected.windowID == selectedWindowID_) location = pointerController_->location();
        selectedWindowID_ = selected.windowID;
        selectedPointerBounds_ = selected.pointerBounds;
        selectedPointPixelScale_ = selected.pointPixelScale;
        replaced = std::exchange(pointerController_, std::make_shared<RemoteScreenPointerController>(
                                                         desktop(), selected.pointerBounds, location));
    }
    releasePointerController(std::move(replaced));
}

std::optional<platform::WindowID> RemoteScreenStreamSession::selectedWindowID() {
    std::lock_guard guard(lock_);
    return selectedWindowID_;
}

std::optional<platform::Rect> RemoteScreenStreamSession::selectedPointerBounds() {
    std::lock_guard guard(lock_);
    return selectedPointerBounds_;
}

}  // namespace zentrabo
