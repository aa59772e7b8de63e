#include "platform/dispatch/strand_queue.hpp"

#include <utility>

#include <asio/post.hpp>

namespace zentrabo::platform {

StrandQueue::StrandQueue(std::shared_ptr<asio::io_context> pool)
    : pool_(std::move(pool)), strand_(asio::make_strand(pool_->get_executor())) {}

void StrandQueue::post(std::function<void()> handler) { asio::post(strand_, std::move(handler)); }

}  // namespace zentrabo::platform
