#pragma once
// Turns PCM audio of one input format into interleaved signed 16-bit
// little-endian samples at the input's own rate (no resampling), mixed down
// or up to the channel count asked for. Not thread-safe: one thread uses a
// converter at a time.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/media/av_handles.hpp"
#include "platform/media/pcm_audio.hpp"

namespace zentrabo::platform {

class Pcm16AudioConverter {
public:
    // Throws MediaError when the library cannot convert these formats: a rate
    // that is not a whole number of hertz within its range, no channels or
    // more than it mixes.
    Pcm16AudioConverter(const PcmAudioFormat& input, int outputChannelCount);

    const PcmAudioFormat& inputFormat() const { return input_; }
    int outputChannelCount() const { return outputChannelCount_; }

    // Converts one buffer of the input format in a single pass and returns
    // the samples, valid until the next call; empty when the library held
    // every frame back. Throws std::invalid_argument for a buffer of another
    // format or one that does not hold its frames, and MediaError when the
    // conversion fails.
    std::span<const std::uint8_t> convert(const PcmAudioBuffer& buffer);

private:
    PcmAudioFormat input_;
    int outputChannelCount_;
    SwrContextPtr context_;
    std::vector<const std::uint8_t*> inputPlanes_;
    std::vector<std::uint8_t> output_;
};

}  // namespace zentrabo::platform
