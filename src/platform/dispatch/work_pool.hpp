#pragma once
// Pools for blocking work that must never hold up the main loop or a timer.
#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/thread_pool.hpp>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentrabo::platform {

// A fixed number of threads.
class WorkPool {
public:
    explicit WorkPool(std::size_t threadCount);
    // Waits for the handlers already posted.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    void post(std::function<void()> handler);
    asio::thread_pool::executor_type executor() { return pool_.get_executor(); }

private:
    asio::thread_pool pool_;
};

// Starts a thread whenever every thread it has is busy, up to a bound, so one
// handler stuck on a slow file system never delays the next. Threads once
// started stay for the life of the pool.
class GrowingWorkPool {
public:
    static constexpr std::size_t defaultMaximumThreadCount = 64;

    explicit GrowingWorkPool(std::string name, std::size_t maximumThreadCount = defaultMaximumThreadCount);
    // Stops the threads after the handlers running now; handlers still queued
    // are dropped. Must not be called from one of the pool's threads.
    ~GrowingWorkPool();
    GrowingWorkPool(const GrowingWorkPool&) = delete;
    GrowingWorkPool& operator=(const GrowingWorkPool&) = delete;

    void post(std::function<void()> handler);
    std::size_t threadCount() const;

private:
    void finishedOne();

    std::string name_;
    std::size_t maximumThreadCount_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> keepAlive_;
    mutable std::mutex mutex_;
    std::size_t unfinished_ = 0;  // queued or running
    std::vector<std::thread> threads_;
};

}  // namespace zentrabo::platform
