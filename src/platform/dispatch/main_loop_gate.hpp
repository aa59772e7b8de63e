#pragma once
// The way back to the main loop for work that runs on other threads (a key
// derivation, a file listing): open while the owner of that work lives. The
// owner closes it when it is destroyed, on the main loop; a result posted
// before that finds it closed when its turn comes and is dropped, so nothing
// resumes into an owner that is gone.
#include <memory>
#include <mutex>
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
        // Posted under the lock: once close() has returned nothing more
        // reaches the main loop, which may then go away.
        std::lock_guard guard(mutex_);
        if (!isOpen_) return;
        asio::post(mainLoop_, [gate = shared_from_this(), handler = std::move(handler)]() mutable {
            if (gate->isOpen()) handler();
        });
    }

    // On the main loop, by the owner's destructor.
    void close() {
        std::lock_guard guard(mutex_);
        isOpen_ = false;
    }

private:
    bool isOpen() {
        std::lock_guard guard(mutex_);
        return isOpen_;
    }

    std::mutex mutex_;
    bool isOpen_ = true;
    asio::any_io_executor mainLoop_;
};

}  // namespace zentrabo::platform
