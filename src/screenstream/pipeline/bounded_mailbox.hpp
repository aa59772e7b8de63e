#pragma once
// A typed hand-off from one stage of a stream to the next: each item is
// posted to the next stage's queue, and at most `bound` wait there at once.
// An item offered past the bound is refused, and the offering stage drops
// it, so a stalled stage never piles work up behind it.
#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

namespace zentrabo {

template <class Item>
class BoundedMailbox {
public:
    explicit BoundedMailbox(std::size_t bound) : bound_(bound) {}

    // Posts `receive(item)` to the queue; false, with nothing posted, when
    // `bound` items wait already. An item counts until its receiver starts.
    template <class Queue, class Receive>
    bool offer(Queue& queue, Item item, Receive receive) {
        if (waiting_->fetch_add(1) >= bound_) {
            waiting_->fetch_sub(1);
            return false;
        }
        // The count is shared: a job may run after the mailbox's owner is gone.
        queue.post([waiting = waiting_, item = std::move(item), receive = std::move(receive)]() mutable {
            waiting->fetch_sub(1);
            receive(std::move(item));
        });
        return true;
    }

    std::size_t bound() const { return bound_; }
    std::size_t waiting() const { return waiting_->load(); }

private:
    const std::size_t bound_;
    std::shared_ptr<std::atomic<std::size_t>> waiting_ = std::make_shared<std::atomic<std::size_t>>(0);
};

}  // namespace zentrabo
