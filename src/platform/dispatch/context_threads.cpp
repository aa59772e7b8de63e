#include "platform/dispatch/context_threads.hpp"

#include "platform/dispatch/thread_name.hpp"

namespace zentrabo::platform {

ContextThreads::ContextThreads(std::string name, int concurrencyHint)
    : state_(std::make_shared<State>(std::move(name), concurrencyHint)) {}

ContextThreads::~ContextThreads() { stopThreads(); }

void ContextThreads::stopThreads() {
    state_->context.stop();
    finishThreads();
}

void ContextThreads::finishThreads() {
    state_->keepAlive.reset();
    for (std::thread& thread : threads_) {
        // Joining itself would deadlock.
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
    threads_.clear();
}

void ContextThreads::addThread() {
    threads_.emplace_back([state = state_] {
        setCurrentThreadName(state->name);
        state->context.run();
    });
}

}  // namespace zentrabo::platform
