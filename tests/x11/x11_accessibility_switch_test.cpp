// The session's accessibility switch (org.a11y.Status.IsEnabled) as the X11
// desktop's accessibility trust and the permission status built on it. The
// switch is turned and read through the session bus with gdbus, as a
// desktop's settings would turn it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
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
    EXPECT_TRUE(statusShows("accessibility: not granted"));

    ASSERT_TRUE(process->writeLine("request accessibility"));
    EXPECT_THAT(process->readLineStartingWith("Accessibility access requested: ", terminalDeadline).value_or(""),
                HasSubstr("requested: granted"));
    EXPECT_THAT(process->readLineStartingWith("Applications started ", terminalDeadline).value_or(""),
                HasSubstr("restart"));
    EXPECT_EQ(witnessedSwitch(), "(<true>,)\n");
    EXPECT_TRUE(statusShows("accessibility: granted"));
}

}  // namespace
}  // namespace zentrabo::testing
