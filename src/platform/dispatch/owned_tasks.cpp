#include "platform/dispatch/owned_tasks.hpp"

#include <map>
#include <utility>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

namespace zentrabo::platform {

// Touched on the owner's executor only. A task's coroutine frames keep their
// cancellation state inside its signal, so each signal stays until the
// task's frames are gone, even after its owner.
struct OwnedTasks::Running {
    std::map<std::uint64_t, std::shared_ptr<asio::cancellation_signal>> signals;
    std::uint64_t nextId = 0;
    bool isClosed = false;
};

OwnedTasks::OwnedTasks(asio::any_io_executor executor)
    : executor_(std::move(executor)), running_(std::make_shared<Running>()) {}

OwnedTasks::~OwnedTasks() { close(); }

void OwnedTasks::spawn(asio::awaitable<void> task, FailureHandler failed) {
    if (running_->isClosed) return;
    const std::uint64_t id = running_->nextId++;
    const auto signal = std::make_shared<asio::cancellation_signal>();
    running_->signals.emplace(id, signal);
    auto finished = [running = running_, id, executor = executor_,
                     failed = std::move(failed)](const std::exception_ptr& failure) {
        // The frames go after this handler, within the same turn.
        asio::post(executor, [running, id] { running->signals.erase(id); });
        if (failure && !running->isClosed && failed) failed(failure);
    };
    asio::co_spawn(executor_, std::move(task), asio::bind_cancellation_slot(signal->slot(), std::move(finished)));
}

void OwnedTasks::close() {
    if (running_->isClosed) return;
    running_->isClosed = true;
    for (const auto& [id, signal] : running_->signals) signal->emit(asio::cancellation_type::terminal);
}

}  // namespace zentrabo::platform
