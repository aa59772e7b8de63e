#include "app/process_setup.hpp"

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "model/diagnostic_log.hpp"

namespace zentrabo {

void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        ZENTRABO_LOG(std::string("Open-file limit unreadable: ") + std::strerror(errno));
        return;
    }
    if (limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        ZENTRABO_LOG(std::string("Open-file limit not raised: ") + std::strerror(errno));
    }
}

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace zentrabo
