#include "screenstream/remote_screen_stream_session.hpp"

#include <utility>

#include <asio/post.hpp>

#include "screenstream/remote_screen_display_mode_controller.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"

namespace zentrabo {

RemoteScreenStreamSession::RemoteScreenStreamSession(Uuid id, RemoteScreenStreamRequest request,
                                                     std::shared_ptr<StreamConnection> connection,
                                                     Environment environment)
    : id_(std::move(id)),
      request_(std::move(request)),
      connection_(std::move(connection)),
      environment_(std::move(environment)),
      captureQueue_("RemoteScreenStream.capture." + id_.uuidString),
      encoderQueue_("RemoteScreenStream.encoder." + id_.uuidString),
      controlQueue_("RemoteScreenStream.control." + id_.uuidString),
      startCancellation_(std::make_shared<asio::cancellation_signal>()),
      transportQueueLimit_(transportQueueLimit(request_)) {}

RemoteScreenStreamSession::~RemoteScreenStreamSession() {
    // No control-queue job runs now (each holds the session), so the pointer
    // controllers whose release was still queued let go here.
    releasePendingPointerControllers();
    if (pointerController_) pointerController_->release();
}

asio::awaitable<void> RemoteScreenStreamSession::run() {
    auto& capture = environment_.textInputController.desktop().screenCapture();
    if (!capture.preflightAccess() && !capture.requestAccess()) {
        throw RemoteScreenStreamServerError::screenRecordingMissing();
    }
    co_await environment_.mediaStart(*this);
    startFrontmostWindowTracking();
    startReceiving();
}

void RemoteScreenStreamSession::stop() {
    std::shared_ptr<VideoEncoder> encoder;
    std::shared_ptr<platform::CaptureStream> captureStream;
    std::shared_ptr<RemoteScreenPointerController> pointerController;
    std::shared_ptr<RemoteScreenDisplayModeController> displayModeController;
    platform::Timer trackingTimer;
    {
        std::lock_guard guard(lock_);
        if (didStop_) return;
        didStop_ = true;
        encoder = std::move(encoder_);
        captureStream = std::move(captureStream_);
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
    if (encoder) encoderQueue_.post([encoder = std::move(encoder)] { encoder->shutdown(); });
    trackingTimer.cancel();
    if (captureStream) captureStream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
    releasePointerController(std::move(pointerController));
    if (displayModeController) displayModeController->restore();
    // Before the start is cancelled, so the start's own error path finds
    // the connection closed and sends nothing.
    connection_->cancel();
    // The signal belongs to the timer thread, where the start runs.
    asio::post(environment_.timerQueue, [signal = startCancellation_] { signal->emit(asio::cancellation_type::all); });
}

void RemoteScreenStreamSession::tearDownCapture() {
    std::shared_ptr<VideoEncoder> encoder;
    std::shared_ptr<platform::CaptureStream> captureStream;
    {
        std::lock_guard guard(lock_);
        encoder = std::move(encoder_);
        captureStream = std::move(captureStream_);
    }
    if (encoder) encoderQueue_.post([encoder = std::move(encoder)] { encoder->shutdown(); });
    if (captureStream) captureStream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
}

void RemoteScreenStreamSession::setVideoEncoder(std::shared_ptr<VideoEncoder> encoder) {
    std::shared_ptr<VideoEncoder> replaced;
    {
        std::lock_guard guard(lock_);
        if (didStop_) {
            replaced = std::move(encoder);
        } else {
            replaced = std::exchange(encoder_, std::move(encoder));
        }
    }
    if (replaced) encoderQueue_.post([replaced = std::move(replaced)] { replaced->shutdown(); });
}

void RemoteScreenStreamSession::videoCaptureStopped(const std::string& description) {
    connection_->sendScreenStreamError(description);
    stopFromCallback();
}

void RemoteScreenStreamSession::stopFromCallback() {
    if (onStop_) onStop_(id_);
}

}  // namespace zentrabo
