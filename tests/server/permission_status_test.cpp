#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <stdexcept>

#include "server_fixture.hpp"
#include "support/device_request.hpp"

namespace zentrabo::testing {
namespace {

using platform::LoginItemStatus;

class PermissionStatusTest : public ServerTest {
protected:
    // Starts with both permissions refused, as on a fresh installation.
    std::shared_ptr<HalvardineServer> makeRefusedServer() {
        desktop = platform::VirtualDesktop::create(
            platform::DesktopBuilder().accessibilityTrusted(false).screenRecordingAllowed(false).build(), clock);
        return makeServer();
    }

    // Moves the clock to `seconds` after the server was made in steps of at
    // most a quarter second, running what became due after each, as a main
    // loop would: a periodic task reschedules itself when its turn runs.
    void advanceTo(double seconds) {
        while (elapsed_ < seconds) {
            const double next = std::min(seconds, (std::floor(elapsed_ / 0.25) + 1) * 0.25);
            clock.advance(next - elapsed_);
            elapsed_ = next;
            mainLoop.runReady();
        }
    }

    void makeServerProgram() {
        std::filesystem::create_directories(serverProgram().parent_path());
        std::ofstream(serverProgram()) << "#!/bin/sh\n";
    }

private:
    double elapsed_ = 0;
};

TEST_F(PermissionStatusTest, StartsWithWhatTheDesktopAndTheLoginItemReport) {
    auto server = makeRefusedServer();
    EXPECT_FALSE(*server->hasAccessibilityAccess());
    EXPECT_FALSE(*server->hasScreenRecordingAccess());
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::notRegistered);

    server.reset();
    desktop = platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    server = makeServer();
    EXPECT_TRUE(*server->hasAccessibilityAccess());
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
}

TEST_F(PermissionStatusTest, AccessibilityGrantShowsWithinTwoSecondsAndOnlyChangesArePublished) {
    auto server = makeRefusedServer();
    const auto accessibilityWrites = countAssignments(server->hasAccessibilityAccess());
    const auto screenWrites = countAssignments(server->hasScreenRecordingAccess());

    // Unchanged permissions: refreshes of every kind stay silent.
    advanceTo(20.0);
    server->refreshAccessibilityAccess();
    server->refreshScreenRecordingAccess();
    server->refreshLoginItemStatus();
    EXPECT_EQ(*accessibilityWrites, 0);
    EXPECT_EQ(*screenWrites, 0);

    // A grant in the settings appears at the next 2 s tick, without a request.
    desktop->setAccessibilityTrusted(true);
    advanceTo(21.9);
    EXPECT_FALSE(*server->hasAccessibilityAccess());
    advanceTo(22.05);
    EXPECT_TRUE(*server->hasAccessibilityAccess());
    advanceTo(40.0);
    EXPECT_EQ(*accessibilityWrites, 1);

    // Screen recording has no periodic refresh: only an explicit re-read sees it.
    desktop->setScreenRecordingAllowed(true);
    advanceTo(60.0);
    EXPECT_FALSE(*server->hasScreenRecordingAccess());
    server->refreshScreenRecordingAccess();
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
    EXPECT_EQ(*screenWrites, 1);
}

TEST_F(PermissionStatusTest, ScreenRecordingIsReadAgainOneFourAndTwelveSecondsAfterTheRequest) {
    auto server = makeRefusedServer();
    const auto screenWrites = countAssignments(server->hasScreenRecordingAccess());
    server->requestScreenRecordingAccess();
    EXPECT_EQ(desktop->journal().back().action, "requestScreenRecording");
    EXPECT_EQ(*screenWrites, 0);  // the refusal changed nothing

    desktop->setScreenRecordingAllowed(true);
    advanceTo(0.95);
    EXPECT_FALSE(*server->hasScreenRecordingAccess());
    advanceTo(1.05);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());

    desktop->setScreenRecordingAllowed(false);
    advanceTo(3.95);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
    advanceTo(4.05);
    EXPECT_FALSE(*server->hasScreenRecordingAccess());

    desktop->setScreenRecordingAllowed(true);
    advanceTo(11.95);
    EXPECT_FALSE(*server->hasScreenRecordingAccess());
    advanceTo(12.05);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());

    // The sequence is over after its third check.
    desktop->setScreenRecordingAllowed(false);
    advanceTo(60.0);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
    EXPECT_EQ(*screenWrites, 3);
}

TEST_F(PermissionStatusTest, AccessibilityRequestChecksAgainBetweenThePeriodicTicks) {
    auto server = makeRefusedServer();
    advanceTo(0.5);
    server->requestAccessibilityAccess();
    EXPECT_EQ(desktop->journal().back().action, "requestAccessibility");

    // Checks at 1.5, 4.5 and 12.5 s; the periodic refresh ticks on even seconds.
    desktop->setAccessibilityTrusted(true);
    advanceTo(1.45);
    EXPECT_FALSE(*server->hasAccessibilityAccess());
    advanceTo(1.55);
    EXPECT_TRUE(*server->hasAccessibilityAccess());

    advanceTo(4.1);
    desktop->setAccessibilityTrusted(false);
    advanceTo(4.45);
    EXPECT_TRUE(*server->hasAccessibilityAccess());
    advanceTo(4.55);
    EXPECT_FALSE(*server->hasAccessibilityAccess());

    advanceTo(12.1);
    desktop->setAccessibilityTrusted(true);
    advanceTo(12.55);
    EXPECT_TRUE(*server->hasAccessibilityAccess());

    // After the sequence only the periodic ticks remain.
    advanceTo(14.1);
    desktop->setAccessibilityTrusted(false);
    advanceTo(15.95);
    EXPECT_TRUE(*server->hasAccessibilityAccess());
    advanceTo(16.05);
    EXPECT_FALSE(*server->hasAccessibilityAccess());
}

TEST_F(PermissionStatusTest, TwoRequestsRunTwoSequencesAndTheServerTakesItsTimersAlong) {
    const std::size_t pendingBefore = clock.pendingCount();
    auto server = makeRefusedServer();
    server->startAccessibilityRefreshTask();  // as a listener restart does: no second task
    server->requestScreenRecordingAccess();
    advanceTo(2.0);
    server->requestScreenRecordingAccess();

    // The first sequence checks at 1, 4, 12; the second at 3, 6, 14.
    desktop->setScreenRecordingAllowed(true);
    advanceTo(3.05);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
    desktop->setScreenRecordingAllowed(false);
    advanceTo(13.0);
    desktop->setScreenRecordingAllowed(true);
    advanceTo(14.05);
    EXPECT_TRUE(*server->hasScreenRecordingAccess());

    server->requestAccessibilityAccess();
    server->requestScreenRecordingAccess();
    server.reset();
    EXPECT_EQ(clock.pendingCount(), pendingBefore);
}

TEST_F(PermissionStatusTest, LoginItemIsRegisteredReportedAndRemovedThroughTheAutostartEntry) {
    makeServerProgram();
    auto server = makeServer();
    const auto entry = home.path() / ".config/autostart/zentrabo-server.desktop";
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::notRegistered);

    server->toggleLoginItem();
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::enabled);
    EXPECT_EQ(*makeServer()->loginItemStatus(), LoginItemStatus::enabled);

    server->toggleLoginItem();
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::notRegistered);
}

TEST_F(PermissionStatusTest, MissingProgramRegistersAgainAndAFailureShowsOnlyInTheStatus) {
    // An entry whose program is gone reads as notFound; toggling registers
    // (never unregisters), which fails for the missing program.
    makeServerProgram();
    auto server = makeServer();
    server->toggleLoginItem();
    std::filesystem::remove(serverProgram());
    server->refreshLoginItemStatus();
    ASSERT_EQ(*server->loginItemStatus(), LoginItemStatus::notFound);

    const auto writes = countAssignments(server->loginItemStatus());
    server->toggleLoginItem();
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::notFound);
    EXPECT_EQ(*writes, 0);
    EXPECT_TRUE(std::filesystem::exists(platform::XdgAutostartLoginItem::entryPath()));
}

// What the dispatcher answers, run to its end on the main loop.
HalvardineResponse dispatch(HalvardineServer& server, platform::MainLoop& mainLoop, HalvardineRequest request) {
    std::optional<HalvardineResponse> response;
    server.handle(request, HalvardineExtraAuthorizationChannel::local, std::nullopt,
                  [&](HalvardineResponse reply) { response = std::move(reply); });
    mainLoop.runReady();
    EXPECT_TRUE(response) << "no reply to " << request.action;
    return response.value_or(HalvardineResponse{});
}

TEST_F(PermissionStatusTest, EveryRequestPastTheVersionGateShowsThePermissionsAtOnce) {
    auto server = makeServer();
    ASSERT_TRUE(*server->hasAccessibilityAccess());
    ASSERT_TRUE(*server->hasScreenRecordingAccess());
    const auto accessibilityWrites = countAssignments(server->hasAccessibilityAccess());
    const auto screenWrites = countAssignments(server->hasScreenRecordingAccess());
    // The clock stands still throughout: no 2 s refresh can fire.
    desktop->setAccessibilityTrusted(false);
    desktop->setScreenRecordingAllowed(false);

    // A request the version gate refuses reads nothing.
    auto outdated = deviceRequest("V-1", "ping");
    outdated.clientProtocolVersion = 0;
    EXPECT_EQ(dispatch(*server, mainLoop, outdated).errorCode, HalvardineErrorCode::actionFailed);
    EXPECT_TRUE(*server->hasAccessibilityAccess());
    EXPECT_TRUE(*server->hasScreenRecordingAccess());

    // Refused or not, the next request publishes both withdrawals.
    EXPECT_EQ(dispatch(*server, mainLoop, deviceRequest("V-2", "ping")).errorCode, HalvardineErrorCode::notAuthorized);
    EXPECT_FALSE(*server->hasAccessibilityAccess());
    EXPECT_FALSE(*server->hasScreenRecordingAccess());

    // An unknown action counts too, and a grant shows as quickly.
    desktop->setScreenRecordingAllowed(true);
    EXPECT_EQ(dispatch(*server, mainLoop, deviceRequest("V-3", "Ping")).error, "Unknown action.");
    EXPECT_FALSE(*server->hasAccessibilityAccess());
    EXPECT_TRUE(*server->hasScreenRecordingAccess());
    EXPECT_EQ(*accessibilityWrites, 1);
    EXPECT_EQ(*screenWrites, 2);
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

TEST_F(PermissionStatusTest, RequiresApprovalRegistersAndSwallowsTheRefusal) {
    auto item = std::make_shared<ApprovalLoginItem>();
    loginItem = item;
    auto server = makeServer();
    EXPECT_NO_THROW(server->toggleLoginItem());
    EXPECT_EQ(item->registrations, 1);
    EXPECT_EQ(item->removals, 0);
    EXPECT_EQ(*server->loginItemStatus(), LoginItemStatus::requiresApproval);
}

}  // namespace
}  // namespace zentrabo::testing
