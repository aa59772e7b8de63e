#pragma once
// A named serial queue: an io_context run by a thread of its own, so its
// handlers run one at a time in the order they were posted. Destruction stops
// the thread after the handler running now; handlers still queued are
// dropped. It must not happen on the queue's own thread.
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

private:
    ContextThreads threads_;
};

}  // namespace zentrabo::platform
