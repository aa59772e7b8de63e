// The permission monitor on its own: a virtual desktop, a login item in a
// temporary home and a manual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/xdg_autostart_login_item.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "support/published_count.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using platform::LoginItemStatus;

class PermissionMonitorTest : public ::testing::Test {
protected:
    // A monitor on a desktop that grants both permissions, or refuses both
    // as on a fresh installation.
    std::unique_ptr<PermissionMonitor> makeMonitor(bool granted = true) {
        desktop = platform::VirtualDesktop::create(
            platform::DesktopBuilder().accessibilityTrusted(granted).screenRecordingAllowed(granted).build(), clock);
        return std::make_unique<PermissionMonitor>(clock, mainLoop.executor(), *desktop, loginItem);
    }
    std::unique_ptr<PermissionMonitor> makeRefusedMonitor() { return makeMonitor(false); }

    // Moves the clock to `seconds` after the start in steps of at most a
    // quarter second, running what became due after each, as a main loop
    // would: a periodic task reschedules itself when its turn runs.
    void advanceTo(double seconds) {
        while (elapsed_ < seconds) {
            const double next = std::min(seconds, (std::floor(elapsed_ / 0.25) + 1) * 0.25);
            clock.advance(next - elapsed_);
            elapsed_ = next;
            mainLoop.runReady();
        }
    }

    // The program the login item starts: inside the temporary home, so a
    // test decides whether it exists.
    std::filesystem::path serverProgram() const { return home.path() / "bin/zentrabo-server"; }
    void makeServerProgram() {
        std::filesystem::create_directories(serverProgram().parent_path());
        std::ofstream(serverProgram()) << "#!/bin/sh\n";
        std::filesystem::permissions(serverProgram(), std::filesystem::perms::owner_all);
    }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    std::shared_ptr<platform::VirtualDesktop> desktop;
    std::shared_ptr<platform::LoginItem> loginItem = std::make_shared<platform::XdgAutostartLoginItem>(serverProgram());

private:
    double elapsed_ = 0;
};

TEST_F(PermissionMonitorTest, StartsWithWhatTheDesktopAndTheLoginItemReport) {
    auto monitor = makeRefusedMonitor();
    EXPECT_FALSE(*monitor->hasAccessibilityAccess());
    EXPECT_FALSE(*monitor->hasScreenRecordingAccess());
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::notRegistered);

    monitor = makeMonitor();
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());
}

TEST_F(PermissionMonitorTest, AccessibilityGrantShowsWithinTwoSecondsAndOnlyChangesArePublished) {
    auto monitor = makeRefusedMonitor();
    monitor->startAccessibilityRefreshTask();
    const auto accessibilityWrites = countAssignments(monitor->hasAccessibilityAccess());
    const auto screenWrites = countAssignments(monitor->hasScreenRecordingAccess());

    // Unchanged permissions: refreshes of every kind stay silent.
    advanceTo(20.0);
    monitor->refreshAccessibilityAccess();
    monitor->refreshScreenRecordingAccess();
    monitor->refreshLoginItemStatus();
    EXPECT_EQ(*accessibilityWrites, 0);
    EXPECT_EQ(*screenWrites, 0);

    // A grant in the settings appears at the next 2 s tick, without a request.
    desktop->setAccessibilityTrusted(true);
    advanceTo(21.9);
    EXPECT_FALSE(*monitor->hasAccessibilityAccess());
    advanceTo(22.05);
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());
    advanceTo(40.0);
    EXPECT_EQ(*accessibilityWrites, 1);

    // Screen recording has no periodic refresh: only an explicit re-read sees it.
    desktop->setScreenRecordingAllowed(true);
    advanceTo(60.0);
    EXPECT_FALSE(*monitor->hasScreenRecordingAccess());
    monitor->refreshScreenRecordingAccess();
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());
    EXPECT_EQ(*screenWrites, 1);
}

TEST_F(PermissionMonitorTest, ScreenRecordingIsReadAgainOneFourAndTwelveSecondsAfterTheRequest) {
    auto monitor = makeRefusedMonitor();
    const auto screenWrites = countAssignments(monitor->hasScreenRecordingAccess());
    monitor->requestScreenRecordingAccess();
    EXPECT_EQ(desktop->journal().back().action, "requestScreenRecording");
    EXPECT_EQ(*screenWrites, 0);  // the refusal changed nothing

    desktop->setScreenRecordingAllowed(true);
    advanceTo(0.95);
    EXPECT_FALSE(*monitor->hasScreenRecordingAccess());
    advanceTo(1.05);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());

    desktop->setScreenRecordingAllowed(false);
    advanceTo(3.95);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());
    advanceTo(4.05);
    EXPECT_FALSE(*monitor->hasScreenRecordingAccess());

    desktop->setScreenRecordingAllowed(true);
    advanceTo(11.95);
    EXPECT_FALSE(*monitor->hasScreenRecordingAccess());
    advanceTo(12.05);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());

    // The sequence is over after its third check.
    desktop->setScreenRecordingAllowed(false);
    advanceTo(60.0);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());
    EXPECT_EQ(*screenWrites, 3);
}

TEST_F(PermissionMonitorTest, AccessibilityRequestChecksAgainBetweenThePeriodicTicks) {
    auto monitor = makeRefusedMonitor();
    monitor->startAccessibilityRefreshTask();
    advanceTo(0.5);
    monitor->requestAccessibilityAccess();
    EXPECT_EQ(desktop->journal().back().action, "requestAccessibility");

    // Checks at 1.5, 4.5 and 12.5 s; the periodic refresh ticks on even seconds.
    desktop->setAccessibilityTrusted(true);
    advanceTo(1.45);
    EXPECT_FALSE(*monitor->hasAccessibilityAccess());
    advanceTo(1.55);
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());

    advanceTo(4.1);
    desktop->setAccessibilityTrusted(false);
    advanceTo(4.45);
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());
    advanceTo(4.55);
    EXPECT_FALSE(*monitor->hasAccessibilityAccess());

    advanceTo(12.1);
    desktop->setAccessibilityTrusted(true);
    advanceTo(12.55);
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());

    // After the sequence only the periodic ticks remain.
    advanceTo(14.1);
    desktop->setAccessibilityTrusted(false);
    advanceTo(15.95);
    EXPECT_TRUE(*monitor->hasAccessibilityAccess());
    advanceTo(16.05);
    EXPECT_FALSE(*monitor->hasAccessibilityAccess());
}

TEST_F(PermissionMonitorTest, TwoRequestsRunTwoSequencesAndTheMonitorTakesItsTimersAlong) {
    auto monitor = makeRefusedMonitor();
    const std::size_t pendingBefore = clock.pendingCount();
    monitor->startAccessibilityRefreshTask();
    monitor->startAccessibilityRefreshTask();  // as a listener restart does: no second task
    monitor->requestScreenRecordingAccess();
    advanceTo(2.0);
    monitor->requestScreenRecordingAccess();

    // The first sequence checks at 1, 4, 12; the second at 3, 6, 14.
    desktop->setScreenRecordingAllowed(true);
    advanceTo(3.05);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());
    desktop->setScreenRecordingAllowed(false);
    advanceTo(13.0);
    desktop->setScreenRecordingAllowed(true);
    advanceTo(14.05);
    EXPECT_TRUE(*monitor->hasScreenRecordingAccess());

    monitor->requestAccessibilityAccess();
    monitor->requestScreenRecordingAccess();
    monitor.reset();
    EXPECT_EQ(clock.pendingCount(), pendingBefore);
}

TEST_F(PermissionMonitorTest, LoginItemIsRegisteredReportedAndRemovedThroughTheAutostartEntry) {
    makeServerProgram();
    auto monitor = makeMonitor();
    const auto entry = home.path() / ".config/autostart/zentrabo-server.desktop";
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::notRegistered);

    monitor->toggleLoginItem();
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::enabled);
    EXPECT_EQ(*makeMonitor()->loginItemStatus(), LoginItemStatus::enabled);

    monitor->toggleLoginItem();
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::notRegistered);
}

TEST_F(PermissionMonitorTest, MissingProgramRegistersAgainAndAFailureShowsOnlyInTheStatus) {
    // An entry whose program is gone reads as notFound; toggling registers
    // (never unregisters), which fails for the missing program.
    makeServerProgram();
    auto monitor = makeMonitor();
    monitor->toggleLoginItem();
    std::filesystem::remove(serverProgram());
    monitor->refreshLoginItemStatus();
    ASSERT_EQ(*monitor->loginItemStatus(), LoginItemStatus::notFound);

    const auto writes = countAssignments(monitor->loginItemStatus());
    monitor->toggleLoginItem();
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::notFound);
    EXPECT_EQ(*writes, 0);
    EXPECT_TRUE(std::filesystem::exists(platform::XdgAutostartLoginItem::entryPath()));
}

// A login item that must be approved first, as some systems ask.
class ApprovalLoginItem final : public platform::LoginItem {
public:
    LoginItemStatus status() override { return LoginItemStatus::requiresApproval; }
    void registerItem() override {
        ++registrations;
        throw platform::LoginItemError("approval required");
    }
    void unregisterItem() override { ++removals; }
    int registrations = 0;
    int removals = 0;
};

TEST_F(PermissionMonitorTest, RequiresApprovalRegistersAndSwallowsTheRefusal) {
    auto item = std::make_shared<ApprovalLoginItem>();
    loginItem = item;
    auto monitor = makeMonitor();
    EXPECT_NO_THROW(monitor->toggleLoginItem());
    EXPECT_EQ(item->registrations, 1);
    EXPECT_EQ(item->removals, 0);
    EXPECT_EQ(*monitor->loginItemStatus(), LoginItemStatus::requiresApproval);
}

}  // namespace
}  // namespace zentrabo::testing
