#pragma once
// A program of others (Debian's, not the tests') as a child of the test,
// started on the test's environment plus the variables given, and ended
// when the object goes unless it has ended by itself.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "x11/x11_test_support.hpp"

extern char** environ;

namespace zentrabo::testing {

class ForeignProgram {
public:
    // arguments[0] is the program's path; environment holds "NAME=value".
    explicit ForeignProgram(std::vector<std::string> arguments, std::vector<std::string> environment = {}) {
        for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~ForeignProgram() {
        if (pid_ <= 0 || hasEnded(std::chrono::milliseconds(0))) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    ForeignProgram(const ForeignProgram&) = delete;
    ForeignProgram& operator=(const ForeignProgram&) = delete;

    pid_t pid() const { return pid_; }

    // Whether it has ended within the time given (and is reaped).
    bool hasEnded(std::chrono::milliseconds within) {
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Its windows the window manager lists, in the list's order.
    std::vector<std::uint32_t> windows() const {
        std::vector<std::uint32_t> owned;
        for (const auto window : witnessedNumbers("_NET_CLIENT_LIST")) {
            const auto pid = witnessedNumbers("_NET_WM_PID", window);
            if (pid.size() == 1 && static_cast<pid_t>(pid[0]) == pid_) owned.push_back(window);
        }
        return owned;
    }

    // Its window, once the window manager lists it.
    std::optional<std::uint32_t> waitForWindow() const {
        std::optional<std::uint32_t> found;
        eventually([&] {
            const auto owned = windows();
            if (!owned.empty()) found = owned.front();
            return found.has_value();
        });
        return found;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace zentrabo::testing
