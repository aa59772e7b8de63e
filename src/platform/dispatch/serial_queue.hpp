#pragma once
// A named serial queue: an io_context run by a thread of its own, so its
// handlers run one at a time in the order they were posted.
#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>

#include <functional>
#include <string>
#include <thread>

namespace zentrabo::platform {

class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    // Stops the thread after the handler running now; handlers still queued
    // are dropped. Must not be called from the queue's own thread.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return name_; }
    void post(std::function<void()> handler);
    asio::io_context::executor_type executor() { return context_.get_executor(); }

private:
    std::string name_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> keepAlive_;
    std::thread thread_;
};

}  // namespace zentrabo::platform
