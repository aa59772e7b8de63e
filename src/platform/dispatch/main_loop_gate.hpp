#pragma once
// The way back to the main loop for work that runs on other threads (a
// request a network thread has read, a key derivation, a stream report):
// open while the owner of that work lives. The owner closes it when it is
// destroyed, on the main loop; a result posted before that finds it closed
// when its turn comes and is dropped, so nothing resumes into an owner that
// is gone.
#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include <asio/any_io_executor.hpp>
#include <asio/post.hpp>

namespace zentrabo::platform {

class MainLoopGate : public std::enable_shared_from_this<MainLoopGate> {
public:
    explicit MainLoopGate(asio::any_io_executor mainLoop) : mainLoop_(std::move(mainLoop)) {}

    // From any thread: runs the handler on the main loop, unless the gate is
    // closed now or by the time it would run.
    template <class Handler>
    void post(Handler handler) {
        // Posted under the lock, shared among posters: once close() has
        // returned nothing more reaches the main loop, which may then go
        // away.
        std::shared_lock guard(mutex_);
        if (!isOpen_.load(std::memory_order_relaxed)) return;
        // The main loop checks the flag without the lock: the post wakes it
        // at once, and a lock still held by this poster would put it back
        // to sleep until the poster lets go.
        asio::post(mainLoop_, [gate = shared_from_this(), handler = std::move(handler)]() mutable {
            if (gate->isOpen_.load(std::memory_order_acquire)) handler();
        });
    }

    // On the main loop, by the owner's destructor.
    void close() {
        std::unique_lock guard(mutex_);
        isOpen_.store(false, std::memory_order_release);
    }

private:
    std::shared_mutex mutex_;
    std::atomic<bool> isOpen_{true};
    asio::any_io_executor mainLoop_;
};

}  // namespace zentrabo::platform
