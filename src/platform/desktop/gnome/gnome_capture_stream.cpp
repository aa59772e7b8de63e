#include "platform/desktop/gnome/gnome_capture_stream.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/desktop/frame_fitting.hpp"
#include "platform/desktop/stream_configuration_check.hpp"
#include "platform/media/media_error.hpp"

namespace zentrabo::platform {

GnomeCaptureStream::GnomeCaptureStream(GnomeCaptureTarget target, Clock& clock,
                                       std::shared_ptr<SoundServerWatch> soundWatch, ContentFilter filter,
                                       StreamConfiguration configuration, CaptureStreamStopHandler onStop)
    : target_(std::move(target)),
      clock_(clock),
      onStop_(std::move(onStop)),
      sound_(std::make_shared<StreamSound>(clock, std::move(soundWatch))),
      filter_(std::move(filter)),
      configuration_(std::move(configuration)) {}

GnomeCaptureStream::~GnomeCaptureStream() = default;

void GnomeCaptureStream::addScreenOutput(asio::any_io_executor executor, ScreenOutput output) {
    std::lock_guard lock(mutex_);
    if (screenOutput_) throw ScreenCaptureError("The stream already has a screen output.");
    screenExecutor_ = std::move(executor);
    screenOutput_ = std::move(output);
    sound_->accompanyPictures();
    if (running_) scheduleFrameLocked(0);
}

void GnomeCaptureStream::addAudioOutput(asio::any_io_executor executor, AudioOutput output) {
    sound_->addOutput(std::move(executor), std::move(output));
}

std::optional<SoundRequest> GnomeCaptureStream::soundRequest(const ContentFilter& filter,
                                                             const StreamConfiguration& configuration) const {
    if (!configuration.capturesAudio) return std::nullopt;
    std::optional<ProcessID> owner;
    if (const auto* application = std::get_if<ApplicationContentFilter>(&filter)) owner = application->application;
    if (const auto* shown = std::get_if<WindowContentFilter>(&filter)) {
        for (const auto& window : target_.windows->windows().value_or(std::vector<ShellWindow>{})) {
            if (window.id == shown->window && window.pid > 0) owner = window.pid;
        }
        if (!owner) throw captureContentUnavailable();
    }
    return soundRequestFor(configuration, owner);
}

std::unique_ptr<ScreenCastRecording> GnomeCaptureStream::recordingWithFrame(const ContentFilter& filter,
                                                                            const StreamConfiguration& configuration) {
    auto recording = target_.record(filter, configuration.showsCursor);
    if (!recording->video().waitForFrame(0, firstFrameTimeout)) throw captureContentUnavailable();
    return recording;
}

void GnomeCaptureStream::startCapture(Completion completion) {
    std::unique_lock lock(mutex_);
    if (running_) return lock.unlock(), completion(ScreenCaptureError("The stream is already capturing."));
    if (auto problem = streamConfigurationProblem(configuration_, PipewireVideoStream::maximumSide)) {
        return lock.unlock(), completion(std::move(problem));
    }
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    try {
        auto recording = recordingWithFrame(filter, configuration);
        sound_->start(soundRequest(filter, configuration), [weak = weak_from_this()](const ScreenCaptureError& error) {
            if (auto self = weak.lock()) self->stopWithError(error);
        });
        std::lock_guard capture(captureMutex_);
        recording_ = std::move(recording);
    } catch (const ScreenCaptureError& error) {
        return completion(error);
    }
    lock.lock();
    running_ = true;
    if (screenOutput_) scheduleFrameLocked(0);
    lock.unlock();
    completion(std::nullopt);
}

void GnomeCaptureStream::stopCapture(Completion completion) {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        frameTimer_.cancel();
    }
    sound_->stop();
    std::unique_ptr<ScreenCastRecording> recording;
    {
        std::lock_guard capture(captureMutex_);
        recording = std::move(recording_);
        picturePool_.reset();
    }
    // The recording ends here, outside the locks.
    recording.reset();
    completion(std::nullopt);
}

void GnomeCaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
    std::unique_lock lock(mutex_);
    const bool running = running_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    std::unique_ptr<ScreenCastRecording> replaced;
    if (running) {
        try {
            auto recording = recordingWithFrame(filter, configuration);
            std::lock_guard capture(captureMutex_);
            replaced = std::exchange(recording_, std::move(recording));
        } catch (const ScreenCaptureError& error) {
            return completion(error);
        }
    }
    lock.lock();
    filter_ = std::move(filter);
    lock.unlock();
    replaced.reset();
    if (running) refreshSound();
    completion(std::nullopt);
}

void GnomeCaptureStream::updateConfiguration(StreamConfiguration configuration, Completion completion) {
    if (auto problem = streamConfigurationProblem(configuration, PipewireVideoStream::maximumSide)) {
        return completion(std::move(problem));
    }
    {
        std::lock_guard lock(mutex_);
        configuration_ = std::move(configuration);
    }
    refreshSound();
    completion(std::nullopt);
}

void GnomeCaptureStream::refreshSound() {
    std::unique_lock lock(mutex_);
    if (!running_) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    sound_->change([&] { return soundRequest(filter, configuration); });
}

void GnomeCaptureStream::scheduleFrameLocked(double delaySeconds) {
    nextFrameTime_ = clock_.monotonicNow() + delaySeconds;
    frameTimer_ = clock_.schedule(*screenExecutor_, delaySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->captureFrame();
    });
}

std::optional<GnomeCaptureStream::Frame> GnomeCaptureStream::frameLocked(const VideoFrame& picture,
                                                                         const StreamConfiguration& configuration) {
    try {
        if (configuration.pixelFormat == CapturePixelFormat::encoderYuv420) {
            auto pooled = encoderPicturePool(picturePool_, static_cast<int>(configuration.width),
                                             static_cast<int>(configuration.height))
                              .take();
            if (!pooled) return std::nullopt;
            fitIntoYuv420(picture.pixels(), configuration, yuvScaler_, *pooled);
            return Frame{{}, std::move(pooled)};
        }
        return Frame{fitToConfiguration(picture.rgba(), configuration,
                                        [this](const RgbaImage& image, std::uint32_t width, std::uint32_t height) {
                                            return scaler_.scale(image, width, height);
                                        }),
                     nullptr};
    } catch (const MediaError& error) {
        throw ScreenCaptureError(error.what());
    }
}

void GnomeCaptureStream::captureFrame() {
    std::unique_lock lock(mutex_);
    if (!running_ || !screenOutput_) return;
    const StreamConfiguration configuration = configuration_;
    const ScreenOutput output = screenOutput_;
    const double now = clock_.monotonicNow();
    const double interval = configuration.minimumFrameInterval.seconds();
    scheduleFrameLocked(nextFrameDelay(nextFrameTime_, now, interval));
    lock.unlock();

    if (framesHeld_.full(configuration.queueDepth)) return;
    std::optional<Frame> frame;
    try {
        std::lock_guard capture(captureMutex_);
        // A frame that was due as the stream stopped finds nothing to draw.
        if (!recording_) return;
        if (recording_->video().failed()) throw captureContentUnavailable();
        const auto picture = recording_->video().newest();
        if (!picture) return;
        frame = frameLocked(*picture, configuration);
    } catch (const ScreenCaptureError& error) {
        return stopWithError(error);
    }
    if (!frame) return;
    std::shared_ptr<const void> place = framesHeld_.hold();
    const auto time = std::chrono::nanoseconds(std::llround(now * 1e9));
    output(CapturedScreenSample{std::move(frame->image), std::move(frame->encoderPicture), time, std::move(place)});
}

void GnomeCaptureStream::stopWithError(const ScreenCaptureError& error) {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        frameTimer_.cancel();
    }
    sound_->stop();
    std::unique_ptr<ScreenCastRecording> recording;
    {
        std::lock_guard capture(captureMutex_);
        recording = std::move(recording_);
    }
    recording.reset();
    if (onStop_) onStop_(error);
}

}  // namespace zentrabo::platform
