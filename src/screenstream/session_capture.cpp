// The session's capture side: the capture streams it holds, captured frames
// and sound on their way to the encoders, and the selection it shows.
#include <utility>

#include "model/diagnostic_log.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

void RemoteScreenStreamSession::setCaptureStream(std::shared_ptr<platform::CaptureStream> stream) {
    CaptureParts left;
    left.stream = std::move(stream);
    {
        std::lock_guard guard(lock_);
        if (!didStop_) std::swap(captureStream_, left.stream);
    }
    // What is left here is the stream refused after the stop, or the one replaced.
    shutDown(std::move(left));
}

void RemoteScreenStreamSession::setAudioCapture(std::shared_ptr<AudioEncoder> encoder,
                                                std::shared_ptr<platform::CaptureStream> audioStream) {
    CaptureParts left;
    left.audioEncoder = std::move(encoder);
    left.audioStream = std::move(audioStream);
    {
        std::lock_guard guard(lock_);
        if (!didStop_) {
            std::swap(audioEncoder_, left.audioEncoder);
            std::swap(audioCaptureStream_, left.audioStream);
        }
    }
    shutDown(std::move(left));
}

void RemoteScreenStreamSession::encodeVideoFrame(platform::CapturedScreenSample sample) {
    // The sample keeps its capture queue place until it has been encoded,
    // so a slow encoder slows capture down rather than queueing frames.
    encoderQueue_.post([weakSelf = weak_from_this(), sample = std::move(sample)]() mutable {
        auto self = weakSelf.lock();
        if (!self) return;
        const auto encoder = self->lockedCopy(self->encoder_);
        if (!encoder) return;
        try {
            encoder->encode(CapturedVideoFrame{std::move(sample.image), sample.presentationTime});
        } catch (const std::exception& error) {
            self->connection_->sendScreenStreamError(error.what());
            self->stopFromCallback();
        }
    });
}

void RemoteScreenStreamSession::encodeAudioBuffer(platform::CapturedAudioSample sample) {
    if (audioBuffersAwaitingEncoder_.fetch_add(1) >= maximumAudioBuffersAwaitingEncoder) {
        audioBuffersAwaitingEncoder_.fetch_sub(1);
        return;
    }
    encoderQueue_.post([weakSelf = weak_from_this(), sample = std::move(sample)]() mutable {
        auto self = weakSelf.lock();
        if (!self) return;
        self->audioBuffersAwaitingEncoder_.fetch_sub(1);
        const auto encoder = self->lockedCopy(self->audioEncoder_);
        if (!encoder) return;
        try {
            encoder->encode(sample);
        } catch (const std::exception& error) {
            ZENTRABO_LOG(std::string("Screen stream audio encode failed: ") + error.what());
        }
    });
}

void RemoteScreenStreamSession::audioCaptureStopped(const platform::CaptureStream& stream,
                                                    const std::string& description) {
    CaptureParts stopped;
    {
        std::lock_guard guard(lock_);
        // A stream that an earlier start or the stop let go is no longer ours.
        if (audioCaptureStream_.get() != &stream) return;
        stopped.audioStream = std::move(audioCaptureStream_);
        stopped.audioEncoder = std::move(audioEncoder_);
    }
    ZENTRABO_LOG("Screen stream app audio capture stopped: " + description);
    shutDown(std::move(stopped));
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
