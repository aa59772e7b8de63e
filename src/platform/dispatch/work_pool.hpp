#pragma once
// Pools for blocking work that must never hold up the main loop or a timer.
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

#include "platform/dispatch/context_threads.hpp"

namespace zentrabo::platform {

// A fixed number of threads, each named.
class WorkPool {
public:
    WorkPool(std::string name, std::size_t threadCount);
    // Waits for the handlers already posted.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void post(std::function<void()> handler);
    asio::io_context::executor_type executor() { return threads_.context().get_executor(); }

private:
    ContextThreads threads_;
};

// Starts a thread whenever every thread it has is busy, up to a bound, so one
// handler stuck on a slow file system never delays the next. Threads once
// started stay for the life of the pool. Destruction stops the threads after
// the handlers running now; handlers still queued are dropped. It must not
// happen on one of the pool's threads.
class GrowingWorkPool {
public:
    static constexpr std::size_t defaultMaximumThreadCount = 64;

    explicit GrowingWorkPool(std::string name, std::size_t maximumThreadCount = defaultMaximumThreadCount);

    void post(std::function<void()> handler);
    std::size_t threadCount() const;

private:
    void finishedOne();

    std::size_t maximumThreadCount_;
    mutable std::mutex mutex_;
    std::size_t unfinished_ = 0;  // queued or running
    // Declared last, so its threads stop before the members that their
    // handlers use are gone.
    ContextThreads threads_;
};

}  // namespace zentrabo::platform
