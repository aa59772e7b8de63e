#pragma once
// The sound a screen stream sent, as a device's player reads it: the frames
// of one kind, the first channel of the 16-bit PCM audio frames, and how
// strongly a tone of a given frequency sounds in it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "screenstream/codec/remote_screen_stream_frame.hpp"

namespace zentrabo::testing {

inline constexpr double kStreamSampleRate = 48000;

inline std::vector<RemoteScreenStreamFrame> framesOfKind(const std::vector<RemoteScreenStreamFrame>& frames,
                                                         RemoteScreenStreamFrameKind kind) {
    std::vector<RemoteScreenStreamFrame> found;
    for (const auto& frame : frames) {
        if (frame.kind == kind) found.push_back(frame);
    }
    return found;
}

// The stream client's audio frames once it has `count` of them or the
// stream ended, waited for up to 10 s.
template <typename StreamClient>
std::vector<RemoteScreenStreamFrame> audioFramesOnceSent(StreamClient& client, std::size_t count) {
    client.waitUntil(
        [&] {
            return client.isClosed() ||
                   framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio).size() >= count;
        },
        std::chrono::seconds(10));
    return framesOfKind(client.frames(), RemoteScreenStreamFrameKind::audio);
}

// The first channel of audio frames [first, end), as -1 ... 1.
inline std::vector<double> firstChannel(const std::vector<RemoteScreenStreamFrame>& audio, std::size_t first,
                                        std::size_t end, std::size_t channels) {
    std::vector<double> samples;
    for (std::size_t index = first; index < end && index < audio.size(); ++index) {
        const auto& payload = audio[index].payload;
        for (std::size_t at = 0; at + 2 * channels <= payload.size(); at += 2 * channels) {
            samples.push_back(static_cast<std::int16_t>(payload[at] | payload[at + 1] << 8) / 32768.0);
        }
    }
    return samples;
}

// The amplitude of one frequency in the samples (Goertzel).
inline double toneLevel(const std::vector<double>& samples, double frequency) {
    if (samples.empty()) return 0;
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / kStreamSampleRate);
    double previous = 0, beforePrevious = 0;
    for (const double sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return 2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(samples.size());
}

// The median of the tone's level over 50 ms windows (a whole number of
// cycles of every frequency in tens of hertz), so one glitch does not decide.
inline double steadyToneLevel(const std::vector<double>& samples, double frequency) {
    constexpr std::size_t window = 2400;
    std::vector<double> levels;
    for (std::size_t at = 0; at + window <= samples.size(); at += window) {
        levels.push_back(toneLevel({samples.begin() + static_cast<std::ptrdiff_t>(at),
                                    samples.begin() + static_cast<std::ptrdiff_t>(at + window)},
                                   frequency));
    }
    if (levels.empty()) return 0;
    std::nth_element(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

}  // namespace zentrabo::testing
