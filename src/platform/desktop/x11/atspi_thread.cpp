#include "platform/desktop/x11/atspi_thread.hpp"

#include <glib.h>

namespace zentrabo::platform {
namespace {

// How often the thread looks at the bus's events when no call comes, and at
// most how many it dispatches in one go before taking the next call.
constexpr auto kEventInterval = std::chrono::milliseconds(50);
constexpr int kMaxEventsAtOnce = 256;

void dispatchPendingEvents() {
    for (int count = 0; count < kMaxEventsAtOnce && g_main_context_iteration(nullptr, FALSE); ++count) {
    }
}

}  // namespace

AtspiThread::AtspiThread(std::function<void()> start) : thread_([this, start = std::move(start)] { run(start); }) {}

AtspiThread::~AtspiThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool AtspiThread::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || queue_.size() >= maxQueued) return false;
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
    return true;
}

void AtspiThread::run(const std::function<void()>& start) {
    g_main_context_acquire(nullptr);
    start();
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, kEventInterval, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            if (!queue_.empty()) {
                task = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        dispatchPendingEvents();
        if (task) task();
    }
    g_main_context_release(nullptr);
}

}  // namespace zentrabo::platform
