#pragma once
// A result that one thread blocks for while another thread, a task or a
// completion handler produces it, bounded by a deadline on the clock. The
// deadline fires on an executor other than the waiting thread's, so a wait
// that is never answered ends when that clock's time has passed, real or
// manual. Shared by the waiter and the producer: a producer that answers
// after the waiter gave up finds the box still there and learns that its
// result was not taken, so it knows the result is its own to dispose of.
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <asio/any_io_executor.hpp>

#include "platform/dispatch/clock.hpp"

namespace zentrabo {

template <class T>
class BoundedResult {
public:
    // The deadline starts now, before the work that answers is started, so
    // an answer that comes at once is never late.
    static std::shared_ptr<BoundedResult> arm(platform::Clock& clock, const asio::any_io_executor& deadlineExecutor,
                                              double seconds) {
        auto box = std::shared_ptr<BoundedResult>(new BoundedResult);
        box->deadline_ = clock.schedule(deadlineExecutor, seconds, [weakBox = std::weak_ptr<BoundedResult>(box)] {
            if (auto owner = weakBox.lock()) owner->expire();
        });
        return box;
    }

    // From the producer, once. True when the waiter takes the value; false
    // when it had already given up, so the value stays the caller's.
    bool complete(T value) { return settle(std::move(value), nullptr); }
    bool fail(std::exception_ptr failure) { return settle(std::nullopt, std::move(failure)); }

    // From the waiter, once: the value, none when the deadline passed first
    // (every later answer is refused), or the failure rethrown.
    std::optional<T> wait() {
        std::optional<T> value;
        std::exception_ptr failure;
        {
            std::unique_lock guard(mutex_);
            answered_.wait(guard, [this] { return isSettled_ || isExpired_; });
            if (!isSettled_) {
                gaveUp_ = true;
            } else {
                value = std::move(value_);
                failure = std::move(failure_);
            }
        }
        // The deadline must not outlive its executor; the box may, held by
        // a producer that never answers.
        deadline_.cancel();
        if (failure) std::rethrow_exception(failure);
        return value;
    }

private:
    BoundedResult() = default;

    bool settle(std::optional<T> value, std::exception_ptr failure) {
        {
            std::lock_guard guard(mutex_);
            if (gaveUp_ || isSettled_) return false;
            isSettled_ = true;
            value_ = std::move(value);
            failure_ = std::move(failure);
        }
        answered_.notify_all();
        return true;
    }

    void expire() {
        {
            std::lock_guard guard(mutex_);
            isExpired_ = true;
        }
        answered_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable answered_;
    bool isSettled_ = false;
    bool isExpired_ = false;
    bool gaveUp_ = false;
    std::optional<T> value_;
    std::exception_ptr failure_;
    // Armed and cancelled by the waiter's thread only.
    platform::Timer deadline_;
};

}  // namespace zentrabo
