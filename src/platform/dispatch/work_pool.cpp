#include "platform/dispatch/work_pool.hpp"

#include <asio/post.hpp>

#include <algorithm>

namespace zentrabo::platform {

WorkPool::WorkPool(std::string name, std::size_t threadCount)
    : threads_(std::move(name), static_cast<int>(std::max<std::size_t>(threadCount, 1))) {
    for (std::size_t thread = 0; thread < std::max<std::size_t>(threadCount, 1); ++thread) threads_.addThread();
}

WorkPool::~WorkPool() { threads_.finishThreads(); }

void WorkPool::post(std::function<void()> handler) { asio::post(threads_.context(), std::move(handler)); }

GrowingWorkPool::GrowingWorkPool(std::string name, std::size_t maximumThreadCount)
    : maximumThreadCount_(std::max<std::size_t>(maximumThreadCount, 1)),
      threads_(std::move(name), ASIO_CONCURRENCY_HINT_DEFAULT) {}

void GrowingWorkPool::post(std::function<void()> handler) {
    {
        std::lock_guard lock(mutex_);
        ++unfinished_;
        if (unfinished_ > threads_.threadCount() && threads_.threadCount() < maximumThreadCount_) {
            threads_.addThread();
        }
    }
    asio::post(threads_.context(), [this, handler = std::move(handler)] {
        struct Finish {
            GrowingWorkPool* pool;
            ~Finish() { pool->finishedOne(); }
        } finish{this};
        handler();
    });
}

std::size_t GrowingWorkPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.threadCount();
}

void GrowingWorkPool::finishedOne() {
    std::lock_guard lock(mutex_);
    --unfinished_;
}

}  // namespace zentrabo::platform
