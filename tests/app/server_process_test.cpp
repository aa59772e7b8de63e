#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace zentrabo {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

constexpr auto processDeadline = std::chrono::seconds(30);
constexpr auto pollInterval = std::chrono::milliseconds(10);

// The caught-signal mask of a process, from /proc.
std::optional<std::uint64_t> caughtSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
    }
    return std::nullopt;
}

bool catches(std::uint64_t mask, int signalNumber) { return (mask >> (signalNumber - 1)) & 1u; }

class ServerProcessTest : public ::testing::TestWithParam<int> {
protected:
    testing::TemporaryHome home;

    pid_t startServer() {
        const std::string binary = std::string(ZENTRABO_BINARY_DIR) + "/src/zentrabo-server";
        const pid_t pid = fork();
        if (pid == 0) {
            execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    // Waits until the process has its termination handlers in place.
    bool waitUntilCatching(pid_t pid) {
        const auto deadline = std::chrono::steady_clock::now() + processDeadline;
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto mask = caughtSignals(pid); mask && catches(*mask, SIGINT) && catches(*mask, SIGTERM)) {
                return true;
            }
            std::this_thread::sleep_for(pollInterval);
        }
        return false;
    }

    std::optional<int> waitForExit(pid_t pid) {
        const auto deadline = std::chrono::steady_clock::now() + processDeadline;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid) return status;
            std::this_thread::sleep_for(pollInterval);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return std::nullopt;
    }
};

TEST_P(ServerProcessTest, StopsCleanlyOnATerminationSignal) {
    const pid_t pid = startServer();
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitUntilCatching(pid));
    ASSERT_EQ(kill(pid, GetParam()), 0);

    const std::optional<int> status = waitForExit(pid);
    ASSERT_TRUE(status) << "the server did not stop";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);

    const std::string log = home.logText();
    EXPECT_THAT(log, HasSubstr("Diagnostics installed. Log file: " + home.logFile().string() + "\n"));
    EXPECT_THAT(log, HasSubstr("] app/main.cpp:"));
    EXPECT_THAT(log, EndsWith(" Application will terminate\n"));
}

INSTANTIATE_TEST_SUITE_P(Signals, ServerProcessTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? std::string("SIGTERM") : std::string("SIGINT");
                         });

}  // namespace
}  // namespace zentrabo
