#pragma once
// Every delay, timer and blocking wait of the program goes through one injected
// Clock, so tests can drive time by hand instead of waiting for it.
#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "platform/dispatch/date.hpp"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace zentrabo::platform {

namespace detail {

// Shared by a timer handle and the clock that fires it. The handler runs at
// most once; once cancel() has returned it no longer starts (one that is
// already running on another thread finishes).
class TimerEntry {
public:
    explicit TimerEntry(std::function<void()> handler);
    virtual ~TimerEntry() = default;
    TimerEntry(const TimerEntry&) = delete;
    TimerEntry& operator=(const TimerEntry&) = delete;

    // Runs the handler unless the entry was cancelled or already fired.
    void fire();
    void cancel();
    // True once the handler has run or been cancelled.
    bool isFinished() const;

protected:
    // Lets a clock release what it holds for the entry (an Asio timer).
    virtual void onCancel() {}

private:
    // Marks the entry finished and hands out its handler; none when it had
    // finished already, so the handler runs or is dropped exactly once.
    std::optional<std::function<void()>> finish();

    mutable std::mutex mutex_;
    bool done_ = false;
    std::function<void()> handler_;
};

}  // namespace detail

// A scheduled handler. Destroying or cancelling the handle stops it from
// running; a handle that has been moved from does nothing. Like any Asio
// timer, a handle must not outlive the execution context of its executor.
class [[nodiscard]] Timer {
public:
    Timer() = default;
    explicit Timer(std::shared_ptr<detail::TimerEntry> entry);
    ~Timer();
    Timer(Timer&& other) noexcept = default;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void cancel();

private:
    std::shared_ptr<detail::TimerEntry> entry_;
};

class Clock {
public:
    // Answers the next moment (on the monotonic scale) at which something
    // outside the clock, such as the desktop model, has an event due.
    using NextDueHook = std::function<std::optional<double>()>;

    virtual ~Clock() = default;

    // Current wall time.
    virtual Date now() const = 0;
    // Seconds on a scale that never goes backwards; only differences matter.
    virtual double monotonicNow() const = 0;

    // Runs handler on executor once delaySeconds have passed on this clock.
    // A negative or NaN delay counts as zero.
    Timer schedule(const asio::any_io_executor& executor, double delaySeconds, std::function<void()> handler);
    // Work after a delay that nobody cancels.
    void postAfter(const asio::any_io_executor& executor, double delaySeconds, std::function<void()> handler);
    // The awaitable form of schedule: resumes the awaiting coroutine on its
    // own executor once delaySeconds have passed. When the coroutine's
    // cancellation slot fires first, the timer is cancelled and the wait
    // ends with asio::error::operation_aborted (thrown).
    asio::awaitable<void> delay(double delaySeconds);
    // The watchdog of a race against work with operator||: true once
    // delaySeconds have passed, false as soon as the cancellation slot fires
    // because the work won. Unlike delay it throws nothing then, so a race
    // that the work wins, the usual case, costs no exception.
    asio::awaitable<bool> watch(double delaySeconds);

    // Blocking waits of code that waits on the calling thread. With a real
    // clock they sleep; with a manual clock they advance it by their own step.
    virtual void sleep(double seconds) = 0;
    // Waits for up to limitSeconds, shorter when the next-due hook names an
    // earlier moment; never runs any executor's handlers.
    void runLoopTurn(double limitSeconds);

    void setNextDueHook(NextDueHook hook);

protected:
    // Starts entry so that its fire() runs on executor after delaySeconds
    // (already clamped to zero or more).
    virtual std::shared_ptr<detail::TimerEntry> start(const asio::any_io_executor& executor, double delaySeconds,
                                                      std::function<void()> handler) = 0;

private:
    std::mutex hookMutex_;
    NextDueHook nextDueHook_;
};

}  // namespace zentrabo::platform
