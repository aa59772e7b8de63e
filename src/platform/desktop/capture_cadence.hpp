#pragma once
// What every backend's capture stream does alike between two frames: when
// the next frame is due, and how many delivered frames are still held
// downstream.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

namespace zentrabo::platform {

// Seconds from now until the frame after the one that was due at `due`: a
// steady cadence, where a frame that comes late moves the next one on (at
// least half an interval away) rather than bunching frames up to catch up.
inline double nextFrameDelay(double due, double now, double interval) {
    return std::max(due + interval, now + interval * 0.5) - now;
}

// The frames a stream has delivered that its consumer still holds: while
// queueDepth are held, new frames are skipped. A hold ends when the last
// copy of its token is gone, on whatever thread that is.
class HeldFrames {
public:
    bool full(std::int32_t queueDepth) const { return count_->load() >= queueDepth; }
    std::shared_ptr<const void> hold() {
        count_->fetch_add(1);
        return std::shared_ptr<const void>(nullptr, [count = count_](const void*) { count->fetch_sub(1); });
    }

private:
    std::shared_ptr<std::atomic<std::int32_t>> count_ = std::make_shared<std::atomic<std::int32_t>>(0);
};

}  // namespace zentrabo::platform
