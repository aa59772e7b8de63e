#include "screenstream/remote_screen_stream_session.hpp"

#include <utility>

#include <asio/post.hpp>

#include "screenstream/remote_screen_display_mode_controller.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

RemoteScreenStreamSession::RemoteScreenStreamSession(platform::Uuid id, RemoteScreenStreamRequest request,
                                                     std::shared_ptr<StreamConnection> connection,
                                                     Environment environment)
    : id_(std::move(id)),
      request_(std::move(request)),
      connection_(std::move(connection)),
      environment_(std::move(environment)),
      captureQueue_(environment_.pool),
      encoderQueue_(std::string(encoderThreadName)),
      controlQueue_(environment_.pool),
      startCancellation_(std::make_shared<asio::cancellation_signal>()),
      transportQueueLimit_(transportQueueLimit(request_)),
      tasks_(std::exchange(environment_.tasks, {})) {}

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
    CaptureParts capture;
    std::shared_ptr<RemoteScreenPointerController> pointerController;
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController;
    platform::Timer trackingTimer;
    asio::any_io_executor tasks;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        didStop_ = true;
        tasks = std::move(tasks_);
        capture = takeCaptureLocked();
        pointerController = std::move(pointerController_);
        displayModeController = std::move(displayModeController_);
        trackingTimer = std::move(frontmostWindowTrackingTimer_);
        selectedWindowID_.reset();
        selectedPointerBounds_.reset();
        transportQueuedBytes_ = 0;
        transportQueuedVideoFrames_ = 0;
        transportDroppedPFrames_ = 0;
        awaitingKeyFrame_ = false;
    }
    trackingTimer.cancel();
    shutDown(std::move(capture));
    releasePointerController(std::move(pointerController));
    if (displayModeController) displayModeController->restore();
    // Before the start is cancelled, so the start's own error path finds
    // the connection closed and sends nothing.
    connection_->cancel();
    // The signal belongs to the tasks strand, where the start runs.
    asio::post(tasks, [signal = startCancellation_] { signal->emit(asio::cancellation_type::all); });
}

void RemoteScreenStreamSession::tearDownCapture() {
    CaptureParts capture;
    {
        std::lock_guard guard(lock_);
        capture = takeCaptureLocked();
    }
    shutDown(std::move(capture));
}

RemoteScreenStreamSession::CaptureParts RemoteScreenStreamSession::takeCaptureLocked() {
    return {std::move(encoder_), std::move(audioEncoder_), std::move(captureStream_), std::move(audioCaptureStream_)};
}

void RemoteScreenStreamSession::shutDown(CaptureParts parts) {
    // The encoders are let go on the encoder queue too, after any encoding
    // still running there: the stopping thread never touches them.
    if (parts.encoder || parts.audioEncoder) {
        encoderQueue_.post([encoder = std::move(parts.encoder), audioEncoder = std::move(parts.audioEncoder)] {
            if (encoder) encoder->shutdown();
            if (audioEncoder) audioEncoder->reset();
        });
    }
    for (const auto& stream : {parts.stream, parts.audioStream}) {
        if (stream) stream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
    }
}

void RemoteScreenStreamSession::setVideoEncoder(std::shared_ptr<VideoEncoder> encoder) {
    CaptureParts replaced;
    {
        std::lock_guard guard(lock_);
        if (didStop_) {
            replaced.encoder = std::move(encoder);
        } else {
            replaced.encoder = std::exchange(encoder_, std::move(encoder));
        }
    }
    shutDown(std::move(replaced));
}

void RemoteScreenStreamSession::videoCaptureStopped(const std::string& description) {
    connection_->sendScreenStreamError(description);
    stopFromCallback();
}

void RemoteScreenStreamSession::stopFromCallback() {
    if (onStop_) onStop_(id_);
}

}  // namespace zentrabo
