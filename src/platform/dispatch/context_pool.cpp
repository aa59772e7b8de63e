#include "platform/dispatch/context_pool.hpp"

#include <algorithm>

namespace zentrabo::platform {

ContextPool::ContextPool(const std::string& name, std::size_t threadCount) {
    for (std::size_t index = 0; index < std::max<std::size_t>(threadCount, 1); ++index) {
        // One thread each: Asio then keeps the handlers a thread posts to its
        // own context off the shared queue.
        auto& context = contexts_.emplace_back(std::make_unique<ContextThreads>(name, 1));
        context->addThread();
    }
}

ContextPool::~ContextPool() { stopThreads(); }

std::vector<ContextPool::Executor> ContextPool::executors() const {
    std::vector<Executor> executors;
    executors.reserve(contexts_.size());
    for (const auto& context : contexts_) executors.push_back(context->context().get_executor());
    return executors;
}

void ContextPool::stopThreads() {
    // All stop before any is joined, so none waits behind another's join.
    for (auto& context : contexts_) context->context().stop();
    for (auto& context : contexts_) context->stopThreads();
}

}  // namespace zentrabo::platform
