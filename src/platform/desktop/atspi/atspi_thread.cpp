#include "platform/desktop/atspi/atspi_thread.hpp"

#include <glib.h>

#include <atomic>

namespace zentrabo::platform {
namespace {

// At most how many of the bus's events the thread dispatches before taking
// the next call, so a burst of events does not hold the queue back.
constexpr int kMaxEventsAtOnce = 256;

// The context the thread sleeps in. This thread pushes no context of its
// own, so the sources GDBus attaches for the connection opened from here
// land in the one the thread waits on, and an event wakes it.
GMainContext* busContext() { return g_main_context_default(); }

std::atomic<std::uint64_t> queuedCalls{0};

void dispatchPendingEvents() {
    for (int count = 0; count < kMaxEventsAtOnce && g_main_context_iteration(busContext(), FALSE); ++count) {
    }
}

}  // namespace

AtspiThread::AtspiThread(std::function<void()> start) : thread_([this, start = std::move(start)] { run(start); }) {}

AtspiThread::~AtspiThread() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    g_main_context_wakeup(busContext());
    thread_.join();
}

std::uint64_t AtspiThread::callsQueued() { return queuedCalls.load(std::memory_order_relaxed); }

bool AtspiThread::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || queue_.size() >= maxQueued) return false;
        queue_.push_back(std::move(task));
    }
    queuedCalls.fetch_add(1, std::memory_order_relaxed);
    // The wake-up stays pending until the context next polls, so it is not
    // lost when the thread is between looking at the queue and sleeping.
    g_main_context_wakeup(busContext());
    return true;
}

void AtspiThread::run(const std::function<void()>& start) {
    GMainContext* context = busContext();
    // Held for the thread's life. Should a thread before this one still hold
    // it, the sleeping iteration below waits until that one lets go.
    const bool owner = g_main_context_acquire(context);
    start();
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) break;
            if (!queue_.empty()) {
                task = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (!task) {
            // Sleeps until a bus event, a posted call or the stop.
            g_main_context_iteration(context, TRUE);
            continue;
        }
        dispatchPendingEvents();
        task();
    }
    if (owner) g_main_context_release(context);
}

}  // namespace zentrabo::platform
