#include "platform/desktop/pulse/stream_sound.hpp"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/desktop/pulse/pulse_server_check.hpp"
#include "platform/desktop/pulse/pulse_sound_capture.hpp"
#include "platform/desktop/sound_server_watch.hpp"

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

std::optional<SoundRequest> soundRequestFor(const StreamConfiguration& configuration, std::optional<ProcessID> owner) {
    if (!configuration.capturesAudio) return std::nullopt;
    return SoundRequest{owner, configuration.sampleRate, configuration.channelCount};
}

StreamSound::StreamSound(Clock& clock, std::shared_ptr<SoundServerWatch> watch)
    : clock_(clock), watch_(std::move(watch)) {}

StreamSound::~StreamSound() = default;

void StreamSound::addOutput(asio::any_io_executor executor, CaptureStream::AudioOutput output) {
    std::lock_guard lock(mutex_);
    if (output_) throw ScreenCaptureError("The stream already has an audio output.");
    executor_ = std::move(executor);
    output_ = std::move(output);
    if (running_ && heard_.capture) scheduleBuffersLocked();
}

void StreamSound::accompanyPictures() {
    std::lock_guard lock(mutex_);
    withPictures_ = true;
}

StreamSound::Heard StreamSound::heardFor(const std::optional<SoundRequest>& request, const Heard& current) {
    if (!request) return Heard{};
    if (current.capture && current.request == *request) return current;
    try {
        Heard heard{std::make_shared<PulseSoundCapture>(request->owner, request->sampleRate,
                                                        static_cast<std::uint32_t>(request->channelCount)),
                    *request};
        watch_->streamHasSound();
        return heard;
    } catch (const PulseError& error) {
        watch_->streamLacksSound(soundProblemText(error), dynamic_cast<const PulseUnreachable*>(&error) != nullptr);
        throw ScreenCaptureError(error.what());
    }
}

void StreamSound::start(std::optional<SoundRequest> request, LossHandler onLost) {
    Heard heard = heardFor(request, Heard{});
    std::lock_guard lock(mutex_);
    running_ = true;
    onLost_ = std::move(onLost);
    request_ = std::move(request);
    heard_ = std::move(heard);
    pacing_.start(clock_.monotonicNow(), soundDelaySeconds);
    if (output_ && heard_.capture) scheduleBuffersLocked();
}

void StreamSound::change(const RequestOf& requestOf) {
    std::optional<SoundRequest> request;
    try {
        request = requestOf();
    } catch (const ScreenCaptureError&) {
        // The sound ends; the pictures go on.
    }
    changeTo(std::move(request));
}

void StreamSound::changeTo(std::optional<SoundRequest> request) {
    std::unique_lock lock(mutex_);
    if (!running_) return;
    request_ = request;
    const Heard current = heard_;
    lock.unlock();
    Heard next;
    try {
        next = heardFor(request, current);
    } catch (const ScreenCaptureError&) {
        // The sound ends; the pictures go on.
    }
    lock.lock();
    // Unless a later change or a stop came meanwhile.
    if (!running_ || request_ != request) return;
    const bool wasSilent = !heard_.capture;
    heard_ = std::move(next);
    if (wasSilent && heard_.capture && output_) {
        pacing_.start(clock_.monotonicNow(), soundDelaySeconds);
        scheduleBuffersLocked();
    }
}

void StreamSound::stop() {
    Heard heard;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        bufferTimer_.cancel();
        retryTimer_.cancel();
        heard = std::exchange(heard_, Heard{});
    }
    // The recording ends here, outside the lock, unless a buffer being
    // handed out still holds it.
    heard = Heard{};
}

void StreamSound::scheduleRetryLocked() {
    retryTimer_ = clock_.schedule(*executor_, retrySeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->retry();
    });
}

void StreamSound::retry() {
    std::unique_lock lock(mutex_);
    const auto request = request_;
    lock.unlock();
    changeTo(request);
    lock.lock();
    if (running_ && output_ && !heard_.capture && request_) scheduleRetryLocked();
}

void StreamSound::scheduleBuffersLocked(double atLeast) {
    bufferTimer_ = clock_.schedule(*executor_, std::max(pacing_.untilNext(clock_.monotonicNow()), atLeast),
                                   [weak = weak_from_this()] {
                                       if (auto self = weak.lock()) self->handOutBuffers();
                                   });
}

void StreamSound::handOutBuffers() {
    std::unique_lock lock(mutex_);
    if (!running_ || !output_ || !heard_.capture) return;
    const Heard heard = heard_;
    const CaptureStream::AudioOutput output = output_;
    const LossHandler onLost = withPictures_ ? LossHandler{} : onLost_;
    const AudioBufferPacing pacing = pacing_;
    const double now = clock_.monotonicNow();
    const auto due = pacing_.take(now);
    scheduleBuffersLocked();
    lock.unlock();

    if (auto failure = heard.capture->failure()) {
        if (onLost) return onLost(ScreenCaptureError(*failure));
        watch_->streamLacksSound(*failure, false);
        // The pictures go on without sound until the server is back.
        lock.lock();
        if (heard_.capture != heard.capture) return;
        heard_ = Heard{};
        bufferTimer_.cancel();
        scheduleRetryLocked();
        return;
    }
    const std::int32_t rate = heard.request.sampleRate;
    const PcmAudioFormat format{static_cast<double>(rate), static_cast<std::uint32_t>(heard.request.channelCount),
                                PcmSampleFormat::float32, true};
    for (std::int64_t buffer = due.first; buffer < due.end; ++buffer) {
        const std::int64_t frames =
            AudioBufferPacing::firstFrame(buffer + 1, rate) - AudioBufferPacing::firstFrame(buffer, rate);
        if (now < pacing.dueAt(buffer) + soundLateBoundSeconds && heard.capture->lagging(frames)) {
            lock.lock();
            // Unless an update started the sound anew meanwhile.
            if (running_ && heard_.capture == heard.capture && pacing_.next() == due.end) {
                pacing_.giveBack(buffer);
                bufferTimer_.cancel();
                scheduleBuffersLocked(lateSoundPollSeconds);
            }
            return;
        }
        const std::vector<float> samples = heard.capture->take(frames);
        std::vector<std::uint8_t> bytes(samples.size() * sizeof(float));
        std::memcpy(bytes.data(), samples.data(), bytes.size());
        output(CapturedAudioSample{PcmAudioBuffer{format, frames, {std::move(bytes)}}, pacing.time(buffer)});
    }
}

}  // namespace zentrabo::platform
