// A server started without a terminal, reached through "zentrabo-server
// console": pairing through a console, the lines every front shows, the end
// of a console, quit, the bound on consoles and on a console's unread
// output, and the check of the peer's user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/binary_harness.hpp"
#include "support/device_request.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

class ConsoleProcessTest : public BinaryServerTest {
protected:
    void SetUp() override {
        serverLaunch.inputIsNull = true;
        BinaryServerTest::SetUp();
    }

    fs::path socketPath() const { return home.runtimePath() / "zentrabo/console"; }

    // A console whose first line says it is attached to the server.
    std::unique_ptr<ServerProcess> attach(const ServerProcess::Launch& launch = {}) {
        auto console = std::make_unique<ServerProcess>(std::vector<std::string>{"console"},
                                                       ServerProcess::EnvironmentChanges{}, launch);
        EXPECT_THAT(console->readLine(terminalDeadline).value_or(console->errorText()),
                    StartsWith("Attached to zentrabo-server (pid " + std::to_string(process->pid()) + ")."));
        return console;
    }

    // Quits the server through a console, as its user would.
    void quitThrough(ServerProcess& console) {
        ASSERT_TRUE(console.writeLine("quit"));
        EXPECT_EQ(console.readLine(terminalDeadline), "Quitting.");
        EXPECT_TRUE(exitedWith(console.waitForExit(), 0));
        EXPECT_TRUE(exitedWith(process->waitForExit(), 0));
    }
};

TEST_F(ConsoleProcessTest, AServerWithoutATerminalPairsThroughAConsoleAndServesOnAfterIt) {
    auto first = attach();
    auto second = attach();
    TestDevice phone;
    const auto window = testing::openPairingWindow(*first, terminalDeadline);
    ASSERT_TRUE(window);
    ASSERT_TRUE(pair(phone, *window, "PAIR").ok);
    // Every front shows the completion, the server's own terminal too.
    for (ServerProcess* front : {first.get(), second.get(), process.get()}) {
        EXPECT_THAT(front->readLineStartingWith("Paired ", terminalDeadline).value_or(""),
                    StartsWith("Paired Test Phone ("));
    }

    // A line past the bound is dropped whole, and the console reads on.
    ASSERT_TRUE(first->writeLine(std::string(5000, 'x') + "\ndevices"));
    EXPECT_EQ(first->readLine(terminalDeadline), "Line ignored: longer than 4096 bytes.");
    EXPECT_EQ(first->readLine(terminalDeadline), "Paired devices: 1");

    // The end of input ends one console, "detach" the other; nothing after it runs.
    first->closeInput();
    EXPECT_TRUE(exitedWith(first->waitForExit(), 0));
    ASSERT_TRUE(second->writeLine("detach\nquit"));
    EXPECT_EQ(second->readLineStartingWith("Detached", terminalDeadline), "Detached; the server keeps running.");
    EXPECT_EQ(second->readLine(terminalDeadline), std::nullopt);
    EXPECT_TRUE(exitedWith(second->waitForExit(), 0));

    EXPECT_TRUE(send(phone, deviceRequest("PING", "ping")).ok) << "the server stopped with its consoles";
    auto last = attach();
    quitThrough(*last);
    EXPECT_EQ(process->readLineStartingWith("Quitting"), "Quitting (from a console).");
    EXPECT_FALSE(fs::exists(socketPath())) << "the socket outlived the server";
}

TEST_F(ConsoleProcessTest, ANinthConsoleIsToldThatAtMostEightMayAttach) {
    std::vector<std::unique_ptr<ServerProcess>> consoles;
    for (int count = 0; count < 8; ++count) consoles.push_back(attach());
    ServerProcess ninth({"console"});
    EXPECT_TRUE(exitedWith(ninth.waitForExit(), 1));
    EXPECT_EQ(ninth.errorText(), "Refused: at most 8 consoles may attach.\n");
    EXPECT_EQ(ninth.readLine(std::chrono::milliseconds(0)), std::nullopt);

    // A console that ends makes room for another.
    consoles.back()->closeInput();
    EXPECT_TRUE(exitedWith(consoles.back()->waitForExit(), 0));
    consoles.back() = attach();
    quitThrough(*consoles.back());
}

TEST_F(ConsoleProcessTest, AConsoleThatDoesNotReadIsDisconnectedOnceItsBacklogPassesTheBound) {
    const int raw = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(raw, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(connect(raw, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // About 2.5 MB of answers, none of them read.
    std::string flood;
    for (int count = 0; count < 1000; ++count) flood += "help\n";
    ASSERT_EQ(::send(raw, flood.data(), flood.size(), MSG_NOSIGNAL), static_cast<ssize_t>(flood.size()));
    const std::string dropped = "Console ended: more than 1048576 bytes of output not read";
    const auto deadline = std::chrono::steady_clock::now() + terminalDeadline;
    while (home.logCount(dropped) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(home.logCount(dropped), 1u);
    // What the socket still holds ends, well short of all the answers.
    std::size_t received = 0;
    char chunk[65536];
    for (ssize_t count; (count = recv(raw, chunk, sizeof chunk, 0)) > 0;) received += static_cast<std::size_t>(count);
    close(raw);
    EXPECT_LT(received, 1048576u);

    auto console = attach();
    quitThrough(*console);
}

// The server runs as another user than the test (root, which the folder's
// mode lets through), so the peer's credentials are what refuse it.
class ConsolePeerCheckTest : public ConsoleProcessTest {
protected:
    static constexpr uid_t serverUser = 41047;

    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "starting the server as another user needs root";
        for (const fs::path& root : {home.path(), home.runtimePath()}) {
            ASSERT_EQ(lchown(root.c_str(), serverUser, serverUser), 0);
            for (const auto& entry : fs::recursive_directory_iterator(root)) {
                ASSERT_EQ(lchown(entry.path().c_str(), serverUser, serverUser), 0);
            }
        }
        serverLaunch.wrapper = asServerUser();
        ConsoleProcessTest::SetUp();
    }

    static std::vector<std::string> asServerUser() {
        const std::string id = std::to_string(serverUser);
        return {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
};

TEST_F(ConsolePeerCheckTest, OnlyTheServersOwnUserAttaches) {
    ServerProcess stranger({"console"});
    EXPECT_TRUE(exitedWith(stranger.waitForExit(), 1));
    EXPECT_EQ(stranger.errorText(), "Refused: this server runs as user 41047; a console of user 0 may not attach.\n");
    EXPECT_EQ(stranger.readLine(std::chrono::milliseconds(0)), std::nullopt);

    auto own = attach(ServerProcess::Launch{asServerUser()});
    quitThrough(*own);
}

TEST(ConsoleAttach, SaysWhyItCannotAttachAndEndsWithStatusOne) {
    struct Case {
        ServerProcess::EnvironmentChanges environment;
        std::string errors;
    };
    TemporaryHome home;  // no server runs on it
    const std::vector<Case> cases{
        {{"XDG_RUNTIME_DIR"}, "zentrabo-server: cannot attach: XDG_RUNTIME_DIR is not set\n"},
        {{"XDG_RUNTIME_DIR=run/user"}, "zentrabo-server: cannot attach: XDG_RUNTIME_DIR is not an absolute path\n"},
        {{},
         "zentrabo-server: cannot attach: no instance is running (" +
             (home.runtimePath() / "zentrabo/console").string() + ": No such file or directory)\n"},
    };
    for (const auto& test : cases) {
        ServerProcess console({"console"}, test.environment);
        EXPECT_TRUE(exitedWith(console.waitForExit(), 1)) << test.errors;
        EXPECT_EQ(console.errorText(), test.errors);
        EXPECT_EQ(console.readLine(std::chrono::milliseconds(0)), std::nullopt) << test.errors;
    }
}

TEST(ConsoleAttach, AServerWithoutARuntimeFolderSaysWhyAndRunsWithoutConsoles) {
    TemporaryHome home;
    ServerProcess server(ServerProcess::virtualDesktop(), {"XDG_RUNTIME_DIR"});
    ASSERT_TRUE(server.readStartLines());
    constexpr std::string_view said = "zentrabo-server: no console socket";
    std::optional<std::string> line;
    while ((line = server.readErrorLine()) && line->rfind(said, 0) != 0) {
    }
    EXPECT_EQ(line,
              "zentrabo-server: no console socket (XDG_RUNTIME_DIR is not set); \"zentrabo-server console\" "
              "cannot attach to this instance");
    ASSERT_TRUE(server.writeLine("quit"));
    EXPECT_TRUE(exitedWith(server.waitForExit(), 0));
}

}  // namespace
}  // namespace zentrabo::testing
