#include <chrono>
#include <fstream>
#include <thread>

#include "support/device_request.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

// The dispatcher's rows for files, applications, URLs and modal windows,
// driven through handle() as the connection path calls it.
class DispatchRowsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        platform::DesktopBuilder builder;
        builder.application("Editor", "com.example.editor").window("Untitled", {100, 100, 400, 300});
        builder.application("Viewer", "com.example.viewer").window("Photo", {50, 50, 300, 200});
        builder.application("Notes", "com.example.notes").notRunning();
        builder.frontmost("com.example.editor");
        desktop = platform::VirtualDesktop::create(builder.build(), clock);
        server = makeServer();
        fingerprint = std::string(64, 'a');
        server->authorization().completePairing(*fingerprint, std::string("Phone"), Channel::local);
    }

    // The reply to the request, running the main loop until it arrives
    // (the file listing answers from another thread).
    HalvardineResponse send(HalvardineRequest request) {
        std::optional<HalvardineResponse> reply;
        server->handle(request, Channel::local, fingerprint, [&](DispatchOutcome outcome) {
            reply = std::get<HalvardineResponse>(std::move(outcome.answer));
        });
        for (int turn = 0; !reply && turn < 20'000; ++turn) {
            mainLoop.runReady();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        EXPECT_TRUE(reply.has_value()) << "no reply to " << request.action;
        return reply.value_or(HalvardineResponse{});
    }

    std::vector<std::string> journalSubjects(const std::string& action) {
        std::vector<std::string> subjects;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == action) subjects.push_back(entry.subject);
        }
        return subjects;
    }

    std::shared_ptr<HalvardineServer> server;
    std::optional<std::string> fingerprint;
};

TEST_F(DispatchRowsTest, FileResourceListsAFolderWithTheDefaults) {
    const auto folder = home.path() / "Shared";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "File10.txt") << "ten";
    std::ofstream(folder / "File2.txt") << "two";
    std::ofstream(folder / ".hidden") << "x";

    auto listing = deviceRequest("R-1", "fileResource");
    listing.filePath = folder.string();
    const auto response = send(listing);
    ASSERT_TRUE(response.ok) << response.error.value_or("");
    ASSERT_TRUE(response.fileResource);
    ASSERT_TRUE(response.fileResource->entries);
    std::vector<std::string> names;
    for (const auto& entry : *response.fileResource->entries) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"File2.txt", "File10.txt"}));

    auto missing = deviceRequest("R-1", "fileResource");
    missing.filePath = (folder / "absent.txt").string();
    const auto refusal = send(missing);
    EXPECT_FALSE(refusal.ok);
    EXPECT_EQ(refusal.errorCode, HalvardineErrorCode::fileBrowserPathUnavailable);
}

TEST_F(DispatchRowsTest, ApplicationRowsActOnTheDesktop) {
    auto activate = deviceRequest("R-1", "activate");
    activate.bundleIdentifier = "com.example.viewer";
    EXPECT_TRUE(send(activate).ok);
    EXPECT_EQ(desktop->workspace().frontmostApplication()->bundleIdentifier(), "com.example.viewer");

    // A named application that is not running is never replaced by the
    // frontmost one.
    auto quitAbsent = deviceRequest("R-1", "quit");
    quitAbsent.bundleIdentifier = "com.example.notes";
    const auto refusal = send(quitAbsent);
    EXPECT_FALSE(refusal.ok);
    EXPECT_EQ(refusal.errorCode, HalvardineErrorCode::applicationNotRunning);
    EXPECT_TRUE(journalSubjects("terminate").empty());

    auto quit = deviceRequest("R-1", "quit");
    quit.bundleIdentifier = "com.example.editor";
    EXPECT_TRUE(send(quit).ok);
    EXPECT_EQ(journalSubjects("terminate"), std::vector<std::string>{"com.example.editor"});
}

TEST_F(DispatchRowsTest, OpenURLAndModalRows) {
    auto open = deviceRequest("R-1", "openURL");
    open.urlString = "https://example.com/a";
    EXPECT_TRUE(send(open).ok);
    EXPECT_EQ(journalSubjects("openURL"), std::vector<std::string>{"https://example.com/a"});

    auto bad = deviceRequest("R-1", "openURL");
    bad.urlString = "not a url";
    const auto refusal = send(bad);
    EXPECT_FALSE(refusal.ok);
    EXPECT_EQ(refusal.errorCode, HalvardineErrorCode::invalidURL);

    // No modal window: success without modalInfo.
    const auto modal = send(deviceRequest("R-1", "modalInfo"));
    EXPECT_TRUE(modal.ok);
    EXPECT_FALSE(modal.modalInfo);
}

TEST_F(DispatchRowsTest, AWallpaperThatCannotBeMadeLeavesItsFieldOut) {
    // No picture file, and the Dock's window cannot be captured.
    desktop->setScreenRecordingAllowed(false);
    const auto response = send(deviceRequest("R-1", "displayWallpaper"));
    EXPECT_TRUE(response.ok) << response.error.value_or("");
    EXPECT_FALSE(response.displayWallpapers);
}

TEST_F(DispatchRowsTest, RowsNeedAPairedClient) {
    HalvardineRequest listing = deviceRequest("R-1", "fileResource");
    std::optional<HalvardineResponse> reply;
    server->handle(listing, Channel::local, std::string(64, 'b'),
                   [&](DispatchOutcome outcome) { reply = std::get<HalvardineResponse>(std::move(outcome.answer)); });
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->error, "Not authorized.");
    EXPECT_EQ(reply->errorCode, HalvardineErrorCode::notAuthorized);
}

// What the dispatcher answers, run to its end on the main loop.
HalvardineResponse dispatch(HalvardineServer& server, platform::MainLoop& mainLoop, HalvardineRequest request) {
    std::optional<HalvardineResponse> response;
    server.handle(request, HalvardineExtraAuthorizationChannel::local, std::nullopt,
                  [&](DispatchOutcome outcome) { response = std::get<HalvardineResponse>(std::move(outcome.answer)); });
    mainLoop.runReady();
    EXPECT_TRUE(response) << "no reply to " << request.action;
    return response.value_or(HalvardineResponse{});
}

TEST_F(ServerTest, EveryRequestPastTheVersionGateShowsThePermissionsAtOnce) {
    auto server = makeServer();
    const auto& permissions = server->permissions();
    ASSERT_TRUE(*permissions.hasAccessibilityAccess());
    ASSERT_TRUE(*permissions.hasScreenRecordingAccess());
    const auto accessibilityWrites = countAssignments(permissions.hasAccessibilityAccess());
    const auto screenWrites = countAssignments(permissions.hasScreenRecordingAccess());
    // The clock stands still throughout: no 2 s refresh can fire.
    desktop->setAccessibilityTrusted(false);
    desktop->setScreenRecordingAllowed(false);

    // A request the version gate refuses reads nothing.
    auto outdated = deviceRequest("V-1", "ping");
    outdated.clientProtocolVersion = 0;
    EXPECT_EQ(dispatch(*server, mainLoop, outdated).errorCode, HalvardineErrorCode::actionFailed);
    EXPECT_TRUE(*permissions.hasAccessibilityAccess());
    EXPECT_TRUE(*permissions.hasScreenRecordingAccess());

    // Refused or not, the next request publishes both withdrawals.
    EXPECT_EQ(dispatch(*server, mainLoop, deviceRequest("V-2", "ping")).errorCode, HalvardineErrorCode::notAuthorized);
    EXPECT_FALSE(*permissions.hasAccessibilityAccess());
    EXPECT_FALSE(*permissions.hasScreenRecordingAccess());

    // An unknown action counts too, and a grant shows as quickly.
    desktop->setScreenRecordingAllowed(true);
    EXPECT_EQ(dispatch(*server, mainLoop, deviceRequest("V-3", "Ping")).error, "Unknown action.");
    EXPECT_FALSE(*permissions.hasAccessibilityAccess());
    EXPECT_TRUE(*permissions.hasScreenRecordingAccess());
    EXPECT_EQ(*accessibilityWrites, 1);
    EXPECT_EQ(*screenWrites, 2);
}

}  // namespace
}  // namespace zentrabo::testing
