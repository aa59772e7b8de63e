#pragma once
// An X server of the test's own, for tests whose stalls or loads must not
// hold up the shared test session that other test programs use meanwhile.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace zentrabo::testing {

// An Xvfb of the test's own, gone with the object.
class PrivateXServer {
public:
    PrivateXServer() {
        int numbers[2];
        if (::pipe(numbers) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(numbers[0]);
            const std::string fd = std::to_string(numbers[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "320x240x24",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(numbers[1]);
        pollfd readable{numbers[0], POLLIN, 0};
        char text[16] = {};
        if (::poll(&readable, 1, 10000) == 1 && ::read(numbers[0], text, sizeof text - 1) > 0) {
            display_ = ":" + std::string(text, std::strcspn(text, "\n"));
        }
        ::close(numbers[0]);
    }
    ~PrivateXServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace zentrabo::testing
