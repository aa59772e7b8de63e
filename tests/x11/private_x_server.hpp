#pragma once
// An X server of the test's own, for tests whose stalls or loads must not
// hold up the shared test session that other test programs use meanwhile.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
        // The server writes its number and the line feed apart: the pipe stays
        // open until the line feed, or its write fails and the server stops.
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (number.find('\n') == std::string::npos && number.size() < 16) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd readable{numbers[0], POLLIN, 0};
            char text[16];
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1) break;
            const auto count = ::read(numbers[0], text, sizeof text);
            if (count <= 0) break;
            number.append(text, static_cast<std::size_t>(count));
        }
        if (const auto end = number.find('\n'); end != std::string::npos && end > 0) {
            display_ = ":" + number.substr(0, end);
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
