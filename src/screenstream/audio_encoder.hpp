#pragma once
// What a stream session needs of its audio encoder. The session calls every
// member on its encoder queue, one call at a time, and lets the encoder go
// there too: an audio converter must never be used from two threads.
#include "platform/desktop/capture_stream.hpp"

namespace zentrabo {

class AudioEncoder {
public:
    virtual ~AudioEncoder() = default;

    // Sends the buffer's frames through the callback the encoder was made
    // with. Throws what made the buffer unusable; the next one is tried afresh.
    virtual void encode(const platform::CapturedAudioSample& buffer) = 0;
    // Back to the state before the first buffer, converter freed; the
    // sequence numbers go on.
    virtual void reset() = 0;
};

}  // namespace zentrabo
