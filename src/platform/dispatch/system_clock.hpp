#pragma once
// The real clock: wall time from the system, timers on Asio steady timers.
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class SystemClock final : public Clock {
public:
    Date now() const override;
    double monotonicNow() const override;
    void sleep(double seconds) override;

protected:
    std::shared_ptr<detail::TimerEntry> start(const asio::any_io_executor& executor, double delaySeconds,
                                              std::function<void()> handler) override;
};

}  // namespace zentrabo::platform
