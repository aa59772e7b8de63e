#pragma once
// An io_context run by threads of its own, each named, and kept running while
// it has nothing to do. Destruction stops the threads after the handlers
// running now and drops the handlers still queued. On one of the threads
// (the owner's last reference went in a handler) that thread is not joined:
// it keeps the context and ends by itself once the handler returns.
#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>

#include <memory>
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

    const std::string& name() const { return state_->name; }
    asio::io_context& context() { return state_->context; }
    // The context, kept alive by whoever holds it after the threads are
    // gone, for strands that may outlive their pool's owner.
    std::shared_ptr<asio::io_context> sharedContext() { return {state_, &state_->context}; }

    // Starts one more thread. Callers that add threads from several threads
    // serialise their calls themselves.
    void addThread();
    std::size_t threadCount() const { return threads_.size(); }

    // Stops the threads after the handlers running now and joins them; the
    // handlers still queued stay unrun until destruction, so their owner
    // can close what they work on first, with no thread left to race it.
    // Not from one of the threads.
    void stopThreads();
    // Lets the threads end once nothing is queued or running, and joins
    // them. Not from one of the threads.
    void finishThreads();

private:
    // Shared with the threads, each of which keeps it while it runs.
    struct State {
        State(std::string name, int concurrencyHint)
            : name(std::move(name)), context(concurrencyHint), keepAlive(context.get_executor()) {}
        std::string name;
        asio::io_context context;
        asio::executor_work_guard<asio::io_context::executor_type> keepAlive;
    };

    std::shared_ptr<State> state_;
    std::vector<std::thread> threads_;
};

}  // namespace zentrabo::platform
