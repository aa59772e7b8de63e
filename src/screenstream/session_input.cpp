// The device's input applied on the control queue: pointer and head pose
// through the pointer controller, pasted text and keys through the stream
// server's controller, each after the streamed window has been brought to
// the front; pasted text, keys and window resizes answered with a command result.
#include "screenstream/stream_input.hpp"
#include "screenstream/streamed_window.hpp"

#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/stream_control_payloads.hpp"
#include "model/records/stream_input_wire.hpp"
#include "platform/desktop/application_identifier.hpp"
#include "platform/text/trim.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

void sendCommandResult(RemoteScreenStreamSession& session, RemoteScreenStreamCommandKind command, bool succeeded,
                       std::optional<std::string> message) {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::commandResult;
    try {
        const std::string json = encodeRecord(RemoteScreenStreamCommandResultPayload{command, succeeded, message});
        frame.payload.assign(json.begin(), json.end());
    } catch (const std::exception& error) {
        ZENTRABO_LOG(std::string("Screen stream command result encoding failed: ") + error.what());
        return;
    }
    session.pipeline().send(frame);
}

// Brings the streamed window's application and the window to the front
// before input is applied; nothing for display streams. Throws when the
// application cannot be found.
void focusStreamedWindow(RemoteScreenStreamSession& session) {
    const auto windowID = session.selection().windowID();
    const auto bounds = session.selection().pointerBounds();
    // A display stream has no window to bring forward.
    if (!windowID) return;
    const auto application = streamedApplication(session);
    application->unhide();
    application->activate(true);
    auto& accessibility = session.desktop().accessibility();
    if (!bounds || !accessibility.isProcessTrusted()) return;
    try {
        accessibility.raiseWindow(resizableWindow(session, *application, *windowID, bounds).handle);
    } catch (const RemoteScreenStreamServerError&) {
        // Without a window element the input still goes to the application.
    }
}

// The focusing step for events that get no answer: a failure is logged
// with the event's name and the event dropped (false).
bool focusForEvent(RemoteScreenStreamSession& session, std::string_view eventName) {
    try {
        focusStreamedWindow(session);
        return true;
    } catch (const std::exception& error) {
        ZENTRABO_LOG("Screen stream " + std::string(eventName) +
                     " event ignored because the stream window could not be focused: " + error.what());
        return false;
    }
}

bool isHeadTrackingTargetFrontmost(RemoteScreenStreamSession& session, const RemoteScreenHeadPoseEvent& event) {
    auto target = platform::trimmedNonBlank(event.targetBundleIdentifier);
    if (!target) target = platform::trimmedNonBlank(session.request().applicationBundleIdentifier);
    if (!target) return false;
    const auto frontmost = session.desktop().workspace().frontmostApplication();
    return frontmost && platform::identifierAnswers(frontmost->bundleIdentifier(), *target);
}

// Runs the command's work and answers it: succeeded with the message the
// work returns, or failed with the text of what the work threw.
void answerCommand(RemoteScreenStreamSession& session, RemoteScreenStreamCommandKind command,
                   const std::function<std::optional<std::string>()>& work) {
    std::optional<std::string> message;
    try {
        message = work();
    } catch (const std::exception& error) {
        sendCommandResult(session, command, false, error.what());
        return;
    }
    sendCommandResult(session, command, true, std::move(message));
}

}  // namespace

void handlePointerEvent(RemoteScreenStreamSession& session, const RemoteScreenPointerEvent& event) {
    const auto controller = session.selection().pointerController();
    if (focusForEvent(session, "pointer") && controller) controller->handle(event);
}

void handleHeadTrackingEvent(RemoteScreenStreamSession& session, const RemoteScreenHeadPoseEvent& event) {
    if (!isHeadTrackingTargetFrontmost(session, event)) return;
    const auto controller = session.selection().pointerController();
    if (focusForEvent(session, "head tracking") && controller) controller->handleHeadPose(event);
}

void handlePasteText(RemoteScreenStreamSession& session, std::span<const std::uint8_t> payload) {
    answerCommand(session, RemoteScreenStreamCommandKind::pasteText, [&]() -> std::optional<std::string> {
        const std::string text = RemoteScreenPasteTextWire::decode(payload);
        focusStreamedWindow(session);
        session.environment().desktopController.pasteText(text);
        return std::nullopt;
    });
}

void handleKeyboardEvent(RemoteScreenStreamSession& session, std::span<const std::uint8_t> payload) {
    answerCommand(session, RemoteScreenStreamCommandKind::keyboardEvent, [&]() -> std::optional<std::string> {
        const auto event = RemoteScreenKeyboardEventWire::decode(payload);
        focusStreamedWindow(session);
        session.environment().desktopController.handleRemoteKeyboardEvent(event);
        return std::nullopt;
    });
}

asio::awaitable<void> handleResizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                         std::vector<std::uint8_t> payload) {
    // The answer tells the device when the window did not take its size.
    std::optional<std::string> message;
    std::optional<std::string> failure;
    try {
        // Named: GCC 12 destroys a temporary of a co_await expression twice.
        auto resize = resizeWindow(weakSession, RemoteScreenResizeWindowRequestWire::decode(payload));
        const auto outcome = co_await std::move(resize);
        message = fitWindow(outcome);
    } catch (const std::exception& error) {
        failure = error.what();
    }
    const auto session = weakSession.lock();
    if (!session) co_return;
    if (failure) {
        sendCommandResult(*session, RemoteScreenStreamCommandKind::resizeWindow, false, std::move(failure));
    } else {
        sendCommandResult(*session, RemoteScreenStreamCommandKind::resizeWindow, true, std::move(message));
    }
}

}  // namespace zentrabo
