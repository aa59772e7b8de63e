// The session's accessibility switch (org.a11y.Status.IsEnabled) as the X11
// desktop's accessibility trust and the permission status built on it. The
// switch is turned and read through the session bus with gdbus, as a
// desktop's settings would turn it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "support/temporary_home.hpp"
#include "support/x11_witness.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_desktop_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::HasSubstr;

// The permission monitor reads the trust this often.
constexpr double refreshInterval = 2.0;

const std::string switchProperty =
    "gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus --method "
    "org.freedesktop.DBus.Properties.";

void turnSwitch(bool on) {
    witnessOutput(switchProperty + "Set org.a11y.Status IsEnabled '<" + (on ? "true" : "false") + ">'");
}

std::string witnessedSwitch() { return witnessOutput(switchProperty + "Get org.a11y.Status IsEnabled"); }

// Leaves the switch on, whatever the test did: the other accessibility tests
// need it.
template <typename Base>
class SwitchTest : public Base {
protected:
    void TearDown() override {
        turnSwitch(true);
        Base::TearDown();
    }
};

class AccessibilitySwitch : public SwitchTest<X11DesktopTest> {
protected:
    platform::Accessibility& accessibility() { return desktop->accessibility(); }

    // Whether the trust reads `trusted` within the monitor's interval: the
    // change signal has arrived by its next refresh.
    bool trustBecomes(bool trusted) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(refreshInterval);
        while (accessibility().isProcessTrusted() != trusted) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
};

TEST_F(AccessibilitySwitch, PermissionStatusFollowsTheSwitchByTheNextRefresh) {
    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock monitorClock{platform::Date{800'000'000.0}};
    PermissionMonitor monitor(monitorClock, mainLoop.executor(), *desktop,
                              std::make_shared<platform::XdgAutostartLoginItem>(home.path() / "zentrabo-server"));
    monitor.startAccessibilityRefreshTask();
    ASSERT_EQ(witnessedSwitch(), "(<true>,)\n");
    EXPECT_TRUE(*monitor.hasAccessibilityAccess());
    EXPECT_TRUE(*monitor.hasScreenRecordingAccess()) << "X11 has no screen-recording permission to refuse";

    for (const bool on : {false, true, false, true}) {
        turnSwitch(on);
        ASSERT_TRUE(trustBecomes(on)) << "the switch turned " << (on ? "on" : "off") << " was not seen in time";
        monitorClock.advance(refreshInterval);
        mainLoop.runReady();
        EXPECT_EQ(*monitor.hasAccessibilityAccess(), on) << "the refresh after the switch turned " << on;
    }
}

TEST_F(AccessibilitySwitch, TheRequestTurnsTheSwitchOn) {
    turnSwitch(false);
    ASSERT_TRUE(trustBecomes(false));
    EXPECT_TRUE(accessibility().requestProcessTrust());
    EXPECT_EQ(witnessedSwitch(), "(<true>,)\n");
    EXPECT_TRUE(accessibility().isProcessTrusted());
}

using BinaryAccessibilitySwitch = SwitchTest<BinaryX11Test>;

TEST_F(BinaryAccessibilitySwitch, StatusShowsTheSwitchAndTheRequestTurnsItOn) {
    const auto statusShows = [&](const std::string& line) {
        // Bounded by the terminal's deadline; the refresh comes every 2 s.
        return eventually([&] {
            return process->writeLine("status") &&
                   process->readLineStartingWith("accessibility: ", terminalDeadline) == line;
        });
    };
    ASSERT_TRUE(statusShows("accessibility: granted"));
    turnSwitch(false);
    // Not granted, with what to do about it.
    EXPECT_TRUE(
        statusShows("accessibility: not granted (menus, dialogs and keys need it; type request accessibility)"));

    // A start while it is off says what to do.
    restartProcess();
    EXPECT_EQ(process->readLine(terminalDeadline),
              "Accessibility is off: menus, dialogs and keys need it; type request accessibility");

    ASSERT_TRUE(process->writeLine("request accessibility"));
    EXPECT_THAT(process->readLineStartingWith("Accessibility access requested: ", terminalDeadline).value_or(""),
                HasSubstr("requested: granted"));
    EXPECT_THAT(process->readLineStartingWith("Applications started ", terminalDeadline).value_or(""),
                HasSubstr("restart"));
    EXPECT_EQ(witnessedSwitch(), "(<true>,)\n");
    EXPECT_TRUE(statusShows("accessibility: granted"));
}

// A server started outside the session's bus (over ssh, say): a request
// says why it cannot switch accessibility on.
class BinaryWithoutSessionBus : public BinaryX11Test {
protected:
    void SetUp() override {
        serverEnvironment = {"DBUS_SESSION_BUS_ADDRESS"};
        BinaryX11Test::SetUp();
    }
};

TEST_F(BinaryWithoutSessionBus, ARequestForAccessibilitySaysThereIsNoSessionBus) {
    ASSERT_TRUE(process->writeLine("request accessibility"));
    ASSERT_TRUE(process->readLineStartingWith("Accessibility access requested: ", terminalDeadline));
    EXPECT_THAT(process->readLine(terminalDeadline).value_or(""),
                ::testing::StartsWith("There is no session bus to switch accessibility on with"));
}

// A session whose accessibility bus starts after the desktop was made: a
// session bus of the test's own that starts nothing by itself, and the bus
// launcher started on it later, as a desktop starts it when accessibility
// is switched on. Needs a process of its own (ctest runs each test alone):
// the library keeps what it reached for the whole process.
class LateAccessibilityBus : public X11SessionTest {
protected:
    void SetUp() override {
        X11SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        display_ = std::getenv("DISPLAY");
        const auto socket = home_.path() / "bus";
        const auto config = home_.path() / "bus.conf";
        std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << socket.string()
                              << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                 "<allow own=\"*\"/></policy></busconfig>\n";
        bus_ = start({"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + config.string()}, {});
        for (int wait = 0; wait < 500 && !std::filesystem::exists(socket); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(std::filesystem::exists(socket));
        // The library would find the session's own bus through the display.
        if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS")) sessionBus_ = address;
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket.string()).c_str(), 1);
        unsetenv("DISPLAY");
    }
    void TearDown() override {
        for (const pid_t pid : {launcher_, bus_}) {
            if (pid <= 0) continue;
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        setenv("DISPLAY", display_.c_str(), 1);
        if (sessionBus_) setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus_->c_str(), 1);
        X11SessionTest::TearDown();
    }

    // A child with the variables set; DISPLAY is unset already, so the
    // launcher never writes the session display's bus address.
    static pid_t start(const std::vector<std::string>& arguments, const std::vector<std::string>& variables) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (const auto& variable : variables) ::putenv(const_cast<char*>(variable.c_str()));
            std::vector<char*> argv;
            for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }
    void startLauncher() {
        const auto settings = home_.path() / "a11y/glib-2.0/settings";
        std::filesystem::create_directories(settings);
        std::ofstream(settings / "keyfile") << "[org/gnome/desktop/interface]\ntoolkit-accessibility=true\n";
        launcher_ = start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"},
                          {"GSETTINGS_BACKEND=keyfile", "XDG_CONFIG_HOME=" + (home_.path() / "a11y").string()});
    }

    TemporaryHome home_;
    std::string display_;
    std::optional<std::string> sessionBus_;
    pid_t bus_ = -1, launcher_ = -1;
};

TEST_F(LateAccessibilityBus, IsFoundByTheNextRefreshWithoutARestart) {
    platform::SystemClock clock;
    const auto desktop = platform::X11Desktop::create(display_, clock);
    auto& accessibility = desktop->accessibility();
    ASSERT_FALSE(accessibility.isProcessTrusted())
        << "the accessibility library reached a bus earlier in this process: run this test alone, as ctest does";
    EXPECT_EQ(accessibility.copyAttribute(accessibility.systemWideElement(), "AXFocusedUIElement").error,
              platform::axerror::apiDisabled);

    startLauncher();
    // Each refresh of the permission monitor asks once; the bus is found by
    // the refresh after the one during which it came up.
    bool trusted = false;
    for (int refresh = 0; refresh < 3 && !trusted; ++refresh) {
        std::this_thread::sleep_for(std::chrono::duration<double>(refreshInterval));
        trusted = accessibility.isProcessTrusted();
    }
    EXPECT_TRUE(trusted);
    EXPECT_NE(accessibility.copyAttribute(accessibility.systemWideElement(), "AXFocusedUIElement").error,
              platform::axerror::apiDisabled);
}

}  // namespace
}  // namespace zentrabo::testing
