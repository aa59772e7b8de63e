#include "platform/dispatch/context_threads.hpp"

#include "platform/dispatch/thread_name.hpp"

namespace zentrabo::platform {

ContextThreads::ContextThreads(std::string name, int concurrencyHint)
    : name_(std::move(name)), context_(concurrencyHint), keepAlive_(context_.get_executor()) {}

ContextThreads::~ContextThreads() { stopThreads(); }

void ContextThreads::stopThreads() {
    keepAlive_.reset();
    context_.stop();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

void ContextThreads::addThread() {
    threads_.emplace_back([this] {
        setCurrentThreadName(name_);
        context_.run();
    });
}

}  // namespace zentrabo::platform
