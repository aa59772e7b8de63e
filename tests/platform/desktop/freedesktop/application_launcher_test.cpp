// Launching an entry: the exact argument vector without a shell, a startup
// id, standard streams on /dev/null, and the child reaped once it ends.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "freedesktop_fixture.hpp"
#include "platform/desktop/freedesktop/application_launcher.hpp"
#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::testing {
namespace {

class ApplicationLauncherTest : public FreedesktopTest {
protected:
    // A program that writes its arguments after the first on lines of their
    // own into the file the first names, then runs the further lines.
    static std::filesystem::path writeRecorder(const std::filesystem::path& path, const std::string& further) {
        write(path,
              "#!/bin/sh\nout=\"$1\"; shift\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >\"$out\"\n" + further);
        ::chmod(path.c_str(), 0755);
        return path;
    }
};

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
    const auto recorder = writeRecorder(home.path() / "bin/record",
                                        "printf 'id=%s\\n' \"$DESKTOP_STARTUP_ID\" >>\"$out\"\n"
                                        "printf 'in=%s\\n' \"$(cat)\" >>\"$out\"\n"
                                        // Held until the test has read the launch's record.
                                        "while [ ! -e \"$out.go\" ]; do sleep 0.01; done\n");
    platform::DesktopEntry entry;
    entry.id = "org.example.Recorder.desktop";
    entry.name = "Recorder";
    entry.exec = recorder.string() + " " + out.string() + R"( "a b" ";echo x" $HOME "q\"q" %f)";

    platform::ApplicationLauncher launcher;
    const auto launched = launcher.launch(entry, {{"/tmp/x y.txt", true}});
    ASSERT_GT(launched.pid, 0) << launched.error;
    EXPECT_EQ(launcher.launchedID(launched.pid), entry.id);
    std::ofstream(out.string() + ".go").put('\n');

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

// Waits until the launcher has reaped the child (10 s at most).
bool waitForEnd(platform::ApplicationLauncher& launcher, platform::ProcessID pid) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (launcher.launchedID(pid) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !launcher.launchedID(pid);
}

TEST_F(ApplicationLauncherTest, TerminalPathAndBusActivationDecideHowAnEntryStarts) {
    // The recorder writes the folder it runs in last. A terminal here is the
    // recorder too,
    // so the line shows what the terminal was asked to run.
    const auto out = home.path() / "record.txt";
    const auto recorder = writeRecorder(home.path() / "bin/record", "printf 'pwd=%s\\n' \"$(pwd -P)\" >>\"$out\"\n");
    const auto work = home.path() / "work";
    std::filesystem::create_directories(work);
    // The recorder reads the folders without links, as the kernel has them.
    const std::string ownFolder = "pwd=" + std::filesystem::canonical(std::filesystem::current_path()).string();
    const std::string workFolder = "pwd=" + std::filesystem::canonical(work).string();
    const std::string command = recorder.string() + " " + out.string() + " \"a b\"";
    const std::string terminalCommand = recorder.string() + " " + out.string() + " --hold";
    const std::string terminalLines = "Categories=System;TerminalEmulator;\n";
    const std::string noBus = "unix:path=" + (home.path() / "no-bus").string();

    struct Case {
        const char* what;
        std::string entryLines;
        // The further lines of the terminal entry installed, if any.
        std::optional<std::string> terminal;
        std::optional<std::string> busAddress;
        // What the recorder wrote; none when the launch is refused.
        std::optional<std::vector<std::string>> recorded;
    };
    const std::vector<Case> cases = {
        {"plain", "", std::nullopt, std::nullopt, {{"a b", ownFolder}}},
        {"in its Path", "Path=" + work.string() + "\n", std::nullopt, std::nullopt, {{"a b", workFolder}}},
        {"a relative Path is ignored", "Path=work\n", std::nullopt, std::nullopt, {{"a b", ownFolder}}},
        {"a Path that is gone", "Path=" + (home.path() / "gone").string() + "\n", std::nullopt, std::nullopt,
         std::nullopt},
        {"in the terminal's own option",
         "Terminal=true\n",
         terminalLines + "X-TerminalArgExec=--\n",
         std::nullopt,
         {{"--hold", "--", recorder.string(), out.string(), "a b", ownFolder}}},
        {"in a terminal with -e",
         "Terminal=true\nPath=" + work.string() + "\n",
         terminalLines,
         std::nullopt,
         {{"--hold", "-e", recorder.string(), out.string(), "a b", workFolder}}},
        {"no terminal installed", "Terminal=true\n", std::nullopt, std::nullopt, std::nullopt},
        {"a terminal of another category", "Terminal=true\n", "Categories=System;\n", std::nullopt, std::nullopt},
        {"bus activatable without a session bus",
         "DBusActivatable=true\n",
         std::nullopt,
         std::nullopt,
         {{"a b", ownFolder}}},
        {"bus activatable, the bus unreachable", "DBusActivatable=true\n", std::nullopt, noBus, {{"a b", ownFolder}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::filesystem::remove(out);
        std::filesystem::remove(userApplications() / "terminal.desktop");
        if (test.terminal)
            writeEntry(userApplications() / "terminal.desktop", "Terminal", *test.terminal, terminalCommand);
        writeEntry(userApplications() / "org.example.App.desktop", "App", test.entryLines, command);
        setVariable("DBUS_SESSION_BUS_ADDRESS", test.busAddress);
        const auto entry = platform::desktopEntryWithID("org.example.App.desktop");
        ASSERT_TRUE(entry);

        platform::ApplicationLauncher launcher;
        const auto launched = launcher.launch(*entry, {});
        if (!test.recorded) {
            EXPECT_FALSE(launched.started());
            EXPECT_FALSE(launched.error.empty());
            continue;
        }
        ASSERT_GT(launched.pid, 0) << launched.error;
        ASSERT_TRUE(waitForEnd(launcher, launched.pid));
        std::vector<std::string> lines;
        std::istringstream text(fileText(out));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        EXPECT_EQ(lines, *test.recorded);
    }
}

// A session bus of the test's own, ended with the test.
class PrivateSessionBus {
public:
    explicit PrivateSessionBus(const std::filesystem::path& socket) : address_("unix:path=" + socket.string()) {
        const std::string option = "--address=" + address_;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", option.c_str(), nullptr);
            ::_exit(127);
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(socket) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~PrivateSessionBus() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    const std::string& address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = -1;
};

TEST_F(ApplicationLauncherTest, ABusActivatableEntryIsStartedByTheSessionBus) {
    // The application the bus starts answers Activate and Open as GLib's
    // applications do, writes each call on a line, and leaves after Open.
    const auto calls = home.path() / "calls.txt";
    const auto service = write(home.path() / "service.py", R"(import sys
from gi.repository import Gio, GLib
interface = Gio.DBusNodeInfo.new_for_xml("""<node><interface name="org.freedesktop.Application">
<method name="Activate"><arg type="a{sv}" direction="in"/></method>
<method name="Open"><arg type="as" direction="in"/><arg type="a{sv}" direction="in"/></method>
</interface></node>""").interfaces[0]
loop = GLib.MainLoop()
def call(connection, sender, path, name, method, parameters, invocation):
    arguments = parameters.unpack()
    with open(sys.argv[1], "a") as out:
        out.write(" ".join([path, method] + (arguments[0] if method == "Open" else []) + [arguments[-1].get("desktop-startup-id", "")]) + "\n")
    invocation.return_value(None)
    if method == "Open":
        loop.quit()
def bus(connection, name):
    connection.register_object("/org/example/My_App", interface, call, None, None)
Gio.bus_own_name(Gio.BusType.STARTER, "org.example.My-App", Gio.BusNameOwnerFlags.NONE, bus, None, None)
GLib.timeout_add_seconds(10, loop.quit)
loop.run()
)");
    write(home.path() / "system/dbus-1/services/org.example.My-App.service",
          "[D-BUS Service]\nName=org.example.My-App\nExec=/usr/bin/python3 -B " + service.string() + " " +
              calls.string() + "\n");
    const auto out = home.path() / "exec.txt";
    const auto recorder = writeRecorder(home.path() / "bin/record", "");
    writeEntry(userApplications() / "org.example.My-App.desktop", "App", "DBusActivatable=true\n",
               recorder.string() + " " + out.string() + " %U");
    PrivateSessionBus bus(home.path() / "bus");
    setVariable("DBUS_SESSION_BUS_ADDRESS", bus.address());
    const auto entry = platform::desktopEntryWithID("org.example.My-App.desktop");
    ASSERT_TRUE(entry);

    platform::ApplicationLauncher launcher;
    const auto activated = launcher.launch(*entry, {});
    EXPECT_TRUE(activated.activatedOnBus) << activated.error;
    const auto opened = launcher.launch(*entry, {{"/tmp/a b.txt", true}, {"other://x", false}});
    EXPECT_TRUE(opened.activatedOnBus) << opened.error;
    EXPECT_EQ(opened.pid, 0);

    std::vector<std::string> lines;
    std::istringstream text(fileText(calls));
    for (std::string line; std::getline(text, line);) lines.push_back(line.substr(0, line.rfind(' ')));
    EXPECT_EQ(lines, (std::vector<std::string>{"/org/example/My_App Activate",
                                               "/org/example/My_App Open file:///tmp/a%20b.txt other://x"}));
    EXPECT_NE(fileText(calls).find("launch-"), std::string::npos) << "no startup id";
    EXPECT_FALSE(std::filesystem::exists(out)) << "the Exec line ran as well";
}

}  // namespace
}  // namespace zentrabo::testing
