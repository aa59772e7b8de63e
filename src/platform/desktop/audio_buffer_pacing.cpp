#include "platform/desktop/audio_buffer_pacing.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo::platform {

namespace {

constexpr double bufferSeconds = 1.0 / AudioBufferPacing::buffersPerSecond;

}  // namespace

void AudioBufferPacing::start(double now, double delay) {
    start_ = now;
    delay_ = delay;
    done_ = 0;
}

AudioBufferPacing::Due AudioBufferPacing::take(double now) {
    // A tiny margin keeps a clock that lands on a buffer's end from missing
    // it by rounding.
    const auto complete = static_cast<std::int64_t>(std::floor((now - delay_ - start_) / bufferSeconds + 1e-6));
    const Due due{std::max(done_, complete - maximumLateBuffers), std::max(done_, complete)};
    done_ = due.end;
    return due;
}

double AudioBufferPacing::untilNext(double now) const { return std::max(dueAt(done_) - now, 0.0); }

double AudioBufferPacing::dueAt(std::int64_t buffer) const {
    return start_ + delay_ + static_cast<double>(buffer + 1) * bufferSeconds;
}

void AudioBufferPacing::giveBack(std::int64_t buffer) { done_ = std::clamp(buffer, std::int64_t{0}, done_); }

std::chrono::nanoseconds AudioBufferPacing::time(std::int64_t buffer) const {
    return std::chrono::nanoseconds(std::llround(start_ * 1e9) + buffer * 1'000'000'000 / buffersPerSecond);
}

}  // namespace zentrabo::platform
