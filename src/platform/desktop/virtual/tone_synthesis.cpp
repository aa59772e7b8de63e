#include "platform/desktop/virtual/tone_synthesis.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace zentrabo::platform {

namespace {

// Stores one sample, in [-1, 1], in the format's representation.
void storeSample(std::uint8_t* destination, double value, PcmSampleFormat format) {
    const auto store = [destination](auto sample) { std::memcpy(destination, &sample, sizeof sample); };
    switch (format) {
    case PcmSampleFormat::int16:
        store(static_cast<std::int16_t>(std::lround(value * std::numeric_limits<std::int16_t>::max())));
        break;
    case PcmSampleFormat::int32:
        store(static_cast<std::int32_t>(std::llround(value * std::numeric_limits<std::int32_t>::max())));
        break;
    case PcmSampleFormat::float32:
        store(static_cast<float>(value));
        break;
    case PcmSampleFormat::float64:
        store(value);
        break;
    }
}

}  // namespace

PcmAudioBuffer synthesizeTones(const std::vector<ScenarioTone>& tones, std::int64_t firstFrame, std::int64_t frameCount,
                               const PcmAudioFormat& format) {
    PcmAudioBuffer buffer;
    buffer.format = format;
    buffer.frameCount = frameCount;
    const std::size_t channels = format.channelCount;
    const std::size_t sampleBytes = bytesPerSample(format.sampleFormat);
    const std::size_t frames = static_cast<std::size_t>(std::max<std::int64_t>(frameCount, 0));
    if (format.isInterleaved) {
        buffer.planes.assign(1, std::vector<std::uint8_t>(frames * channels * sampleBytes));
    } else {
        buffer.planes.assign(channels, std::vector<std::uint8_t>(frames * sampleBytes));
    }
    std::vector<double> mixed(channels);
    for (std::size_t index = 0; index < frames; ++index) {
        std::fill(mixed.begin(), mixed.end(), 0.0);
        const double frame = static_cast<double>(firstFrame) + static_cast<double>(index);
        for (const auto& tone : tones) {
            // The phase from whole cycles dropped, so it stays exact however
            // long the capture runs.
            const double cycles = std::fmod(tone.frequency * frame / format.sampleRate, 1.0);
            const double value = tone.level * std::sin(2 * std::numbers::pi * cycles);
            const std::size_t audible = channels == 1 ? 1 : std::min<std::size_t>(tone.channelCount, channels);
            for (std::size_t channel = 0; channel < audible; ++channel) mixed[channel] += value;
        }
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const double value = std::clamp(mixed[channel], -1.0, 1.0);
            std::uint8_t* destination = format.isInterleaved
                                            ? buffer.planes[0].data() + (index * channels + channel) * sampleBytes
                                            : buffer.planes[channel].data() + index * sampleBytes;
            storeSample(destination, value, format.sampleFormat);
        }
    }
    return buffer;
}

}  // namespace zentrabo::platform
