#include "platform/desktop/virtual/virtual_capture_stream.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "platform/desktop/frame_fitting.hpp"
#include "platform/desktop/stream_configuration_check.hpp"
#include "platform/desktop/virtual/capture_scene.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/imaging/image_resize.hpp"

namespace zentrabo::platform {

namespace {

// Frames larger than a display can be are refused.
constexpr std::int64_t maximumFrameDimension = VirtualDesktop::maximumPixelDimension;

std::optional<ScreenCaptureError> configurationProblem(const StreamConfiguration& configuration) {
    return streamConfigurationProblem(configuration, maximumFrameDimension);
}

ScreenCaptureError desktopGone() { return ScreenCaptureError("The desktop is no longer available."); }

}  // namespace

VirtualCaptureStream::VirtualCaptureStream(std::weak_ptr<VirtualDesktop> desktop, ContentFilter filter,
                                           StreamConfiguration configuration, CaptureStreamStopHandler onStop)
    : desktop_(std::move(desktop)),
      onStop_(std::move(onStop)),
      filter_(std::move(filter)),
      configuration_(std::move(configuration)) {}

void VirtualCaptureStream::addScreenOutput(asio::any_io_executor executor, ScreenOutput output) {
    auto desktop = desktop_.lock();
    if (!desktop) throw desktopGone();
    std::lock_guard lock(mutex_);
    if (screenOutput_) throw ScreenCaptureError("The stream already has a screen output.");
    screenOutput_ = Output<ScreenOutput>{std::move(executor), std::move(output)};
    if (running_) scheduleFrameLocked(desktop->clock(), 0);
}

void VirtualCaptureStream::addAudioOutput(asio::any_io_executor executor, AudioOutput output) {
    std::lock_guard lock(mutex_);
    if (audioOutput_) throw ScreenCaptureError("The stream already has an audio output.");
    audioOutput_ = Output<AudioOutput>{std::move(executor), std::move(output)};
}

void VirtualCaptureStream::startCapture(Completion completion) {
    auto desktop = desktop_.lock();
    if (!desktop) return completion(desktopGone());
    std::unique_lock lock(mutex_);
    if (running_) return lock.unlock(), completion(ScreenCaptureError("The stream is already capturing."));
    if (auto problem = configurationProblem(configuration_)) return lock.unlock(), completion(std::move(problem));
    const ContentFilter filter = filter_;
    const bool capturesAudio = configuration_.capturesAudio;
    lock.unlock();
    try {
        if (!desktop->captureSnapshot(filter, false).contentExists) {
            return completion(captureContentUnavailable());
        }
        // Throws while audio capture fails.
        if (capturesAudio) desktop->audioSnapshot(filter);
    } catch (const ScreenCaptureError& error) {
        return completion(error);
    }
    lock.lock();
    running_ = true;
    if (screenOutput_) scheduleFrameLocked(desktop->clock(), 0);
    audioPacing_.start(desktop->clock().monotonicNow());
    if (audioOutput_ && capturesAudio) scheduleAudioLocked(desktop->clock());
    lock.unlock();
    completion(std::nullopt);
}

void VirtualCaptureStream::stopCapture(Completion completion) {
    std::map<std::uint64_t, Timer> pendingUpdates;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        frameTimer_.cancel();
        audioTimer_.cancel();
        // Their timers run on the outputs' executors, which may go with
        // whoever stopped the stream.
        pendingUpdates = std::move(updateTimers_);
    }
    pendingUpdates.clear();
    completion(std::nullopt);
}

void VirtualCaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
    completeUpdate(
        [this, filter = std::move(filter)]() -> std::optional<ScreenCaptureError> {
            auto desktop = desktop_.lock();
            if (!desktop) return desktopGone();
            try {
                if (!desktop->captureSnapshot(filter, false).contentExists) {
                    return captureContentUnavailable();
                }
            } catch (const ScreenCaptureError& error) {
                return error;
            }
            std::lock_guard lock(mutex_);
            filter_ = filter;
            return std::nullopt;
        },
        std::move(completion));
}

void VirtualCaptureStream::updateConfiguration(StreamConfiguration configuration, Completion completion) {
    completeUpdate(
        [this, configuration = std::move(configuration)]() -> std::optional<ScreenCaptureError> {
            if (auto problem = configurationProblem(configuration)) return problem;
            std::lock_guard lock(mutex_);
            configuration_ = configuration;
            return std::nullopt;
        },
        std::move(completion));
}

void VirtualCaptureStream::completeUpdate(std::function<std::optional<ScreenCaptureError>()> apply,
                                          Completion completion) {
    auto desktop = desktop_.lock();
    if (!desktop) return completion(desktopGone());
    const auto behaviour = desktop->captureUpdateBehaviour();
    auto finish = [apply = std::move(apply), completion = std::move(completion), error = behaviour.error]() mutable {
        if (error) return completion(ScreenCaptureError(*error));
        completion(apply());
    };
    // An update that never completes keeps nothing waiting.
    if (std::isinf(behaviour.latency)) return;
    std::unique_lock lock(mutex_);
    if (!(behaviour.latency > 0) || !screenOutput_) return lock.unlock(), finish();
    const std::uint64_t number = nextUpdate_++;
    updateTimers_[number] =
        desktop->clock().schedule(screenOutput_->executor, behaviour.latency,
                                  [weak = weak_from_this(), number, finish = std::move(finish)]() mutable {
                                      auto self = weak.lock();
                                      if (!self) return;
                                      Timer done;
                                      {
                                          std::lock_guard guard(self->mutex_);
                                          done = std::move(self->updateTimers_[number]);
                                          self->updateTimers_.erase(number);
                                      }
                                      finish();
                                  });
}

void VirtualCaptureStream::scheduleFrameLocked(Clock& clock, double delaySeconds) {
    nextFrameTime_ = clock.monotonicNow() + delaySeconds;
    frameTimer_ = clock.schedule(screenOutput_->executor, delaySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->captureFrame();
    });
}

void VirtualCaptureStream::captureFrame() {
    auto desktop = desktop_.lock();
    if (!desktop) return;
    std::unique_lock lock(mutex_);
    if (!running_ || !screenOutput_) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    const ScreenOutput output = screenOutput_->handler;
    Clock& clock = desktop->clock();
    const double now = clock.monotonicNow();
    const double interval = configuration.minimumFrameInterval.seconds();
    scheduleFrameLocked(clock, nextFrameDelay(nextFrameTime_, now, interval));
    lock.unlock();

    std::optional<CaptureScene> scene;
    try {
        scene = desktop->captureSnapshot(filter, configuration.showsCursor).scene;
    } catch (const ScreenCaptureError& error) {
        stopWithError(error);
        return;
    }
    if (!scene || framesHeld_.full(configuration.queueDepth)) return;
    RgbaImage image = fitToConfiguration(drawCaptureScene(*scene), configuration,
                                         [](const RgbaImage& source, std::uint32_t width, std::uint32_t height) {
                                             return resizeImage(source, width, height);
                                         });
    std::shared_ptr<const void> place = framesHeld_.hold();
    const auto time = std::chrono::nanoseconds(std::llround(scene->time * 1e9));
    output(CapturedScreenSample{std::move(image), nullptr, time, std::move(place)});
}

void VirtualCaptureStream::scheduleAudioLocked(Clock& clock) {
    audioTimer_ =
        clock.schedule(audioOutput_->executor, audioPacing_.untilNext(clock.monotonicNow()), [weak = weak_from_this()] {
            if (auto self = weak.lock()) self->captureAudio();
        });
}

void VirtualCaptureStream::captureAudio() {
    auto desktop = desktop_.lock();
    if (!desktop) return;
    std::unique_lock lock(mutex_);
    if (!running_ || !audioOutput_ || !configuration_.capturesAudio) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    const AudioOutput output = audioOutput_->handler;
    Clock& clock = desktop->clock();
    const AudioBufferPacing pacing = audioPacing_;
    const auto due = audioPacing_.take(clock.monotonicNow());
    scheduleAudioLocked(clock);
    lock.unlock();
    if (due.first >= due.end) return;

    VirtualDesktop::AudioSnapshot snapshot;
    try {
        snapshot = desktop->audioSnapshot(filter);
    } catch (const ScreenCaptureError& error) {
        stopWithError(error);
        return;
    }
    const std::int64_t rate = snapshot.delivery.sampleRate.value_or(configuration.sampleRate);
    const PcmAudioFormat format{static_cast<double>(rate), static_cast<std::uint32_t>(configuration.channelCount),
                                snapshot.delivery.sampleFormat, snapshot.delivery.isInterleaved};
    for (std::int64_t buffer = due.first; buffer < due.end; ++buffer) {
        const std::int64_t firstFrame = AudioBufferPacing::firstFrame(buffer, rate);
        const std::int64_t endFrame = AudioBufferPacing::firstFrame(buffer + 1, rate);
        output(CapturedAudioSample{synthesizeTones(snapshot.tones, firstFrame, endFrame - firstFrame, format),
                                   pacing.time(buffer)});
    }
}

void VirtualCaptureStream::stopWithError(const ScreenCaptureError& error) {
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        frameTimer_.cancel();
        audioTimer_.cancel();
    }
    if (onStop_) onStop_(error);
}

}  // namespace zentrabo::platform
