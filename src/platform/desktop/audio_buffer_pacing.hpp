#pragma once
// The 10 ms sound buffers of a capture on its clock: buffer n holds the
// sound from start + n * 10 ms on, is complete 10 ms later and is handed out
// `delay` after that. Buffers that fell due while nobody asked follow at
// once, up to a second of them; older ones are skipped, so a stalled
// consumer loses sound instead of meeting a pile of it.
#include <chrono>
#include <cstdint>

namespace zentrabo::platform {

class AudioBufferPacing {
public:
    static constexpr std::int64_t buffersPerSecond = 100;
    static constexpr std::int64_t maximumLateBuffers = buffersPerSecond;

    // Starts counting at now, on the clock's monotonic scale, in seconds.
    void start(double now, double delay = 0);
    // The buffers to hand out now, [first, end); first == end when none.
    struct Due {
        std::int64_t first = 0;
        std::int64_t end = 0;
    };
    Due take(double now);
    // Seconds from now until the next buffer is due; 0 when one is.
    double untilNext(double now) const;
    // When the buffer is due, on the clock's scale.
    double dueAt(std::int64_t buffer) const;
    // Hands the buffers from this one on out again at the next take; only
    // buffers of the last take can be given back.
    void giveBack(std::int64_t buffer);
    // The first buffer not handed out yet.
    std::int64_t next() const { return done_; }

    // The buffer's first frame at that rate, counted from the start; whole
    // frames, so buffers of a rate that is no multiple of 100 still meet.
    static std::int64_t firstFrame(std::int64_t buffer, std::int64_t rate) { return buffer * rate / buffersPerSecond; }
    // When the buffer's sound begins, on the clock's scale.
    std::chrono::nanoseconds time(std::int64_t buffer) const;

private:
    double start_ = 0;
    double delay_ = 0;
    std::int64_t done_ = 0;
};

}  // namespace zentrabo::platform
