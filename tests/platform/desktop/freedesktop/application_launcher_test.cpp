// Launching an entry: the exact argument vector without a shell, a startup
// id, standard streams on /dev/null, and the child reaped once it ends.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "freedesktop_fixture.hpp"
#include "platform/desktop/freedesktop/application_launcher.hpp"
#include "platform/desktop/x11/linux_process.hpp"

namespace zentrabo::testing {
namespace {

class ApplicationLauncherTest : public FreedesktopTest {};

std::string fileText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST_F(ApplicationLauncherTest, RunsTheArgumentsItselfAndReapsTheChild) {
    // A recorder that writes each argument on a line of its own, then its
    // startup id and what its standard input gives.
    const auto out = home.path() / "argv.txt";
    const auto recorder = write(home.path() / "bin/record",
                                "#!/bin/sh\nout=\"$1\"; shift\n"
                                "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >\"$out\"\n"
                                "printf 'id=%s\\n' \"$DESKTOP_STARTUP_ID\" >>\"$out\"\n"
                                "printf 'in=%s\\n' \"$(cat)\" >>\"$out\"\n");
    ::chmod(recorder.c_str(), 0755);
    platform::DesktopEntry entry;
    entry.id = "org.example.Recorder.desktop";
    entry.name = "Recorder";
    entry.exec = recorder.string() + " " + out.string() + R"( "a b" ";echo x" $HOME "q\"q" %f)";

    platform::ApplicationLauncher launcher;
    const auto launched = launcher.launch(entry, {{"/tmp/x y.txt", true}});
    ASSERT_GT(launched.pid, 0) << launched.error;
    EXPECT_EQ(launcher.launchedID(launched.pid), entry.id);

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (launcher.launchedID(launched.pid) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(launcher.launchedID(launched.pid)) << "the child was not reaped";
    EXPECT_FALSE(platform::linuxProcess(launched.pid).startTime) << "a zombie is left";
    const std::string expectedStart = "a b\n;echo x\n$HOME\nq\"q\n/tmp/x y.txt\nid=launch-";
    const std::string recorded = fileText(out);
    EXPECT_EQ(recorded.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(recorded.find("org.example.Recorder.desktop"), std::string::npos);
    EXPECT_NE(recorded.find("\nin=\n"), std::string::npos);
}

TEST_F(ApplicationLauncherTest, RefusesWhatCannotRun) {
    platform::ApplicationLauncher launcher;
    for (const std::string exec : {"/nonexistent/program", "no-such-program-anywhere", "\"unterminated"}) {
        platform::DesktopEntry entry;
        entry.id = "x.desktop";
        entry.exec = exec;
        const auto launched = launcher.launch(entry, {});
        EXPECT_EQ(launched.pid, 0) << exec;
        EXPECT_FALSE(launched.error.empty()) << exec;
    }
}

}  // namespace
}  // namespace zentrabo::testing
