#include "screenstream/remote_screen_stream_session.hpp"

#include <utility>

#include <asio/post.hpp>

#include "screenstream/frontmost_window_tracking.hpp"
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
        std::make_shared<StreamPipeline>(session->request_, session->environment().clock, session->environment_.pool,
                                         session->connection_, session->pipelineEvents());
    session->inbound_ = std::make_shared<StreamInbound>(session, session->connection_, session->controlQueue_);
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
      selection_(std::make_shared<StreamSelection>(environment_.desktopController.desktop(), controlQueue_)),
      startCancellation_(std::make_shared<asio::cancellation_signal>()),
      tasks_(std::exchange(environment_.tasks, {})) {}

StreamPipeline::Events RemoteScreenStreamSession::pipelineEvents() {
    std::weak_ptr<RemoteScreenStreamSession> weakSelf = weak_from_this();
    return {
        [weakSelf](std::optional<std::string> errorText) {
            if (auto self = weakSelf.lock()) self->end(std::move(errorText));
        },
        [weakSelf] {
            if (auto self = weakSelf.lock()) self->inbound_->resumeIfPaused();
        },
    };
}

asio::awaitable<void> RemoteScreenStreamSession::run() {
    auto& capture = desktop().screenCapture();
    if (!capture.preflightAccess() && !capture.requestAccess()) {
        throw RemoteScreenStreamServerError::screenRecordingMissing();
    }
    co_await environment_.mediaStart(*this);
    startFrontmostWindowTracking(*this);
    inbound_->start();
}

void RemoteScreenStreamSession::stop() {
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController;
    platform::Timer trackingTimer;
    asio::any_io_executor tasks;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        didStop_ = true;
        tasks = std::move(tasks_);
        displayModeController = std::move(displayModeController_);
        trackingTimer = std::move(scheduledTask_);
    }
    trackingTimer.cancel();
    pipeline_->stop();
    selection_->clear();
    if (displayModeController) displayModeController->restore();
    // Before the start is cancelled, so the start's own error path finds
    // the connection closed and sends nothing.
    connection_->cancel();
    // The signal belongs to the tasks strand, where the start runs.
    asio::post(tasks, [signal = startCancellation_] { signal->emit(asio::cancellation_type::all); });
}

void RemoteScreenStreamSession::scheduleTask(double delaySeconds,
                                             std::function<void(const asio::any_io_executor& tasks)> step) {
    asio::any_io_executor tasks;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        tasks = tasks_;
    }
    auto timer = environment_.clock.schedule(tasks, delaySeconds, [tasks, step = std::move(step)] { step(tasks); });
    std::lock_guard guard(lock_);
    // After the stop the timer goes with this scope, cancelled.
    if (!didStop_) std::swap(scheduledTask_, timer);
}

void RemoteScreenStreamSession::end(std::optional<std::string> errorText) {
    if (errorText) connection_->sendScreenStreamError(*errorText);
    if (environment_.onStop) environment_.onStop(id_);
}

bool RemoteScreenStreamSession::hasStopped() {
    std::lock_guard guard(lock_);
    return didStop_;
}

}  // namespace zentrabo
