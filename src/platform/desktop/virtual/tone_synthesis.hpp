#pragma once
// The virtual desktop's sound: the tones of its applications mixed into the
// buffers a capture with audio delivers, in the sample format asked for.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/desktop/virtual/desktop_scenario.hpp"
#include "platform/media/pcm_audio.hpp"

namespace zentrabo::platform {

// How a capture delivers sound: 32-bit float, one plane a channel, at the
// configured rate unless a test asks for another form.
struct AudioDeliveryFormat {
    PcmSampleFormat sampleFormat = PcmSampleFormat::float32;
    bool isInterleaved = false;
    std::optional<std::int32_t> sampleRate;  // none: the stream's configured rate
    bool operator==(const AudioDeliveryFormat&) const = default;
};

// Frames [firstFrame, firstFrame + frameCount) of the tones, counted from
// the capture's start, at the format's rate and channel count. A tone of one
// channel sounds in the first channel alone, unless the format has only
// one; tones add up, cut at full scale.
PcmAudioBuffer synthesizeTones(const std::vector<ScenarioTone>& tones, std::int64_t firstFrame, std::int64_t frameCount,
                               const PcmAudioFormat& format);

}  // namespace zentrabo::platform
