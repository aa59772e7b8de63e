#pragma once
// One buffer of captured sound and the capture clock's time of its first
// frame, as the audio encoder takes it.
#include <chrono>

#include "platform/media/pcm_audio.hpp"

namespace zentrabo {

struct CapturedAudioBuffer {
    platform::PcmAudioBuffer audio;
    std::chrono::nanoseconds presentationTime{0};
};

}  // namespace zentrabo
