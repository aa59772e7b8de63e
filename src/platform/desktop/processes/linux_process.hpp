#pragma once
// What /proc says of a process: its name, and the moment it started, which
// tells a process apart from a later one that got the same number.
#include <cstdint>
#include <filesystem>
#include <functional>
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
// The file it runs (/proc/<pid>/exe); none when it is gone or not ours to read.
std::optional<std::filesystem::path> processExecutable(ProcessID pid);
// The process's parent; 0 when it is gone or has none.
ProcessID parentProcess(ProcessID pid);

// Whether pid is ancestor itself or one of its descendants, walking up
// through parentOf (parentProcess by default). The walk is bounded, so a
// cycle or a very deep chain answers false rather than spinning.
bool isProcessOrDescendant(ProcessID pid, ProcessID ancestor,
                           const std::function<ProcessID(ProcessID)>& parentOf = parentProcess);

}  // namespace zentrabo::platform
