#pragma once
// A named serial queue: an io_context run by a thread of its own, so its
// handlers run one at a time in the order they were posted. Destruction stops
// the thread after the handler running now; handlers still queued are
// dropped. On the queue's own thread (its owner's last reference went in one
// of its handlers) the thread ends by itself once that handler returns.
#include <functional>
#include <string>

#include "platform/dispatch/context_threads.hpp"

namespace zentrabo::platform {

class SerialQueue {
public:
    explicit SerialQueue(std::string name);

    const std::string& name() const { return threads_.name(); }
    void post(std::function<void()> handler);
    asio::io_context::executor_type executor() { return threads_.context().get_executor(); }
    // Whether the caller runs on this queue's thread.
    bool isCurrent() { return executor().running_in_this_thread(); }

private:
    ContextThreads threads_;
};

}  // namespace zentrabo::platform
