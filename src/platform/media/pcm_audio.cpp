#include "platform/media/pcm_audio.hpp"

#include <limits>

namespace zentrabo::platform {

std::size_t bytesPerSample(PcmSampleFormat format) {
    switch (format) {
    case PcmSampleFormat::int16:
        return 2;
    case PcmSampleFormat::int32:
    case PcmSampleFormat::float32:
        return 4;
    case PcmSampleFormat::float64:
        return 8;
    }
    return 0;
}

bool PcmAudioBuffer::holdsItsFrames() const {
    const std::size_t planeCount = format.isInterleaved ? 1 : format.channelCount;
    if (frameCount <= 0 || planes.size() != planeCount) return false;
    const std::size_t samplesPerFrame = format.isInterleaved ? format.channelCount : 1;
    const std::size_t bytesPerFrame = samplesPerFrame * bytesPerSample(format.sampleFormat);
    // Checked by division, so a huge frame count cannot wrap the product.
    if (bytesPerFrame != 0 &&
        static_cast<std::uint64_t>(frameCount) > std::numeric_limits<std::size_t>::max() / bytesPerFrame) {
        return false;
    }
    const std::size_t planeBytes = static_cast<std::size_t>(frameCount) * bytesPerFrame;
    for (const auto& plane : planes) {
        if (plane.size() < planeBytes) return false;
    }
    return true;
}

}  // namespace zentrabo::platform
