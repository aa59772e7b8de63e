#pragma once
// An io_context run by threads of its own, each named, and kept running while
// it has nothing to do. Destruction stops the threads after the handlers
// running now and drops the handlers still queued; it must not happen on one
// of the threads.
#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>

#include <string>
#include <thread>
#include <vector>

namespace zentrabo::platform {

class ContextThreads {
public:
    ContextThreads(std::string name, int concurrencyHint);
    ~ContextThreads();
    ContextThreads(const ContextThreads&) = delete;
    ContextThreads& operator=(const ContextThreads&) = delete;

    const std::string& name() const { return name_; }
    asio::io_context& context() { return context_; }

    // Starts one more thread. Callers that add threads from several threads
    // serialise their calls themselves.
    void addThread();
    std::size_t threadCount() const { return threads_.size(); }

    // Stops the threads after the handlers running now and joins them; the
    // handlers still queued stay unrun until destruction, so their owner
    // can close what they work on first, with no thread left to race it.
    // Not from one of the threads.
    void stopThreads();

private:
    std::string name_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> keepAlive_;
    std::vector<std::thread> threads_;
};

}  // namespace zentrabo::platform
