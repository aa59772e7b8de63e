#include "screenstream/stream_selection.hpp"

#include <future>
#include <utility>

namespace zentrabo {

StreamSelection::StreamSelection(platform::Desktop& desktop, platform::StrandQueue& controlQueue)
    : desktop_(desktop), controlQueue_(controlQueue) {}

StreamSelection::~StreamSelection() {
    releasePending();
    if (pointerController_) pointerController_->release();
}

void StreamSelection::apply(const SelectedContent& selected) {
    std::shared_ptr<RemoteScreenPointerController> replaced;
    {
        std::lock_guard guard(lock_);
        if (isCleared_) return;
        std::optional<platform::Point> location;
        if (pointerController_ && selected.windowID == windowID_) location = pointerController_->location();
        windowID_ = selected.windowID;
        pointerBounds_ = selected.pointerBounds;
        pointPixelScale_ = selected.pointPixelScale;
        replaced = std::exchange(pointerController_, std::make_shared<RemoteScreenPointerController>(
                                                         desktop_, selected.pointerBounds, location));
    }
    replaceController(std::move(replaced));
}

void StreamSelection::moveBounds(platform::WindowID windowID, const platform::Rect& bounds) {
    std::shared_ptr<RemoteScreenPointerController> replaced;
    {
        std::lock_guard guard(lock_);
        if (isCleared_ || windowID_ != windowID) return;
        pointerBounds_ = bounds;
        std::optional<platform::Point> location;
        if (pointerController_) location = pointerController_->location();
        replaced = std::exchange(pointerController_,
                                 std::make_shared<RemoteScreenPointerController>(desktop_, bounds, location));
    }
    replaceController(std::move(replaced));
}

std::optional<platform::WindowID> StreamSelection::windowID() {
    std::lock_guard guard(lock_);
    return windowID_;
}

std::optional<platform::Rect> StreamSelection::pointerBounds() {
    std::lock_guard guard(lock_);
    return pointerBounds_;
}

std::optional<double> StreamSelection::pointPixelScale() {
    std::lock_guard guard(lock_);
    return pointPixelScale_;
}

std::shared_ptr<RemoteScreenPointerController> StreamSelection::pointerController() {
    std::lock_guard guard(lock_);
    return pointerController_;
}

void StreamSelection::clear() {
    std::shared_ptr<RemoteScreenPointerController> last;
    {
        std::lock_guard guard(lock_);
        isCleared_ = true;
        windowID_.reset();
        pointerBounds_.reset();
        last = std::move(pointerController_);
    }
    replaceController(std::move(last));
}

void StreamSelection::replaceController(std::shared_ptr<RemoteScreenPointerController> controller) {
    if (!controller) return;
    {
        std::lock_guard guard(lock_);
        pendingReleases_.push_back(std::move(controller));
    }
    // Posted straight to the queue, not as input: it runs after the stop
    // too, behind whatever input job may still be using the controller.
    controlQueue_.post([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) self->releasePending();
    });
}

void StreamSelection::awaitPointerRelease() {
    if (controlQueue_.isCurrent()) {
        releasePending();
        return;
    }
    // The caller holds the selection until the wait is over, and the job
    // touches nothing of it once it has said so.
    std::promise<void> released;
    controlQueue_.post([this, &released] {
        releasePending();
        released.set_value();
    });
    released.get_future().wait();
}

void StreamSelection::releasePending() {
    std::vector<std::shared_ptr<RemoteScreenPointerController>> releasing;
    {
        std::lock_guard guard(lock_);
        releasing.swap(pendingReleases_);
    }
    for (const auto& controller : releasing) controller->release();
}

}  // namespace zentrabo
