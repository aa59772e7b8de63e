#include "platform/dispatch/thread_name.hpp"

#include <pthread.h>

#include <array>

namespace zentrabo::platform {

void setCurrentThreadName(std::string_view name) {
    const std::string shortened(name.substr(0, 15));
    pthread_setname_np(pthread_self(), shortened.c_str());
}

std::string currentThreadName() {
    std::array<char, 16> name{};
    if (pthread_getname_np(pthread_self(), name.data(), name.size()) != 0) return {};
    return name.data();
}

ScopedThreadName::ScopedThreadName(std::string_view name) : previous_(currentThreadName()) {
    setCurrentThreadName(name);
}

ScopedThreadName::~ScopedThreadName() { setCurrentThreadName(previous_); }

}  // namespace zentrabo::platform
