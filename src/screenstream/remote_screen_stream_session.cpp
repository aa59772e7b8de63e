#include "screenstream/remote_screen_stream_session.hpp"

#include <utility>

#include <asio/post.hpp>

#include "screenstream/remote_screen_display_mode_controller.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

std::shared_ptr<RemoteScreenStreamSession> RemoteScreenStreamSession::make(platform::Uuid id,
                                                                           RemoteScreenStreamRequest request,
                                                                           std::shared_ptr<StreamConnection> connection,
                                                                           Environment environment) {
    auto session = std::make_shared<RemoteScreenStreamSession>(std::move(id), std::move(request), std::move(connection),
                                                               std::move(environment));
    session->pipeline_ =
        std::make_shared<StreamPipeline>(session->request_, session->clock(), session->environment_.pool,
                                         session->connection_, session->pipelineEvents());
    return session;
}

RemoteScreenStreamSession::RemoteScreenStreamSession(platform::Uuid id, RemoteScreenStreamRequest request,
                                                     std::shared_ptr<StreamConnection> connection,
                                                     Environment environment)
    : id_(std::move(id)),
      request_(std::move(request)),
      connection_(std::move(connection)),
      environment_(std::move(environment)),
      controlQueue_(environment_.pool),
      startCancellation_(std::make_shared<asio::cancellation_signal>()),
      tasks_(std::exchange(environment_.tasks, {})) {}

StreamPipeline::Events RemoteScreenStreamSession::pipelineEvents() {
    std::weak_ptr<RemoteScreenStreamSession> weakSelf = weak_from_this();
    return {
        [weakSelf](std::optional<std::string> errorText) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (errorText) self->connection_->sendScreenStreamError(*errorText);
            self->stopFromCallback();
        },
        [weakSelf] {
            if (auto self = weakSelf.lock()) self->resumeReceivingIfPaused();
        },
    };
}

RemoteScreenStreamSession::~RemoteScreenStreamSession() {
    // No control-queue job runs now (each holds the session), so the pointer
    // controllers whose release was still queued let go here.
    releasePendingPointerControllers();
    if (pointerController_) pointerController_->release();
}

asio::awaitable<void> RemoteScreenStreamSession::run() {
    auto& capture = desktop().screenCapture();
    if (!capture.preflightAccess() && !capture.requestAccess()) {
        throw RemoteScreenStreamServerError::screenRecordingMissing();
    }
    co_await environment_.mediaStart(*this);
    startFrontmostWindowTracking();
    startReceiving();
}

void RemoteScreenStreamSession::stop() {
    std::shared_ptr<RemoteScreenPointerController> pointerController;
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController;
    platform::Timer trackingTimer;
    asio::any_io_executor tasks;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        didStop_ = true;
        tasks = std::move(tasks_);
        pointerController = std::move(pointerController_);
        displayModeController = std::move(displayModeController_);
        trackingTimer = std::move(frontmostWindowTrackingTimer_);
        selectedWindowID_.reset();
        selectedPointerBounds_.reset();
    }
    trackingTimer.cancel();
    pipeline_->stop();
    releasePointerController(std::move(pointerController));
    if (displayModeController) displayModeController->restore();
    // Before the start is cancelled, so the start's own error path finds
    // the connection closed and sends nothing.
    connection_->cancel();
    // The signal belongs to the tasks strand, where the start runs.
    asio::post(tasks, [signal = startCancellation_] { signal->emit(asio::cancellation_type::all); });
}

void RemoteScreenStreamSession::stopFromCallback() {
    if (onStop_) onStop_(id_);
}

}  // namespace zentrabo
