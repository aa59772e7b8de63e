#include "platform/dispatch/serial_queue.hpp"

#include "platform/dispatch/thread_name.hpp"

#include <asio/post.hpp>

namespace zentrabo::platform {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)), context_(1), keepAlive_(context_.get_executor()) {
    thread_ = std::thread([this] {
        setCurrentThreadName(name_);
        context_.run();
    });
}

SerialQueue::~SerialQueue() {
    keepAlive_.reset();
    context_.stop();
    thread_.join();
}

void SerialQueue::post(std::function<void()> handler) { asio::post(context_, std::move(handler)); }

}  // namespace zentrabo::platform
