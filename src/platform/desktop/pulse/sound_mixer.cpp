#include "platform/desktop/pulse/sound_mixer.hpp"

#include <algorithm>
#include <stdexcept>

namespace zentrabo::platform {

SoundMixer::SoundMixer(std::uint32_t channels, std::int64_t maximumFrames, std::int64_t keptFrames)
    : channels_(channels),
      maximumSamples_(static_cast<std::size_t>(std::max<std::int64_t>(maximumFrames, 1)) * channels),
      keptSamples_(static_cast<std::size_t>(std::clamp<std::int64_t>(keptFrames, 0, maximumFrames)) * channels) {
    if (channels == 0) throw std::invalid_argument("A mixer needs at least one channel.");
}

void SoundMixer::append(std::uint32_t source, std::span<const float> samples) {
    const std::size_t whole = samples.size() - samples.size() % channels_;
    std::lock_guard lock(mutex_);
    auto& queue = queues_[source];
    const std::size_t dropped = std::min(queue.owed, whole);
    queue.owed -= dropped;
    queue.samples.insert(queue.samples.end(), samples.begin() + static_cast<std::ptrdiff_t>(dropped),
                         samples.begin() + static_cast<std::ptrdiff_t>(whole));
    if (queue.samples.size() > maximumSamples_) {
        queue.samples.erase(queue.samples.begin(), queue.samples.end() - static_cast<std::ptrdiff_t>(keptSamples_));
    }
}

void SoundMixer::removeSource(std::uint32_t source) {
    std::lock_guard lock(mutex_);
    queues_.erase(source);
}

std::vector<float> SoundMixer::take(std::int64_t frames) {
    std::vector<float> mixed(static_cast<std::size_t>(std::max<std::int64_t>(frames, 0)) * channels_, 0.0f);
    {
        std::lock_guard lock(mutex_);
        for (auto& [source, queue] : queues_) {
            const std::size_t count = std::min(queue.samples.size(), mixed.size());
            for (std::size_t index = 0; index < count; ++index) mixed[index] += queue.samples[index];
            queue.samples.erase(queue.samples.begin(), queue.samples.begin() + static_cast<std::ptrdiff_t>(count));
            // At most two takes' worth: one short, then one empty, after
            // which the source counts as quiet.
            if (queue.heard) queue.owed += mixed.size() - count;
            queue.heard = count > 0;
        }
    }
    for (float& sample : mixed) sample = std::clamp(sample, -1.0f, 1.0f);
    return mixed;
}

bool SoundMixer::lagging(std::int64_t frames) {
    const std::size_t wanted = static_cast<std::size_t>(std::max<std::int64_t>(frames, 0)) * channels_;
    std::lock_guard lock(mutex_);
    return std::any_of(queues_.begin(), queues_.end(),
                       [&](const auto& entry) { return entry.second.heard && entry.second.samples.size() < wanted; });
}

}  // namespace zentrabo::platform
