#include "platform/desktop/x11/x11_capture_stream.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "platform/desktop/frame_fitting.hpp"
#include "platform/desktop/stream_configuration_check.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/x11_pixels.hpp"
#include "platform/media/media_error.hpp"

namespace zentrabo::platform {

X11CaptureStream::X11CaptureStream(std::string display, std::shared_ptr<ShmSegmentShare> segment, Clock& clock,
                                   std::shared_ptr<SoundServerWatch> soundWatch, ContentFilter filter,
                                   StreamConfiguration configuration, CaptureStreamStopHandler onStop)
    : display_(std::move(display)),
      segment_(std::move(segment)),
      clock_(clock),
      onStop_(std::move(onStop)),
      sound_(std::make_shared<StreamSound>(clock, std::move(soundWatch))),
      filter_(std::move(filter)),
      configuration_(std::move(configuration)) {}

X11CaptureStream::~X11CaptureStream() = default;

void X11CaptureStream::addScreenOutput(asio::any_io_executor executor, ScreenOutput output) {
    std::lock_guard lock(mutex_);
    if (screenOutput_) throw ScreenCaptureError("The stream already has a screen output.");
    screenOutput_ = Target<ScreenOutput>{std::move(executor), std::move(output)};
    sound_->accompanyPictures();
    if (running_) scheduleFrameLocked(0);
}

void X11CaptureStream::addAudioOutput(asio::any_io_executor executor, AudioOutput output) {
    sound_->addOutput(std::move(executor), std::move(output));
}

void X11CaptureStream::startCapture(Completion completion) {
    std::unique_lock lock(mutex_);
    if (running_) return lock.unlock(), completion(ScreenCaptureError("The stream is already capturing."));
    if (auto problem = streamConfigurationProblem(configuration_, maximumCaptureSide)) {
        return lock.unlock(), completion(std::move(problem));
    }
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    try {
        // The first frame tells whether the content is there at all.
        std::lock_guard capture(captureMutex_);
        if (!source_) source_ = std::make_unique<X11CaptureSource>(display_, segment_);
        frameLocked(filter, configuration);
    } catch (const X11Error&) {
        return completion(captureContentUnavailable());
    } catch (const ScreenCaptureError& error) {
        return completion(error);
    }
    try {
        sound_->start(soundRequest(filter, configuration), [weak = weak_from_this()](const ScreenCaptureError& error) {
            if (auto self = weak.lock()) self->stopWithError(error);
        });
    } catch (const ScreenCaptureError& error) {
        return completion(error);
    }
    lock.lock();
    running_ = true;
    if (screenOutput_) scheduleFrameLocked(0);
    lock.unlock();
    completion(std::nullopt);
}

void X11CaptureStream::stopCapture(Completion completion) {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        frameTimer_.cancel();
    }
    sound_->stop();
    releaseSource();
    completion(std::nullopt);
}

void X11CaptureStream::releaseSource() {
    std::lock_guard capture(captureMutex_);
    source_.reset();
    picturePool_.reset();
}

void X11CaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
    std::optional<ScreenCaptureError> failure;
    {
        std::lock_guard capture(captureMutex_);
        if (source_) {
            try {
                const auto held = source_->hold();
                source_->capturePixels(filter, false);
            } catch (const ScreenCaptureError& error) {
                failure = error;
            }
        }
    }
    if (!failure) {
        std::lock_guard lock(mutex_);
        filter_ = std::move(filter);
    }
    if (!failure) refreshSound();
    completion(std::move(failure));
}

void X11CaptureStream::updateConfiguration(StreamConfiguration configuration, Completion completion) {
    if (auto problem = streamConfigurationProblem(configuration, maximumCaptureSide)) {
        return completion(std::move(problem));
    }
    {
        std::lock_guard lock(mutex_);
        configuration_ = std::move(configuration);
    }
    refreshSound();
    completion(std::nullopt);
}

std::optional<SoundRequest> X11CaptureStream::soundRequest(const ContentFilter& filter,
                                                           const StreamConfiguration& configuration) {
    if (!configuration.capturesAudio) return std::nullopt;
    try {
        std::lock_guard capture(captureMutex_);
        if (!source_) source_ = std::make_unique<X11CaptureSource>(display_, segment_);
        return soundRequestFor(configuration, source_->soundOwner(filter));
    } catch (const X11Error&) {
        throw captureContentUnavailable();
    }
}

void X11CaptureStream::refreshSound() {
    std::unique_lock lock(mutex_);
    if (!running_) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    sound_->change([&] { return soundRequest(filter, configuration); });
}

void X11CaptureStream::scheduleFrameLocked(double delaySeconds) {
    nextFrameTime_ = clock_.monotonicNow() + delaySeconds;
    frameTimer_ = clock_.schedule(screenOutput_->executor, delaySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->captureFrame();
    });
}

Yuv420PicturePool& X11CaptureStream::picturePoolLocked(const StreamConfiguration& configuration) {
    return encoderPicturePool(picturePool_, static_cast<int>(configuration.width),
                              static_cast<int>(configuration.height));
}

std::optional<X11CaptureStream::Frame> X11CaptureStream::frameLocked(const ContentFilter& filter,
                                                                     const StreamConfiguration& configuration) {
    // A frame that was due as the stream stopped finds nothing to draw with.
    if (!source_) return std::nullopt;
    try {
        // The picture to draw into comes first: without one free the frame
        // is skipped before the grab.
        std::shared_ptr<AVFrame> picture;
        if (configuration.pixelFormat == CapturePixelFormat::encoderYuv420) {
            picture = picturePoolLocked(configuration).take();
            if (!picture) return std::nullopt;
        }
        const auto held = source_->hold();
        const auto pixels = source_->capturePixels(filter, configuration.showsCursor);
        if (!pixels) return std::nullopt;
        if (picture) {
            if (const auto packed = packedPixels(*pixels)) {
                fitIntoYuv420(*packed, configuration, yuvScaler_, *picture);
                return Frame{{}, std::move(picture)};
            }
        }
        return Frame{fitToConfiguration(rgbaFromPixels(*pixels), configuration,
                                        [this](const RgbaImage& image, std::uint32_t width, std::uint32_t height) {
                                            return scaler_.scale(image, width, height);
                                        }),
                     nullptr};
    } catch (const MediaError& error) {
        throw ScreenCaptureError(error.what());
    }
}

void X11CaptureStream::captureFrame() {
    std::unique_lock lock(mutex_);
    if (!running_ || !screenOutput_) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    const ScreenOutput output = screenOutput_->handler;
    const double now = clock_.monotonicNow();
    const double interval = configuration.minimumFrameInterval.seconds();
    scheduleFrameLocked(nextFrameDelay(nextFrameTime_, now, interval));
    lock.unlock();

    if (framesHeld_.full(configuration.queueDepth)) return;
    std::optional<Frame> frame;
    try {
        std::lock_guard capture(captureMutex_);
        frame = frameLocked(filter, configuration);
    } catch (const ScreenCaptureError& error) {
        stopWithError(error);
        return;
    }
    if (!frame) return;
    std::shared_ptr<const void> place = framesHeld_.hold();
    const auto time = std::chrono::nanoseconds(std::llround(now * 1e9));
    output(CapturedScreenSample{std::move(frame->image), std::move(frame->encoderPicture), time, std::move(place)});
}

void X11CaptureStream::stopWithError(const ScreenCaptureError& error) {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        frameTimer_.cancel();
    }
    sound_->stop();
    releaseSource();
    if (onStop_) onStop_(error);
}

}  // namespace zentrabo::platform
