#include "platform/dispatch/system_clock.hpp"

#include <asio/steady_timer.hpp>

#include <algorithm>
#include <chrono>
#include <thread>

namespace zentrabo::platform {

namespace {

// Longer waits are cut to about 30 years, which no caller asks for and which
// keeps the conversion from overflowing.
constexpr double longestWaitSeconds = 1e9;

std::chrono::steady_clock::duration toDuration(double seconds) {
    seconds = std::min(seconds, longestWaitSeconds);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// Keeps the Asio timer beside the handler so cancelling releases the wait at
// once instead of when it would have expired. The timer is touched only under
// the entry's own mutex: Asio timers are not safe for concurrent calls.
class SteadyTimerEntry final : public detail::TimerEntry {
public:
    SteadyTimerEntry(const asio::any_io_executor& executor, std::function<void()> handler)
        : TimerEntry(std::move(handler)), timer_(executor) {}

    static void arm(const std::shared_ptr<SteadyTimerEntry>& entry, double delaySeconds) {
        std::lock_guard lock(entry->timerMutex_);
        entry->timer_.expires_after(toDuration(delaySeconds));
        entry->timer_.async_wait([entry](const std::error_code& error) {
            if (!error) entry->fire();
        });
    }

protected:
    void onCancel() override {
        std::lock_guard lock(timerMutex_);
        timer_.cancel();
    }

private:
    std::mutex timerMutex_;
    asio::steady_timer timer_;
};

}  // namespace

Date SystemClock::now() const {
    const auto sinceUnixEpoch = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch());
    return Date::fromUnixSeconds(sinceUnixEpoch.count());
}

double SystemClock::monotonicNow() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleep(double seconds) {
    if (seconds > 0) std::this_thread::sleep_for(toDuration(seconds));
}

std::shared_ptr<detail::TimerEntry> SystemClock::start(const asio::any_io_executor& executor, double delaySeconds,
                                                       std::function<void()> handler) {
    auto entry = std::make_shared<SteadyTimerEntry>(executor, std::move(handler));
    SteadyTimerEntry::arm(entry, delaySeconds);
    return entry;
}

}  // namespace zentrabo::platform
