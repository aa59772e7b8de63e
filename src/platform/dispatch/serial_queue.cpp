#include "platform/dispatch/serial_queue.hpp"

#include <asio/post.hpp>

namespace zentrabo::platform {

SerialQueue::SerialQueue(std::string name) : threads_(std::move(name), 1) { threads_.addThread(); }

void SerialQueue::post(std::function<void()> handler) { asio::post(threads_.context(), std::move(handler)); }

}  // namespace zentrabo::platform
