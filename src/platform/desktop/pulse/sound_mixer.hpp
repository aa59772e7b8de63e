#pragma once
// Several sound sources mixed into one: each source's interleaved float
// samples wait in a queue of their own until they are taken, and a take
// sums what every source has (silence where one has too little) into a
// buffer of the asked length, clipped to full scale. Every queue is bounded:
// a source that runs ahead of the takes (a sound card whose clock is a little
// faster than ours, or takes that stalled) keeps only its newest samples.
// A source that was heard in the last take and comes up short owes the
// frames filled with silence for it: the late samples that arrive for that
// time are dropped whole, so the sound after them stays in step instead of
// following a beat late. A source that was quiet (nothing in the last take,
// as applications send nothing while silent) owes nothing.
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
    // True when a source heard in the last take has fewer than frames
    // waiting: its samples are late rather than over.
    bool lagging(std::int64_t frames);

    std::uint32_t channels() const { return channels_; }

private:
    const std::uint32_t channels_;
    const std::size_t maximumSamples_;
    const std::size_t keptSamples_;
    std::mutex mutex_;
    struct Queue {
        std::vector<float> samples;
        // Something of it was in the last take.
        bool heard = false;
        // Samples whose time went by as silence, dropped when they come.
        std::size_t owed = 0;
    };
    std::map<std::uint32_t, Queue> queues_;
};

}  // namespace zentrabo::platform
