#include "binary_harness.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace zentrabo {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class ServerProcessTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;

    std::filesystem::path installedBundle(const std::string& path) const {
        return home.path() / ".local/share/zentrabo/virtual-desktop/Applications" / (path + ".app/Contents/Info.plist");
    }

    // Reads the three start lines and checks their form; returns the port.
    static std::optional<int> readStartLines(testing::ServerProcess& server) {
        const auto start = server.readStartLines();
        if (!start) return std::nullopt;
        EXPECT_THAT(start->version, MatchesRegex("[0-9.]+ \\([0-9A-Za-z.]+\\)"));
        EXPECT_THAT(start->fingerprint, MatchesRegex("[0-9a-f]{64}"));
        return start->port;
    }
};

class ServerSignalTest : public ServerProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(ServerSignalTest, StartsWithTheBuiltInDesktopAndStopsCleanlyOnATerminationSignal) {
    testing::ServerProcess server;
    ASSERT_GT(server.pid(), 0);
    // The port line is printed from the running main loop, after the signal
    // handlers are in place.
    ASSERT_TRUE(readStartLines(server));
    // The built-in desktop installs its applications as bundle folders.
    EXPECT_TRUE(std::filesystem::exists(installedBundle("Utilities/Calculator")));

    ASSERT_EQ(kill(server.pid(), GetParam()), 0);
    const std::optional<int> status = server.waitForExit();
    ASSERT_TRUE(status) << "the server did not stop";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);

    const std::string log = home.logText();
    EXPECT_THAT(log, HasSubstr("Diagnostics installed. Log file: " + home.logFile().string() + "\n"));
    EXPECT_THAT(log, HasSubstr(" app/main.cpp:"));
    EXPECT_THAT(log, HasSubstr(" Application will terminate\n"));
    EXPECT_THAT(log, HasSubstr(" HalvardineServer deinit\n"));
}

INSTANTIATE_TEST_SUITE_P(Signals, ServerSignalTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGTERM ? std::string("SIGTERM") : std::string("SIGINT");
                         });

TEST_F(ServerProcessTest, OutlivesTheEndOfItsInputAndStopsOnQuit) {
    testing::ServerProcess server;
    const auto port = readStartLines(server);
    ASSERT_TRUE(port);
    ASSERT_TRUE(server.writeLine("status"));
    ASSERT_TRUE(server.writeLine(std::string(5000, 'x')));
    ASSERT_TRUE(server.writeLine("quit"));
    EXPECT_EQ(server.readLine(), "Server status:");
    EXPECT_EQ(server.readLine(), "running: yes");
    EXPECT_EQ(server.readLine(), "port: " + std::to_string(*port));
    EXPECT_TRUE(server.readLineStartingWith("Line ignored: longer than 4096 bytes."));
    EXPECT_TRUE(server.readLineStartingWith("Quitting."));
    const std::optional<int> status = server.waitForExit();
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST_F(ServerProcessTest, OnlyATerminalIsToldHowToPairAndWhereHelpIs) {
    struct Row {
        const char* input;
        bool isTerminal;
        const char* lineAfterStart;
    };
    const Row rows[] = {
        {"a terminal", true, "Type pair to pair a device, help for commands."},
        {"a pipe", false, "Server status:"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.input);
        testing::ServerLaunch launch;
        launch.inputIsTerminal = row.isTerminal;
        testing::ServerProcess server(testing::ServerProcess::virtualDesktop(), {}, launch);
        ASSERT_TRUE(readStartLines(server));
        // The answer to status comes after any line the start still prints.
        ASSERT_TRUE(server.writeLine("status"));
        EXPECT_EQ(server.readLine(), row.lineAfterStart);
        EXPECT_TRUE(server.readLineStartingWith("running: yes")) << "the command was not read";
        ASSERT_TRUE(server.writeLine("quit"));
        EXPECT_TRUE(testing::exitedWith(server.waitForExit(), 0));
    }
}

TEST_F(ServerProcessTest, KeepsRunningWhenItsInputEnds) {
    testing::ServerProcess server;
    ASSERT_TRUE(readStartLines(server));
    server.closeInput();
    // Ending on the end of input would take a few milliseconds.
    EXPECT_FALSE(server.waitForExit(std::chrono::milliseconds(500))) << "the end of input stopped the server";
    ASSERT_EQ(kill(server.pid(), SIGTERM), 0);
    EXPECT_TRUE(server.waitForExit());
}

TEST_F(ServerProcessTest, UsesTheScenarioFileOfTheConfigFolder) {
    testing::writeScenario(home, R"({"displays": [{"id": 7, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}}],
                      "applications": [{"name": "Sketchpad", "bundleIdentifier": "com.example.sketchpad"}]})");
    testing::ServerProcess server;
    const auto start = server.readStartLines();
    ASSERT_TRUE(start);
    EXPECT_EQ(start->desktop, "virtual (" + testing::scenarioFile(home).string() + ")");
    EXPECT_TRUE(std::filesystem::exists(installedBundle("Sketchpad")));
    EXPECT_FALSE(std::filesystem::exists(installedBundle("Utilities/Calculator")));
}

TEST_F(ServerProcessTest, RefusesToStartOnAMalformedScenarioFile) {
    testing::writeScenario(home, R"({"displays": [], "applications": [{"name": "Sketchpad"}]})");
    testing::ServerProcess server;
    const std::optional<int> status = server.waitForExit();
    ASSERT_TRUE(status) << "the server started anyway";
    ASSERT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 2);
    const std::string errors = server.errorText();
    EXPECT_THAT(errors, HasSubstr(testing::scenarioFile(home).string() + ": "));
    EXPECT_FALSE(server.readLine(std::chrono::milliseconds(0)).has_value()) << "it printed start lines";
}

}  // namespace
}  // namespace zentrabo
