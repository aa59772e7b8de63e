#pragma once
// A clock that moves only when told to. Advancing it posts every handler that
// became due onto its executor, in order of due time (ties in the order they
// were scheduled); the handlers run when their executor next runs.
#include "platform/dispatch/clock.hpp"

#include <cstdint>
#include <map>
#include <utility>

namespace zentrabo::platform {

class ManualClock final : public Clock {
public:
    // Starts at the given wall time, with the monotonic scale at zero.
    explicit ManualClock(Date start = {});

    Date now() const override;
    double monotonicNow() const override;
    // Advances the clock instead of blocking.
    void sleep(double seconds) override;

    // Moves time forward by seconds (negative or NaN counts as zero) and posts
    // whatever became due on the way.
    void advance(double seconds);

    // Handlers scheduled and neither posted nor cancelled yet.
    std::size_t pendingCount() const;

protected:
    std::shared_ptr<detail::TimerEntry> start(const asio::any_io_executor& executor, double delaySeconds,
                                              std::function<void()> handler) override;

private:
    class Entry;

    mutable std::mutex mutex_;
    Date startDate_;
    double elapsed_ = 0.0;
    std::uint64_t nextSequence_ = 0;
    // Keyed by (due time on the elapsed scale, scheduling sequence).
    std::map<std::pair<double, std::uint64_t>, std::shared_ptr<Entry>> pending_;
};

}  // namespace zentrabo::platform
