// The program as scripts/install.sh puts it into ~/.local: a command that
// attaches to the running server, and the program its login item starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/binary_harness.hpp"
#include "support/file_text.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class InstalledProgramTest : public BinaryServerTest {
protected:
    void SetUp() override {
        // The tree these tests were built in, installed without a build.
        const auto output = home.path() / "install.txt";
        const std::string command = "bash " ZENTRABO_SOURCE_DIR "/scripts/install.sh " ZENTRABO_BINARY_DIR " >" +
                                    output.string() + " 2>&1 </dev/null";
        const int status = std::system(command.c_str());
        installOutput = fileText(output);
        ASSERT_EQ(status, 0) << installOutput;
        serverLaunch.program = installed().string();
        BinaryServerTest::SetUp();
    }

    std::filesystem::path installed() const { return home.path() / ".local/bin/zentrabo-server"; }

    // A console of the installed program, past its attach line.
    std::unique_ptr<ServerProcess> attach() {
        ServerProcess::Launch launch;
        launch.program = installed().string();
        auto console = std::make_unique<ServerProcess>(std::vector<std::string>{"console"},
                                                       ServerProcess::EnvironmentChanges{}, launch);
        EXPECT_THAT(console->readLine(terminalDeadline).value_or(console->errorText()),
                    StartsWith("Attached to zentrabo-server (pid " + std::to_string(process->pid()) + ")."));
        return console;
    }

    std::string installOutput;
};

TEST_F(InstalledProgramTest, ItsConsoleRegistersTheLoginItemThatStartsItAndSaysWhenItIsGone) {
    EXPECT_THAT(installOutput, HasSubstr("Installed " + installed().string() + "\n"));
    auto console = attach();
    ASSERT_TRUE(console->writeLine("login-item"));
    EXPECT_EQ(console->readLine(terminalDeadline), "Login item toggled; its status is now enabled.");
    const auto entry = home.path() / ".config/autostart/zentrabo-server.desktop";
    EXPECT_THAT(fileText(entry), HasSubstr("\nExec=\"" + installed().string() + "\" --desktop virtual\n"));

    std::filesystem::remove(installed());
    ASSERT_TRUE(console->writeLine("status"));
    EXPECT_EQ(console->readLineStartingWith("login item: ", terminalDeadline), "login item: not found");
    ASSERT_TRUE(console->writeLine("quit"));
    EXPECT_TRUE(exitedWith(process->waitForExit(), 0));
}

}  // namespace
}  // namespace zentrabo::testing
