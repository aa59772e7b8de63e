#include "platform/dispatch/work_pool.hpp"

#include "platform/dispatch/thread_name.hpp"

#include <asio/post.hpp>

#include <algorithm>

namespace zentrabo::platform {

WorkPool::WorkPool(std::size_t threadCount) : pool_(std::max<std::size_t>(threadCount, 1)) {}

WorkPool::~WorkPool() { pool_.join(); }

void WorkPool::post(std::function<void()> handler) { asio::post(pool_, std::move(handler)); }

GrowingWorkPool::GrowingWorkPool(std::string name, std::size_t maximumThreadCount)
    : name_(std::move(name)),
      maximumThreadCount_(std::max<std::size_t>(maximumThreadCount, 1)),
      keepAlive_(context_.get_executor()) {}

GrowingWorkPool::~GrowingWorkPool() {
    keepAlive_.reset();
    context_.stop();
    for (std::thread& thread : threads_) thread.join();
}

void GrowingWorkPool::post(std::function<void()> handler) {
    {
        std::lock_guard lock(mutex_);
        ++unfinished_;
        if (unfinished_ > threads_.size() && threads_.size() < maximumThreadCount_) {
            threads_.emplace_back([this] {
                setCurrentThreadName(name_);
                context_.run();
            });
        }
    }
    asio::post(context_, [this, handler = std::move(handler)] {
        struct Finish {
            GrowingWorkPool* pool;
            ~Finish() { pool->finishedOne(); }
        } finish{this};
        handler();
    });
}

std::size_t GrowingWorkPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_.size();
}

void GrowingWorkPool::finishedOne() {
    std::lock_guard lock(mutex_);
    --unfinished_;
}

}  // namespace zentrabo::platform
