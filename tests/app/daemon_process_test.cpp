// The binary as a Linux user meets it: its arguments, one instance per data
// folder, failures said on standard error, SIGHUP, commands answered in the
// order typed, and a log that stays bounded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/binary_harness.hpp"
#include "support/device_request.hpp"
#include "support/file_text.hpp"
#include "support/loopback_socket.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace fs = std::filesystem;

// Every file and folder under the root with its size and change time.
std::map<std::string, std::string> snapshot(const fs::path& root, const fs::path& skipped = {}) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path() == skipped) continue;
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        entries[entry.path().string()] = std::to_string(info.st_size) + "@" + std::to_string(info.st_ctim.tv_sec) +
                                         "." + std::to_string(info.st_ctim.tv_nsec);
    }
    return entries;
}

// An environment variable set for the test's lifetime.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedVariable() { unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
};

TEST(DaemonCommandLine, AnswersHelpVersionAndBadArgumentsBeforeCreatingAnything) {
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string output;  // a part of standard output
        std::string errors;  // a part of standard error
    };
    TemporaryHome home;
    const std::string logPath = (home.logFolder() / "ZentraboMac.log").string();
    const std::vector<Case> cases{
        {{"--help"}, 0, "DNS-SD (_halvardine._tcp)", ""},
        {{"-h"}, 0, "  log       " + logPath + "\n", ""},
        {{"--version"}, 0, "Zentrabo Server ", ""},
        {{"--verbose"}, 2, "", "unknown argument \"--verbose\""},
        {{"--help", "me"}, 2, "", "unknown argument \"me\""},
        {{"status"}, 2, "", "Usage: zentrabo-server"},
        {{"--desktop", "wayland"}, 2, "", "--desktop needs x11, gnome-wayland or virtual, not \"wayland\""},
        {{"--desktop"}, 2, "", "--desktop needs x11, gnome-wayland or virtual"},
        {{"--desktop", "virtual", "--desktop", "x11"}, 2, "", "--desktop given twice"},
    };
    for (const auto& test : cases) {
        const std::string name = test.arguments.front() + (test.arguments.size() > 1 ? " ..." : "");
        ServerProcess server(test.arguments);
        server.closeInput();
        ASSERT_TRUE(exitedWith(server.waitForExit(), test.exitStatus)) << name;
        std::string output;
        while (auto line = server.readLine(std::chrono::milliseconds(200))) output += *line + "\n";
        const std::string errors = server.errorText();
        if (!test.output.empty()) {
            EXPECT_THAT(output, HasSubstr(test.output)) << name;
        }
        if (test.errors.empty()) {
            EXPECT_EQ(errors, "") << name;
        } else {
            EXPECT_THAT(errors, HasSubstr(test.errors)) << name;
            EXPECT_EQ(output, "") << name;
        }
        EXPECT_TRUE(fs::is_empty(home.path())) << name << " created files";
    }
    ServerProcess version({"--version"});
    EXPECT_THAT(version.readLine().value_or(""), MatchesRegex("Zentrabo Server [0-9.]+ \\([0-9A-Za-z.]+\\)"));
    ServerProcess help({"--help"});
    std::string usage;
    while (auto line = help.readLine(std::chrono::milliseconds(500))) usage += *line + "\n";
    EXPECT_THAT(usage, HasSubstr("\"help\""));
    EXPECT_THAT(usage, HasSubstr("2 for a desktop scenario"));
}

TEST(DaemonDesktopChoice, NoSessionIsReplacedByTheModelDesktopUnasked) {
    // No X server answers on this display in the test namespace.
    const std::string silentDisplay = ":59";
    const std::string unsetReason =
        "no desktop session here (DISPLAY and WAYLAND_DISPLAY are unset); devices see the model desktop";
    const std::string waylandRefusal =
        "Wayland session (KDE) is not supported yet: log in to an X11 session, or start with --desktop x11 to "
        "control its XWayland windows only, or --desktop virtual for the model desktop";
    // The suite's session bus has no mutter on it.
    const std::string silentGnome =
        "GNOME Wayland session: mutter does not answer on the session bus (org.gnome.Mutter.ScreenCast)";
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        ServerProcess::EnvironmentChanges environment;
        std::string chosen;   // the desktop line of status; or
        std::string refusal;  // the reason of a start refused with status 2
        bool said = false;    // the choice is also said on standard error
    };
    const std::vector<Case> cases{
        {"no session", {}, {"DISPLAY", "WAYLAND_DISPLAY"}, "virtual (built-in scenario): " + unsetReason, "", true},
        {"no session, virtual asked for",
         {"--desktop", "virtual"},
         {"DISPLAY", "WAYLAND_DISPLAY"},
         "virtual (built-in scenario): asked for with --desktop virtual",
         ""},
        {"no session, x11 asked for",
         {"--desktop", "x11"},
         {"DISPLAY", "WAYLAND_DISPLAY"},
         "",
         "--desktop x11: $DISPLAY is not set"},
        {"a display that does not answer",
         {},
         {"DISPLAY=" + silentDisplay, "WAYLAND_DISPLAY"},
         "",
         "$DISPLAY: cannot connect to the X display :59; start with --desktop virtual for the model desktop"},
        {"a display that does not answer, virtual asked for",
         {"--desktop", "virtual"},
         {"DISPLAY=" + silentDisplay, "WAYLAND_DISPLAY"},
         "virtual (built-in scenario): asked for with --desktop virtual",
         ""},
        {"a display that does not answer, x11 asked for",
         {"--desktop", "x11"},
         {"DISPLAY=" + silentDisplay, "WAYLAND_DISPLAY"},
         "",
         "--desktop x11: cannot connect to the X display :59"},
        {"a Wayland session",
         {},
         {"DISPLAY", "WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=KDE"},
         "",
         waylandRefusal},
        {"a Wayland session with a display that does not answer",
         {},
         {"DISPLAY=" + silentDisplay, "WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=KDE"},
         "",
         waylandRefusal},
        {"a GNOME Wayland session whose shell does not answer",
         {},
         {"DISPLAY=" + silentDisplay, "WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=ubuntu:GNOME"},
         "",
         silentGnome},
        {"gnome-wayland asked for without a Wayland session",
         {"--desktop", "gnome-wayland"},
         {"WAYLAND_DISPLAY"},
         "",
         "--desktop gnome-wayland: $WAYLAND_DISPLAY is not set"},
        {"a Wayland session, virtual asked for",
         {"--desktop", "virtual"},
         {"DISPLAY", "WAYLAND_DISPLAY=wayland-0"},
         "virtual (built-in scenario): asked for with --desktop virtual",
         ""},
        {"a Wayland session without XWayland, x11 asked for",
         {"--desktop", "x11"},
         {"DISPLAY", "WAYLAND_DISPLAY=wayland-0"},
         "",
         "--desktop x11: $DISPLAY is not set"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TemporaryHome home;
        ServerProcess server(test.arguments, test.environment);
        if (!test.refusal.empty()) {
            EXPECT_TRUE(exitedWith(server.waitForExit(), 2));
            EXPECT_EQ(server.errorText(), "zentrabo-server: " + test.refusal + "\n");
            EXPECT_FALSE(server.readLine(std::chrono::milliseconds(0)));
            EXPECT_THAT(home.logText(), HasSubstr(" No desktop: " + test.refusal + "\n"));
            continue;
        }
        const auto start = server.readStartLines();
        ASSERT_TRUE(start);
        EXPECT_EQ(start->desktop, test.chosen.substr(0, test.chosen.find(':')));
        if (test.said) {
            EXPECT_EQ(server.readErrorLine(), "Desktop: " + test.chosen);
        }
        ASSERT_TRUE(server.writeLine("status"));
        EXPECT_EQ(server.readLineStartingWith("desktop: "), "desktop: " + test.chosen);
        ASSERT_TRUE(server.writeLine("quit"));
        EXPECT_TRUE(exitedWith(server.waitForExit(), 0));
        if (!test.said) {
            EXPECT_EQ(server.errorText(), "");
        }
        EXPECT_THAT(home.logText(), HasSubstr(" Desktop: " + test.chosen + "\n"));
    }
}

class DaemonProcessTest : public BinaryServerTest {};

TEST_F(DaemonProcessTest, ASecondInstanceOnTheSameDataFolderIsRefusedAndTouchesNothing) {
    // Quiet first: its answer shows it has done what it does at start.
    ASSERT_TRUE(process->writeLine("status"));
    ASSERT_TRUE(process->readLineStartingWith("log file: "));
    const auto before = snapshot(home.path(), home.logFolder() / "ZentraboMac.log");

    ServerProcess second;
    ASSERT_TRUE(exitedWith(second.waitForExit(), 1));
    EXPECT_EQ(second.errorText(), "zentrabo-server: another instance is running (pid " +
                                      std::to_string(process->pid()) + "); attach with: zentrabo-server console\n");
    EXPECT_FALSE(second.readLine(std::chrono::milliseconds(0)));
    EXPECT_EQ(snapshot(home.path(), home.logFolder() / "ZentraboMac.log"), before);

    // The first serves on.
    TestDevice phone;
    pairDevice(phone);
    EXPECT_TRUE(send(phone, deviceRequest("PING", "ping")).ok);
}

TEST_F(DaemonProcessTest, SighupStopsCleanlyAndKeepsAPairingMadeJustBefore) {
    TestDevice phone;
    pairDevice(phone);
    ASSERT_EQ(kill(process->pid(), SIGHUP), 0);
    EXPECT_TRUE(process->readLineStartingWith("Stopping."));
    ASSERT_TRUE(exitedWith(process->waitForExit(), 0));
    EXPECT_THAT(home.logText(), HasSubstr(" Application will terminate\n"));

    startProcess();
    EXPECT_TRUE(send(phone, deviceRequest("PING", "ping")).ok) << "the pairing was lost";
}

TEST_F(DaemonProcessTest, CommandsSentInOneWriteAreAnsweredInTheirOrder) {
    // The password's key is derived on another thread; the unlock and the
    // scopes wait for it instead of running beside it.
    ASSERT_TRUE(process->writeLine("password set secret\nunlock secret\nscopes local files,stream\nstatus"));
    EXPECT_EQ(process->readLine(terminalDeadline), "Extra authorization password set.");
    EXPECT_EQ(process->readLine(terminalDeadline), "Extra authorization settings unlocked.");
    EXPECT_EQ(process->readLine(terminalDeadline), "Protected on local connections: stream, files");
    EXPECT_EQ(process->readLineStartingWith("scopes local: "), "scopes local: stream, files");
}

TEST_F(DaemonProcessTest, TheLogLivesInTheStateFolderRotatesAtItsBoundAndACrashWritesIntoTheNewFile) {
    // Restarted with a bound of a few lines.
    ASSERT_TRUE(process->writeLine("quit"));
    ASSERT_TRUE(exitedWith(process->waitForExit(), 0));
    const ScopedVariable bound("ZENTRABO_DIAGNOSTIC_LOG_LIMIT", "2048");
    startProcess();

    const fs::path older = home.logFolder() / "ZentraboMac.log.1";
    // Each connection that hangs up writes its lines.
    for (int attempt = 0; attempt < 200 && !fs::exists(older); ++attempt) {
        const int socket = connectToLoopback(port);
        ASSERT_GE(socket, 0);
        close(socket);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(older)) << "the log never rotated";
    EXPECT_LE(fs::file_size(older), 2048u);
    EXPECT_FALSE(fs::exists(home.path() / "Library"));
    // The rotation ends with the line that started the new file; a second
    // line there was written after it, so the crash cannot meet a rotation
    // half done.
    const auto newFileLines = [&] {
        const std::string text = home.logText();
        return std::count(text.begin(), text.end(), '\n');
    };
    for (int attempt = 0; attempt < 200 && newFileLines() < 2; ++attempt) {
        close(connectToLoopback(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GE(newFileLines(), 2);
    // The relay connector starts on a thread of its own: its line must be
    // written before the crash, or it may land after the crash's line.
    const auto relayHasSpoken = [&] {
        return (fileText(older) + home.logText()).find("Relay disabled") != std::string::npos;
    };
    for (int attempt = 0; attempt < 200 && !relayHasSpoken(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(relayHasSpoken());

    ASSERT_EQ(kill(process->pid(), SIGSEGV), 0);
    const auto status = process->waitForExit();
    ASSERT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGSEGV);
    EXPECT_THAT(home.logText(), ::testing::EndsWith("\nZentrabo terminated by signal 11\n"));
    EXPECT_THAT(fileText(older), ::testing::Not(HasSubstr("terminated by signal")));
}

TEST(DaemonFailures, DamagedStoredFilesAreSaidOnStandardErrorAndANeverListeningServerEndsWithStatusOne) {
    struct Case {
        const char* file;  // under the home folder
        const char* content;
        bool listens;
    };
    const Case cases[] = {
        {".local/share/zentrabo/keystore.json", "{ this is not a key store", false},
        {".config/zentrabo/defaults.json", "[not settings", true},
    };
    for (const auto& test : cases) {
        TemporaryHome home;
        const fs::path damaged = home.path() / test.file;
        fs::create_directories(damaged.parent_path());
        std::ofstream(damaged) << test.content;

        ServerProcess server;
        EXPECT_THAT(server.readLine().value_or(""), StartsWith("Zentrabo Server ")) << test.file;
        const std::string said = server.readErrorLine().value_or("");
        if (test.listens) {
            // Both paths: where the settings were, and where they are kept now.
            EXPECT_THAT(said,
                        HasSubstr(damaged.string() + " is not valid; kept it as " + damaged.string() + ".unreadable-"));
        } else {
            // Named, so the user knows which file to repair or move away.
            EXPECT_THAT(said, StartsWith("Not listening: ")) << test.file;
            EXPECT_THAT(said, HasSubstr(damaged.string() + " is damaged")) << test.file;
        }
        // The listener opens after the damaged file is reported: asked
        // before that, status truthfully says it is not running yet.
        if (test.listens) {
            EXPECT_TRUE(server.readLineStartingWith("Listening on port ")) << test.file;
        }
        ASSERT_TRUE(server.writeLine("status"));
        EXPECT_THAT(server.readLineStartingWith("running: ").value_or(""),
                    MatchesRegex(test.listens ? "running: yes" : "running: no \\(.+\\)"))
            << test.file;
        ASSERT_TRUE(server.writeLine("quit"));
        EXPECT_TRUE(exitedWith(server.waitForExit(), test.listens ? 0 : 1)) << test.file;
    }
}

}  // namespace
}  // namespace zentrabo::testing
