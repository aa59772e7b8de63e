#pragma once
// Several sound sources mixed into one: each source's interleaved float
// samples wait in a queue of their own until they are taken, and a take
// sums what every source has (silence where one has too little) into a
// buffer of the asked length, clipped to full scale. Every queue is bounded:
// a source that runs ahead of the takes (a sound card whose clock is a little
// faster than ours, or takes that stalled) keeps only its newest samples.
// Safe to use from several threads.
#include <cstdint>
#include <map>
#include <mutex>
#include <span>
#include <vector>

namespace zentrabo::platform {

class SoundMixer {
public:
    // A source that holds more than maximumFrames keeps its newest
    // keptFrames; keptFrames is at most maximumFrames.
    SoundMixer(std::uint32_t channels, std::int64_t maximumFrames, std::int64_t keptFrames);

    // Appends whole frames of interleaved samples to the source, which is
    // added when it is new; a trailing partial frame is dropped.
    void append(std::uint32_t source, std::span<const float> samples);
    void removeSource(std::uint32_t source);
    // frames of interleaved samples, mixed from every source's oldest.
    std::vector<float> take(std::int64_t frames);

    std::uint32_t channels() const { return channels_; }

private:
    const std::uint32_t channels_;
    const std::size_t maximumSamples_;
    const std::size_t keptSamples_;
    std::mutex mutex_;
    std::map<std::uint32_t, std::vector<float>> queues_;
};

}  // namespace zentrabo::platform
