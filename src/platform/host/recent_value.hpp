#pragma once
// A value of the system (the computer's name, its address) that every reply
// carries but that rarely changes: looked up again only when the last look-up
// is older than a given age, so a busy server asks the system about once a
// second instead of once a request. Safe to use from any thread.
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace zentrabo::platform {

template <class Value>
class RecentValue {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    RecentValue(std::function<Value()> lookUp, Clock::duration maximumAge, Now now = &Clock::now)
        : lookUp_(std::move(lookUp)), maximumAge_(maximumAge), now_(std::move(now)) {}

    RecentValue(const RecentValue&) = delete;
    RecentValue& operator=(const RecentValue&) = delete;

    Value get() {
        const auto now = now_();
        {
            const std::lock_guard guard(mutex_);
            if (value_ && now - lookedUpAt_ < maximumAge_) return *value_;
        }
        // Looked up outside the lock: a slow system call holds no other caller.
        Value fresh = lookUp_();
        const std::lock_guard guard(mutex_);
        value_ = fresh;
        lookedUpAt_ = now;
        return fresh;
    }

private:
    std::function<Value()> lookUp_;
    Clock::duration maximumAge_;
    Now now_;
    std::mutex mutex_;
    std::optional<Value> value_;
    Clock::time_point lookedUpAt_{};
};

// How old the computer's name and address in a reply may be.
inline constexpr std::chrono::seconds recentHostFactsAge{1};

}  // namespace zentrabo::platform
