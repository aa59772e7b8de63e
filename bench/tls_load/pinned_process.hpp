#pragma once
// A process of the bench pinned to a set of cores, and the CPU time of a
// process as /proc tells it. A child's standard output comes back through a
// pipe, every read under a deadline; a child still running when its object
// goes is killed.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace zentrabo::bench {

using Cores = std::vector<int>;

inline cpu_set_t coreSet(const Cores& cores) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (const int core : cores) CPU_SET(core, &set);
    return set;
}

// The scheduling priority of every process of a measurement: above the
// other work of a shared machine, so that a target pinned to one core gets
// that core whatever its number of threads, and alike for all of them.
inline constexpr int measuredNiceness = -10;

// Places the calling thread on the cores at the measured priority; what it
// forks afterwards inherits both. Both are restored when the object goes.
class ScopedPlacement {
public:
    explicit ScopedPlacement(const Cores& cores) {
        sched_getaffinity(0, sizeof before_, &before_);
        const cpu_set_t set = coreSet(cores);
        sched_setaffinity(0, sizeof set, &set);
        niceness_ = getpriority(PRIO_PROCESS, 0);
        setpriority(PRIO_PROCESS, 0, measuredNiceness);
    }
    ~ScopedPlacement() {
        setpriority(PRIO_PROCESS, 0, niceness_);
        sched_setaffinity(0, sizeof before_, &before_);
    }
    ScopedPlacement(const ScopedPlacement&) = delete;
    ScopedPlacement& operator=(const ScopedPlacement&) = delete;

private:
    cpu_set_t before_;
    int niceness_ = 0;
};

// Whether this process may raise the priority of what it measures; without
// that, other work on the cores weighs on targets with few threads more.
inline bool mayRaisePriority() {
    const int niceness = getpriority(PRIO_PROCESS, 0);
    if (setpriority(PRIO_PROCESS, 0, measuredNiceness) != 0) return false;
    setpriority(PRIO_PROCESS, 0, niceness);
    return true;
}

// User plus system CPU seconds the process has used so far; none once it is gone.
inline std::optional<double> processCpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and parentheses: count from the last ')'.
    const auto nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(nameEnd + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    // After the name: state is field 3, utime field 14, stime field 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) user = std::stoull(field);
        if (index == 15) system = std::stoull(field);
    }
    if (!fields) return std::nullopt;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class PinnedProcess {
public:
    // Runs this bench's own executable with the arguments on the cores.
    PinnedProcess(const std::vector<std::string>& arguments, const Cores& cores) {
        int output[2];
        int input[2];
        if (pipe2(output, O_CLOEXEC) != 0) return;
        if (pipe2(input, O_CLOEXEC) != 0) {
            close(output[0]);
            close(output[1]);
            return;
        }
        // Built before the fork: the child of a threaded process must not allocate.
        static const std::string self = "/proc/self/exe";
        std::vector<char*> argv{const_cast<char*>(self.c_str())};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const cpu_set_t set = coreSet(cores);
        pid_ = fork();
        if (pid_ == 0) {
            sched_setaffinity(0, sizeof set, &set);
            setpriority(PRIO_PROCESS, 0, measuredNiceness);
            dup2(output[1], STDOUT_FILENO);
            dup2(input[0], STDIN_FILENO);
            execv(self.c_str(), argv.data());
            _exit(127);
        }
        close(output[1]);
        close(input[0]);
        output_ = output[0];
        input_ = input[1];
    }
    ~PinnedProcess() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) close(output_);
        if (input_ >= 0) close(input_);
    }
    PinnedProcess(const PinnedProcess&) = delete;
    PinnedProcess& operator=(const PinnedProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of output without its line feed; none when the output
    // ends or the deadline passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds deadline) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (;;) {
            if (const auto lineEnd = buffer_.find('\n'); lineEnd != std::string::npos) {
                std::string line = buffer_.substr(0, lineEnd);
                buffer_.erase(0, lineEnd + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            pollfd ready{output_, POLLIN, 0};
            if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) return std::nullopt;
            char chunk[4096];
            const ssize_t count = ::read(output_, chunk, sizeof chunk);
            if (count <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(count));
        }
    }

    // Waits for the child's end; true when it exited with status 0.
    bool succeeded() {
        int status = 0;
        ended_ = waitpid(pid_, &status, 0) == pid_;
        return ended_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    // Closed with the object: a child serving until its input ends then stops.
    int input_ = -1;
    std::string buffer_;
    bool ended_ = false;
};

}  // namespace zentrabo::bench
