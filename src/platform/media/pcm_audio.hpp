#pragma once
// Uncompressed audio as capture delivers it: a sample format, one plane per
// channel or one interleaved plane, and a count of frames (one sample of
// every channel).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentrabo::platform {

enum class PcmSampleFormat { int16, int32, float32, float64 };

std::size_t bytesPerSample(PcmSampleFormat format);

struct PcmAudioFormat {
    double sampleRate = 0;  // frames per second
    std::uint32_t channelCount = 0;
    PcmSampleFormat sampleFormat = PcmSampleFormat::float32;
    bool isInterleaved = false;

    bool operator==(const PcmAudioFormat&) const = default;
};

struct PcmAudioBuffer {
    PcmAudioFormat format;
    std::int64_t frameCount = 0;
    // One plane a channel, or a single plane when interleaved.
    std::vector<std::vector<std::uint8_t>> planes;

    // Whether there are frames and the planes the format asks for, each long
    // enough to hold them all.
    bool holdsItsFrames() const;
};

}  // namespace zentrabo::platform
