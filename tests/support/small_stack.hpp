#pragma once
// A thread with a small stack for tests of walks that must not recurse.
#include <pthread.h>

#include <functional>
#include <stdexcept>

namespace zentrabo::testing {

// Runs work on a thread with a 1 MiB stack, so that a walk that recursed
// once per tree level would overflow it long before the trees of these
// tests end.
inline void runOnSmallStack(std::function<void()> work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 1024 * 1024);
    pthread_t thread;
    const auto body = [](void* argument) -> void* {
        (*static_cast<std::function<void()>*>(argument))();
        return nullptr;
    };
    if (pthread_create(&thread, &attributes, body, &work) != 0) throw std::runtime_error("no thread");
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
}

}  // namespace zentrabo::testing
