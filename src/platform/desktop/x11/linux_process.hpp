#pragma once
// What /proc says of a process: its name, and the moment it started, which
// tells a process apart from a later one that got the same number.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

struct LinuxProcess {
    ProcessID pid = 0;
    // Clock ticks after boot; none when the process is gone.
    std::optional<std::uint64_t> startTime;
    bool operator==(const LinuxProcess&) const = default;
};

// The process as it runs now (startTime none when there is none).
LinuxProcess linuxProcess(ProcessID pid);
// Its short name (the command name the kernel keeps); empty when it is gone.
std::string processName(ProcessID pid);

}  // namespace zentrabo::platform
