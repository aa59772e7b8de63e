#pragma once
// A serial queue on a shared pool: its handlers run one at a time in the
// order they were posted, on whichever of the pool's threads is free, so many
// queues share a few threads. It keeps the pool's context (not its threads)
// alive, so it may outlive the pool's owner; handlers still queued when the
// pool's threads stop are dropped unrun, so they must hold their owner weakly.
#include <functional>
#include <memory>

#include <asio/io_context.hpp>
#include <asio/strand.hpp>

namespace zentrabo::platform {

class StrandQueue {
public:
    explicit StrandQueue(std::shared_ptr<asio::io_context> pool);

    void post(std::function<void()> handler);
    asio::strand<asio::io_context::executor_type> executor() const { return strand_; }
    // Whether the caller runs inside one of this queue's handlers.
    bool isCurrent() const { return strand_.running_in_this_thread(); }

private:
    // Declared first: the strand must go before the context it belongs to.
    std::shared_ptr<asio::io_context> pool_;
    asio::strand<asio::io_context::executor_type> strand_;
};

}  // namespace zentrabo::platform
