#include "platform/desktop/x11/x11_capture_stream.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "platform/desktop/frame_fitting.hpp"
#include "platform/desktop/stream_configuration_check.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/media/media_error.hpp"

namespace zentrabo::platform {

X11CaptureStream::X11CaptureStream(std::string display, Clock& clock, ContentFilter filter,
                                   StreamConfiguration configuration, CaptureStreamStopHandler onStop)
    : display_(std::move(display)),
      clock_(clock),
      onStop_(std::move(onStop)),
      framesHeld_(std::make_shared<std::atomic<std::int32_t>>(0)),
      filter_(std::move(filter)),
      configuration_(std::move(configuration)) {}

void X11CaptureStream::addScreenOutput(asio::any_io_executor executor, ScreenOutput output) {
    std::lock_guard lock(mutex_);
    if (screenOutput_) throw ScreenCaptureError("The stream already has a screen output.");
    screenOutput_ = ScreenTarget{std::move(executor), std::move(output)};
    if (running_) scheduleFrameLocked(0);
}

void X11CaptureStream::startCapture(Completion completion) {
    std::unique_lock lock(mutex_);
    if (running_) return lock.unlock(), completion(ScreenCaptureError("The stream is already capturing."));
    if (auto problem = streamConfigurationProblem(configuration_, maximumCaptureSide)) {
        return lock.unlock(), completion(std::move(problem));
    }
    if (configuration_.capturesAudio) {
        return lock.unlock(), completion(ScreenCaptureError("Sound capture is not available on this desktop."));
    }
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    lock.unlock();
    try {
        // The first frame tells whether the content is there at all.
        std::lock_guard capture(captureMutex_);
        if (!source_) source_ = std::make_unique<X11CaptureSource>(display_);
        frameLocked(filter, configuration);
    } catch (const X11Error&) {
        return completion(ScreenCaptureError("The content to capture is not available."));
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
    completion(std::nullopt);
}

void X11CaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
    std::optional<ScreenCaptureError> failure;
    {
        std::lock_guard capture(captureMutex_);
        if (source_) {
            try {
                source_->capture(filter, false);
            } catch (const ScreenCaptureError& error) {
                failure = error;
            }
        }
    }
    if (!failure) {
        std::lock_guard lock(mutex_);
        filter_ = std::move(filter);
    }
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
    completion(std::nullopt);
}

void X11CaptureStream::scheduleFrameLocked(double delaySeconds) {
    nextFrameTime_ = clock_.monotonicNow() + delaySeconds;
    frameTimer_ = clock_.schedule(screenOutput_->executor, delaySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->captureFrame();
    });
}

std::optional<RgbaImage> X11CaptureStream::frameLocked(const ContentFilter& filter,
                                                       const StreamConfiguration& configuration) {
    auto source = source_->capture(filter, configuration.showsCursor);
    if (!source) return std::nullopt;
    try {
        return fitToConfiguration(std::move(*source), configuration,
                                  [this](const RgbaImage& image, std::uint32_t width, std::uint32_t height) {
                                      return scaler_.scale(image, width, height);
                                  });
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
    // A steady cadence; a frame that comes late moves the next one on rather
    // than bunching frames up to catch up.
    const double now = clock_.monotonicNow();
    const double interval = configuration.minimumFrameInterval.seconds();
    scheduleFrameLocked(std::max(nextFrameTime_ + interval, now + interval * 0.5) - now);
    lock.unlock();

    if (framesHeld_->load() >= configuration.queueDepth) return;
    std::optional<RgbaImage> image;
    try {
        std::lock_guard capture(captureMutex_);
        image = frameLocked(filter, configuration);
    } catch (const ScreenCaptureError& error) {
        stopWithError(error);
        return;
    }
    if (!image) return;
    framesHeld_->fetch_add(1);
    std::shared_ptr<const void> place(nullptr, [held = framesHeld_](const void*) { held->fetch_sub(1); });
    const auto time = std::chrono::nanoseconds(std::llround(now * 1e9));
    output(CapturedScreenSample{std::move(*image), time, std::move(place)});
}

void X11CaptureStream::stopWithError(const ScreenCaptureError& error) {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        frameTimer_.cancel();
    }
    if (onStop_) onStop_(error);
}

}  // namespace zentrabo::platform
