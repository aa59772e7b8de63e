// The device's input applied on the control queue: pointer and head pose
// through the pointer controller, pasted text and keys through the stream
// server's controller, each after the streamed window has been brought to
// the front; pasted text, keys and window resizes answered with a command result.
#include <exception>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "model/records/stream_input_wire.hpp"
#include "platform/text/trim.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

std::shared_ptr<RemoteScreenPointerController> RemoteScreenStreamSession::pointerController() {
    std::lock_guard guard(lock_);
    return pointerController_;
}

void RemoteScreenStreamSession::releasePointerController(std::shared_ptr<RemoteScreenPointerController> controller) {
    if (!controller) return;
    {
        std::lock_guard guard(lock_);
        pendingPointerReleases_.push_back(std::move(controller));
    }
    // Posted straight to the queue, not as input: it runs after the stop
    // too, behind whatever input job may still be using the controller.
    controlQueue_.post([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) self->releasePendingPointerControllers();
    });
}

void RemoteScreenStreamSession::awaitPointerRelease() {
    if (controlQueue_.isCurrent()) {
        releasePendingPointerControllers();
        return;
    }
    // The caller holds the session until the wait is over, and the job
    // touches nothing of it once it has said so.
    std::promise<void> released;
    controlQueue_.post([this, &released] {
        releasePendingPointerControllers();
        released.set_value();
    });
    released.get_future().wait();
}

void RemoteScreenStreamSession::releasePendingPointerControllers() {
    std::vector<std::shared_ptr<RemoteScreenPointerController>> releasing;
    {
        std::lock_guard guard(lock_);
        releasing.swap(pendingPointerReleases_);
    }
    for (const auto& controller : releasing) controller->release();
}

void RemoteScreenStreamSession::focusStreamedWindow() {
    std::optional<platform::WindowID> windowID;
    std::optional<platform::Rect> bounds;
    {
        std::lock_guard guard(lock_);
        windowID = selectedWindowID_;
        bounds = selectedPointerBounds_;
    }
    // A display stream has no window to bring forward.
    if (!windowID) return;
    const auto application = streamedApplication();
    application->unhide();
    application->activate(true);
    auto& accessibility = desktop().accessibility();
    if (!bounds || !accessibility.isProcessTrusted()) return;
    try {
        const auto window = resizableWindowElement(*application, *windowID, bounds);
        accessibility.setMessagingTimeout(window, DesktopController::accessibilityMessagingTimeout);
        accessibility.performAction(window, "AXRaise");
    } catch (const RemoteScreenStreamServerError&) {
        // Without a window element the input still goes to the application.
    }
}

bool RemoteScreenStreamSession::focusForEvent(std::string_view eventName) {
    try {
        focusStreamedWindow();
        return true;
    } catch (const std::exception& error) {
        ZENTRABO_LOG("Screen stream " + std::string(eventName) +
                     " event ignored because the stream window could not be focused: " + error.what());
        return false;
    }
}

void RemoteScreenStreamSession::handlePointerEvent(const RemoteScreenPointerEvent& event) {
    const auto controller = pointerController();
    if (focusForEvent("pointer") && controller) controller->handle(event);
}

bool RemoteScreenStreamSession::isHeadTrackingTargetFrontmost(const RemoteScreenHeadPoseEvent& event) {
    auto target = platform::trimmedNonBlank(event.targetBundleIdentifier);
    if (!target) target = platform::trimmedNonBlank(request_.applicationBundleIdentifier);
    if (!target) return false;
    const auto frontmost = desktop().workspace().frontmostApplication();
    return frontmost && frontmost->bundleIdentifier() == *target;
}

void RemoteScreenStreamSession::handleHeadTrackingEvent(const RemoteScreenHeadPoseEvent& event) {
    if (!isHeadTrackingTargetFrontmost(event)) return;
    const auto controller = pointerController();
    if (focusForEvent("head tracking") && controller) controller->handleHeadPose(event);
}

void RemoteScreenStreamSession::answerCommand(RemoteScreenStreamCommandKind command,
                                              const std::function<std::optional<std::string>()>& work) {
    std::optional<std::string> message;
    try {
        message = work();
    } catch (const std::exception& error) {
        sendCommandResult(command, false, error.what());
        return;
    }
    sendCommandResult(command, true, std::move(message));
}

void RemoteScreenStreamSession::handlePasteText(std::span<const std::uint8_t> payload) {
    answerCommand(RemoteScreenStreamCommandKind::pasteText, [&]() -> std::optional<std::string> {
        const std::string text = RemoteScreenPasteTextWire::decode(payload);
        focusStreamedWindow();
        desktopController().pasteText(text);
        return std::nullopt;
    });
}

void RemoteScreenStreamSession::handleKeyboardEvent(std::span<const std::uint8_t> payload) {
    answerCommand(RemoteScreenStreamCommandKind::keyboardEvent, [&]() -> std::optional<std::string> {
        const auto event = RemoteScreenKeyboardEventWire::decode(payload);
        focusStreamedWindow();
        desktopController().handleRemoteKeyboardEvent(event);
        return std::nullopt;
    });
}

asio::awaitable<void> RemoteScreenStreamSession::handleResizeWindow(
    std::weak_ptr<RemoteScreenStreamSession> weakSession, std::vector<std::uint8_t> payload) {
    // The answer tells the device when the window did not take its size.
    std::optional<std::string> message;
    std::optional<std::string> failure;
    try {
        // Named: GCC 12 destroys a temporary of a co_await expression twice.
        auto resize = resizeWindow(weakSession, RemoteScreenResizeWindowRequestWire::decode(payload));
        const auto outcome = co_await std::move(resize);
        message = lockedOrGone(weakSession)->fitWindow(outcome);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    const auto session = weakSession.lock();
    if (!session) co_return;
    if (failure) {
        session->sendCommandResult(RemoteScreenStreamCommandKind::resizeWindow, false, std::move(failure));
    } else {
        session->sendCommandResult(RemoteScreenStreamCommandKind::resizeWindow, true, std::move(message));
    }
}

}  // namespace zentrabo
