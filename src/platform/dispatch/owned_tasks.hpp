#pragma once
// Coroutines that must not outlive the object that starts them. They run on
// the owner's executor (one thread, or a strand), where the owner also
// spawns them and closes; the close (its destructor) cancels every one still
// running: a wait of awaitAnswer or awaitElsewhere ends with
// operation_aborted, so a result that comes later resumes nothing of the
// owner's and is dropped.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

namespace zentrabo::platform {

class OwnedTasks {
public:
    // Hears what a task threw before the close; a task that ends after it
    // (its cancellation unwinding) is not told of.
    using FailureHandler = std::function<void(std::exception_ptr)>;

    explicit OwnedTasks(asio::any_io_executor executor);
    // Closes.
    ~OwnedTasks();
    OwnedTasks(const OwnedTasks&) = delete;
    OwnedTasks& operator=(const OwnedTasks&) = delete;

    // Starts the task on the executor; after a close, nothing.
    void spawn(asio::awaitable<void> task, FailureHandler failed);
    // Cancels every task still running.
    void close();

private:
    struct Running;

    asio::any_io_executor executor_;
    std::shared_ptr<Running> running_;
};

}  // namespace zentrabo::platform
