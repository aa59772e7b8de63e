#pragma once
// Starting desktop entries as processes of their own: the Exec line's
// argument vector run directly (never through a shell), in a session of its
// own, with standard input and output on /dev/null, none of our other
// descriptors, and a startup id naming the entry. The launcher remembers
// what it started, so the workspace can tell which entry a new process came
// from, and reaps each child once it has ended.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/exec_line.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

struct LaunchOutcome {
    // The new process; 0 when it could not be started.
    ProcessID pid = 0;
    // Why not, as a user-facing text.
    std::string error;
};

class ApplicationLauncher {
public:
    // At most this many started processes are watched at once; launches
    // beyond it are refused until some have ended.
    static constexpr std::size_t maximumChildren = 256;

    LaunchOutcome launch(const DesktopEntry& entry, const std::vector<LaunchTarget>& targets);

    // Collects the exit of every child that has ended, so none stays a zombie.
    void reap();
    // The desktop file ID of the live child with that pid.
    std::optional<std::string> launchedID(ProcessID pid);
    // The children that have not ended, in pid order.
    std::vector<ProcessID> children();

private:
    std::mutex mutex_;
    std::map<ProcessID, std::string> children_;
    unsigned sequence_ = 0;
};

}  // namespace zentrabo::platform
