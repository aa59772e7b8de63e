#include "platform/dispatch/manual_clock.hpp"

#include <asio/post.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace zentrabo::platform {

// Holds its executor until it is posted or cancelled: a cancelled entry
// lets go of it at once, since a strand's executor must not outlive its
// context, which may go long before the clock.
class ManualClock::Entry final : public detail::TimerEntry {
public:
    Entry(std::function<void()> handler, asio::any_io_executor executor)
        : TimerEntry(std::move(handler)), executor_(std::move(executor)) {}

    // The executor to post to; none once cancelled.
    std::optional<asio::any_io_executor> takeExecutor() {
        std::lock_guard lock(executorMutex_);
        return std::exchange(executor_, std::nullopt);
    }

protected:
    void onCancel() override { takeExecutor(); }

private:
    std::mutex executorMutex_;
    std::optional<asio::any_io_executor> executor_;
};

ManualClock::ManualClock(Date start) : startDate_(start) {}

Date ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return startDate_ + elapsed_;
}

double ManualClock::monotonicNow() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

void ManualClock::sleep(double seconds) { advance(seconds); }

void ManualClock::advance(double seconds) {
    if (std::isnan(seconds) || seconds < 0) seconds = 0;
    double target = 0;
    {
        std::lock_guard lock(mutex_);
        target = elapsed_ + seconds;
    }
    // One entry at a time, so the lock is never held while posting and entries
    // scheduled meanwhile (from another thread) still fire in due order.
    for (;;) {
        std::shared_ptr<Entry> next;
        {
            std::lock_guard lock(mutex_);
            auto first = pending_.begin();
            if (first == pending_.end() || first->first.first > target) {
                elapsed_ = std::max(elapsed_, target);
                return;
            }
            elapsed_ = std::max(elapsed_, first->first.first);
            next = std::move(first->second);
            pending_.erase(first);
        }
        if (auto executor = next->takeExecutor()) {
            asio::post(*executor, [entry = std::move(next)] { entry->fire(); });
        }
    }
}

std::size_t ManualClock::pendingCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(pending_.begin(), pending_.end(), [](const auto& item) { return !item.second->isFinished(); }));
}

std::shared_ptr<detail::TimerEntry> ManualClock::start(const asio::any_io_executor& executor, double delaySeconds,
                                                       std::function<void()> handler) {
    if (delaySeconds <= 0) {
        // Already due, as an expired Asio timer would be.
        auto entry = std::make_shared<detail::TimerEntry>(std::move(handler));
        asio::post(executor, [entry] { entry->fire(); });
        return entry;
    }
    auto entry = std::make_shared<Entry>(std::move(handler), executor);
    std::lock_guard lock(mutex_);
    pending_.emplace(std::make_pair(elapsed_ + delaySeconds, nextSequence_++), entry);
    return entry;
}

}  // namespace zentrabo::platform
