#include "platform/desktop/x11/x11_capture_stream.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>
#include <utility>

#include "platform/desktop/frame_fitting.hpp"
#include "platform/desktop/sound_server_watch.hpp"
#include "platform/desktop/stream_configuration_check.hpp"
#include "platform/desktop/pulse/pulse_server_check.hpp"
#include "platform/desktop/pulse/pulse_sound_capture.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/x11_pixels.hpp"
#include "platform/media/media_error.hpp"

namespace zentrabo::platform {

namespace {

// Sound buffers are handed out this long after they end, so the sound
// server's 10 ms fragments of them have come even when they are a little
// late.
constexpr double soundDelaySeconds = 0.03;
// A buffer whose samples are still on their way (the sound server is late
// under load) waits for them up to this long past its time, looked at again
// every lateSoundPollSeconds; past that its missing part is silence and the
// late samples are dropped whole when they come, never handed out a beat
// late.
constexpr double soundLateBoundSeconds = 0.1;
constexpr double lateSoundPollSeconds = 0.005;

}  // namespace

X11CaptureStream::X11CaptureStream(std::string display, std::shared_ptr<ShmSegmentShare> segment, Clock& clock,
                                   std::shared_ptr<SoundServerWatch> soundWatch, ContentFilter filter,
                                   StreamConfiguration configuration, CaptureStreamStopHandler onStop)
    : display_(std::move(display)),
      segment_(std::move(segment)),
      clock_(clock),
      soundWatch_(std::move(soundWatch)),
      onStop_(std::move(onStop)),
      filter_(std::move(filter)),
      configuration_(std::move(configuration)) {}

X11CaptureStream::~X11CaptureStream() = default;

void X11CaptureStream::addScreenOutput(asio::any_io_executor executor, ScreenOutput output) {
    std::lock_guard lock(mutex_);
    if (screenOutput_) throw ScreenCaptureError("The stream already has a screen output.");
    screenOutput_ = Target<ScreenOutput>{std::move(executor), std::move(output)};
    if (running_) scheduleFrameLocked(0);
}

void X11CaptureStream::addAudioOutput(asio::any_io_executor executor, AudioOutput output) {
    std::lock_guard lock(mutex_);
    if (audioOutput_) throw ScreenCaptureError("The stream already has an audio output.");
    audioOutput_ = Target<AudioOutput>{std::move(executor), std::move(output)};
    if (running_ && sound_.capture) scheduleAudioLocked();
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
    Sound sound;
    try {
        sound = soundFor(filter, configuration, Sound{});
    } catch (const ScreenCaptureError& error) {
        return completion(error);
    }
    lock.lock();
    running_ = true;
    sound_ = std::move(sound);
    audioPacing_.start(clock_.monotonicNow(), soundDelaySeconds);
    if (screenOutput_) scheduleFrameLocked(0);
    if (audioOutput_ && sound_.capture) scheduleAudioLocked();
    lock.unlock();
    completion(std::nullopt);
}

void X11CaptureStream::stopCapture(Completion completion) {
    Sound sound;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        frameTimer_.cancel();
        audioTimer_.cancel();
        soundRetryTimer_.cancel();
        sound = std::exchange(sound_, Sound{});
    }
    // The recording ends here, outside the lock, unless a buffer being
    // handed out still holds it.
    sound = Sound{};
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

X11CaptureStream::Sound X11CaptureStream::soundFor(const ContentFilter& filter,
                                                   const StreamConfiguration& configuration, const Sound& current) {
    if (!configuration.capturesAudio) return Sound{};
    std::optional<ProcessID> owner;
    try {
        std::lock_guard capture(captureMutex_);
        if (!source_) source_ = std::make_unique<X11CaptureSource>(display_, segment_);
        owner = source_->soundOwner(filter);
    } catch (const X11Error&) {
        throw captureContentUnavailable();
    }
    if (current.capture && current.owner == owner && current.sampleRate == configuration.sampleRate &&
        current.channelCount == configuration.channelCount) {
        return current;
    }
    try {
        Sound sound{std::make_shared<PulseSoundCapture>(owner, configuration.sampleRate,
                                                        static_cast<std::uint32_t>(configuration.channelCount)),
                    owner, configuration.sampleRate, configuration.channelCount};
        soundWatch_->streamHasSound();
        return sound;
    } catch (const PulseError& error) {
        soundWatch_->streamLacksSound(soundProblemText(error),
                                      dynamic_cast<const PulseUnreachable*>(&error) != nullptr);
        throw ScreenCaptureError(error.what());
    }
}

void X11CaptureStream::refreshSound() {
    std::unique_lock lock(mutex_);
    if (!running_) return;
    const ContentFilter filter = filter_;
    const StreamConfiguration configuration = configuration_;
    const Sound current = sound_;
    lock.unlock();
    Sound next;
    try {
        next = soundFor(filter, configuration, current);
    } catch (const ScreenCaptureError&) {
        // The sound ends; the pictures go on.
    }
    lock.lock();
    if (!running_) return;
    const bool wasSilent = !sound_.capture;
    sound_ = std::move(next);
    if (wasSilent && sound_.capture && audioOutput_) {
        audioPacing_.start(clock_.monotonicNow(), soundDelaySeconds);
        scheduleAudioLocked();
    }
}

void X11CaptureStream::scheduleSoundRetryLocked() {
    soundRetryTimer_ = clock_.schedule(audioOutput_->executor, soundRetrySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->retrySound();
    });
}

void X11CaptureStream::retrySound() {
    refreshSound();
    std::lock_guard lock(mutex_);
    if (running_ && audioOutput_ && !sound_.capture && configuration_.capturesAudio) scheduleSoundRetryLocked();
}

void X11CaptureStream::scheduleFrameLocked(double delaySeconds) {
    nextFrameTime_ = clock_.monotonicNow() + delaySeconds;
    frameTimer_ = clock_.schedule(screenOutput_->executor, delaySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->captureFrame();
    });
}

Yuv420PicturePool& X11CaptureStream::picturePoolLocked(const StreamConfiguration& configuration) {
    const auto width = static_cast<int>(configuration.width);
    const auto height = static_cast<int>(configuration.height);
    if (!picturePool_ || picturePool_->width() != width || picturePool_->height() != height) {
        picturePool_.emplace(width, height, encoderPicturesInUse);
    }
    return *picturePool_;
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

void X11CaptureStream::scheduleAudioLocked(double atLeast) {
    audioTimer_ =
        clock_.schedule(audioOutput_->executor, std::max(audioPacing_.untilNext(clock_.monotonicNow()), atLeast),
                        [weak = weak_from_this()] {
                            if (auto self = weak.lock()) self->captureAudio();
                        });
}

void X11CaptureStream::captureAudio() {
    std::unique_lock lock(mutex_);
    if (!running_ || !audioOutput_ || !sound_.capture) return;
    const Sound sound = sound_;
    const AudioOutput output = audioOutput_->handler;
    const bool soundAlone = !screenOutput_;
    const AudioBufferPacing pacing = audioPacing_;
    const double now = clock_.monotonicNow();
    const auto due = audioPacing_.take(now);
    scheduleAudioLocked();
    lock.unlock();

    if (auto failure = sound.capture->failure()) {
        if (soundAlone) return stopWithError(ScreenCaptureError(*failure));
        soundWatch_->streamLacksSound(*failure, false);
        // The pictures go on without sound until the server is back.
        lock.lock();
        if (sound_.capture != sound.capture) return;
        sound_ = Sound{};
        audioTimer_.cancel();
        scheduleSoundRetryLocked();
        return;
    }
    const auto channels = static_cast<std::uint32_t>(sound.channelCount);
    const PcmAudioFormat format{static_cast<double>(sound.sampleRate), channels, PcmSampleFormat::float32, true};
    for (std::int64_t buffer = due.first; buffer < due.end; ++buffer) {
        const std::int64_t frames = AudioBufferPacing::firstFrame(buffer + 1, sound.sampleRate) -
                                    AudioBufferPacing::firstFrame(buffer, sound.sampleRate);
        if (now < pacing.dueAt(buffer) + soundLateBoundSeconds && sound.capture->lagging(frames)) {
            lock.lock();
            // Unless an update started the sound anew meanwhile.
            if (running_ && sound_.capture == sound.capture && audioPacing_.next() == due.end) {
                audioPacing_.giveBack(buffer);
                audioTimer_.cancel();
                scheduleAudioLocked(lateSoundPollSeconds);
            }
            return;
        }
        const std::vector<float> samples = sound.capture->take(frames);
        std::vector<std::uint8_t> bytes(samples.size() * sizeof(float));
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        output(CapturedAudioSample{PcmAudioBuffer{format, frames, {std::move(bytes)}}, pacing.time(buffer)});
    }
}

void X11CaptureStream::stopWithError(const ScreenCaptureError& error) {
    Sound sound;
    {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        running_ = false;
        frameTimer_.cancel();
        audioTimer_.cancel();
        soundRetryTimer_.cancel();
        sound = std::exchange(sound_, Sound{});
    }
    sound = Sound{};
    releaseSource();
    if (onStop_) onStop_(error);
}

}  // namespace zentrabo::platform
