#pragma once
// Starting desktop entries as processes of their own: the Exec line's
// argument vector run directly (never through a shell), inside a terminal
// emulator for Terminal=true, in the entry's Path folder, in a session of
// its own, with standard input and output on /dev/null, none of our other
// descriptors, and a startup id naming the entry. An entry with
// DBusActivatable=true is first asked through the session bus. The launcher remembers
// what it started, so the workspace can tell which entry a new process came
// from, and reaps each child once it has ended.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/exec_line.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

struct LaunchOutcome {
    // The new process; 0 when the session bus started it or nothing started.
    ProcessID pid = 0;
    // Why nothing started, as a user-facing text.
    std::string error;
    bool activatedOnBus = false;

    bool started() const { return pid != 0 || activatedOnBus; }
};

class ApplicationLauncher {
public:
    // At most this many started processes are watched at once; launches
    // beyond it are refused until some have ended.
    static constexpr std::size_t maximumChildren = 256;
    // How long the session bus may take to start or reach an application
    // before its Exec line is launched instead.
    static constexpr std::chrono::milliseconds busActivationTimeout{5000};

    LaunchOutcome launch(const DesktopEntry& entry, const std::vector<LaunchTarget>& targets);

    // Collects the exit of every child that has ended, so none stays a zombie.
    void reap();
    // The desktop file ID of the live child with that pid.
    std::optional<std::string> launchedID(ProcessID pid);
    // The children that have not ended, in pid order.
    std::vector<ProcessID> children();

private:
    std::string nextStartupID(const DesktopEntry& entry);

    std::mutex mutex_;
    std::map<ProcessID, std::string> children_;
    unsigned sequence_ = 0;
};

}  // namespace zentrabo::platform
