// The session's capture side: the capture stream it holds, captured frames
// on their way to the encoder, and the selection it shows.
#include <utility>

#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

void RemoteScreenStreamSession::setCaptureStream(std::shared_ptr<platform::CaptureStream> stream) {
    {
        std::lock_guard guard(lock_);
        if (!didStop_) std::swap(captureStream_, stream);
    }
    // What is left here is the stream refused after the stop, or the one replaced.
    if (stream) stream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
}

void RemoteScreenStreamSession::encodeVideoFrame(platform::CapturedScreenSample sample) {
    // The sample keeps its capture queue place until it has been encoded,
    // so a slow encoder slows capture down rather than queueing frames.
    encoderQueue_.post([weakSelf = weak_from_this(), sample = std::move(sample)]() mutable {
        auto self = weakSelf.lock();
        if (!self) return;
        std::shared_ptr<VideoEncoder> encoder;
        {
            std::lock_guard guard(self->lock_);
            encoder = self->encoder_;
        }
        if (!encoder) return;
        try {
            encoder->encode(CapturedVideoFrame{std::move(sample.image), sample.presentationTime});
        } catch (const std::exception& error) {
            self->connection_->sendScreenStreamError(error.what());
            self->stopFromCallback();
        }
    });
}

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
        replaced = std::exchange(pointerController_,
                                 std::make_shared<RemoteScreenPointerController>(
                                     environment_.textInputController.desktop(), selected.pointerBounds, location));
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
