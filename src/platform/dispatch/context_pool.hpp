#pragma once
// io_contexts each run by one thread of its own. A caller spreads work by
// handing each new piece the next context's executor in turn, and the piece
// stays there: it never moves between threads, so nothing it holds bounces
// between caches and no thread contends with another for a shared queue.
#include <asio/io_context.hpp>

#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/context_threads.hpp"

namespace zentrabo::platform {

class ContextPool {
public:
    using Executor = asio::io_context::executor_type;

    // At least one context; the threads run from here on.
    ContextPool(const std::string& name, std::size_t threadCount);
    ~ContextPool();
    ContextPool(const ContextPool&) = delete;
    ContextPool& operator=(const ContextPool&) = delete;

    // The contexts' executors, one per thread.
    std::vector<Executor> executors() const;

    // Stops every thread after the handlers running now and joins them; the
    // handlers still queued stay unrun until destruction, so their owner can
    // close what they work on first. Not from one of the threads.
    void stopThreads();

private:
    std::vector<std::unique_ptr<ContextThreads>> contexts_;
};

}  // namespace zentrabo::platform
