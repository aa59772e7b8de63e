#include "platform/desktop/freedesktop/application_launcher.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "platform/desktop/freedesktop/bus_activation.hpp"
#include "platform/desktop/freedesktop/terminal_emulator.hpp"
#include "platform/files/program_search.hpp"

extern char** environ;

namespace zentrabo::platform {

namespace {

const std::string cannotOpen = "The application can’t be opened.";

// Releases what posix_spawn's setup holds, whatever happens.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Our environment without a startup id of our own, with the new one.
std::vector<std::string> childEnvironment(const std::string& startupID) {
    std::vector<std::string> variables;
    for (char** variable = environ; variable && *variable; ++variable) {
        if (std::strncmp(*variable, "DESKTOP_STARTUP_ID=", 19) != 0) variables.emplace_back(*variable);
    }
    variables.push_back("DESKTOP_STARTUP_ID=" + startupID);
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

LaunchOutcome ApplicationLauncher::launch(const DesktopEntry& entry, const std::vector<LaunchTarget>& targets) {
    const std::string startupID = nextStartupID(entry);
    if (entry.dbusActivatable && activateOnSessionBus(entry, targets, startupID, busActivationTimeout)) {
        return {0, {}, true};
    }
    auto argv = execArguments(entry, targets);
    if (argv && entry.terminal) argv = commandInTerminal(*argv);
    if (!argv) return {0, cannotOpen};
    const auto program = findProgram(argv->front());
    if (!program) return {0, cannotOpen};

    reap();
    std::lock_guard lock(mutex_);
    if (children_.size() >= maximumChildren) return {0, cannotOpen};
    auto environment = childEnvironment(startupID);

    SpawnSetup setup;
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        posix_spawn_file_actions_addopen(&setup.actions, descriptor, "/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    // A folder that is gone makes the spawn fail rather than start elsewhere.
    if (entry.workingDirectory) posix_spawn_file_actions_addchdir_np(&setup.actions, entry.workingDirectory->c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    auto arguments = pointers(*argv);
    auto variables = pointers(environment);
    pid_t pid = 0;
    if (posix_spawn(&pid, program->c_str(), &setup.actions, &setup.attributes, arguments.data(), variables.data()) !=
        0) {
        return {0, cannotOpen};
    }
    children_[pid] = entry.id;
    return {pid, {}, false};
}

std::string ApplicationLauncher::nextStartupID(const DesktopEntry& entry) {
    std::lock_guard lock(mutex_);
    return "launch-" + std::to_string(::getpid()) + "-" + entry.id + "-" + std::to_string(++sequence_);
}

void ApplicationLauncher::reap() {
    std::lock_guard lock(mutex_);
    std::erase_if(children_, [](const auto& child) {
        int status = 0;
        const pid_t result = ::waitpid(child.first, &status, WNOHANG);
        // Ended and collected, or not ours to collect any more.
        return result == child.first || result < 0;
    });
}

std::optional<std::string> ApplicationLauncher::launchedID(ProcessID pid) {
    reap();
    std::lock_guard lock(mutex_);
    const auto it = children_.find(pid);
    if (it == children_.end()) return std::nullopt;
    return it->second;
}

std::vector<ProcessID> ApplicationLauncher::children() {
    reap();
    std::lock_guard lock(mutex_);
    std::vector<ProcessID> pids;
    for (const auto& child : children_) pids.push_back(child.first);
    return pids;
}

}  // namespace zentrabo::platform
