#include "platform/dispatch/thread_name.hpp"

#include <pthread.h>

#include <string>

namespace zentrabo::platform {

void setCurrentThreadName(std::string_view name) {
    const std::string shortened(name.substr(0, 15));
    pthread_setname_np(pthread_self(), shortened.c_str());
}

}  // namespace zentrabo::platform
