#pragma once
// An Xvfb of the test's own, for tests that stop and restart the X server
// under the code they test, or whose stalls and loads must not hold up the
// shared test session that other test programs use meanwhile.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "support/server_identity.hpp"

namespace zentrabo::testing {

// An Xvfb of the test's own: on a free display, or on the one it had before.
class OwnXServer {
public:
    explicit OwnXServer(std::optional<int> display = std::nullopt) {
        // The clipboard's reads on this display name their property after the program.
        useServerIdentity();
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ready[1], 3);
            const std::string name = display ? ":" + std::to_string(*display) : std::string();
            if (display) {
                execlp("Xvfb", "Xvfb", name.c_str(), "-displayfd", "3", "-nolock", "-noreset", "-nolisten", "tcp",
                       "-screen", "0", "640x480x24", static_cast<char*>(nullptr));
            } else {
                execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolock", "-noreset", "-nolisten", "tcp", "-screen", "0",
                       "640x480x24", static_cast<char*>(nullptr));
            }
            _exit(127);
        }
        close(ready[1]);
        // Xvfb writes the display's number once it accepts connections.
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char byte = 0;
        while (poll(&wait, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1 && byte != '\n') number.push_back(byte);
        close(ready[0]);
        if (!number.empty()) display_ = std::stoi(number);
    }
    ~OwnXServer() { stop(); }
    OwnXServer(const OwnXServer&) = delete;
    OwnXServer& operator=(const OwnXServer&) = delete;

    // None when it did not start.
    std::optional<int> display() const { return display_; }
    // As DISPLAY names it; empty when it did not start.
    std::string name() const { return display_ ? ":" + std::to_string(*display_) : std::string(); }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> display_;
};

}  // namespace zentrabo::testing
