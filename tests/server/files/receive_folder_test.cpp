// The receive folder on its own: a temporary home, its settings, a virtual
// desktop that records what is opened, and a manual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "maccontrol/mac_menu_error.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "server/files/file_receive_folder.hpp"
#include "server/files/receive_folder.hpp"
#include "support/published_count.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

class ReceiveFolderTest : public ::testing::Test {
protected:
    // A folder on a fresh view of the settings, as after a restart.
    std::unique_ptr<ReceiveFolder> makeFolder() {
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        return std::make_unique<ReceiveFolder>(clock, mainLoop.executor(), *defaults, *desktop);
    }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    std::shared_ptr<platform::VirtualDesktop> desktop =
        platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    std::shared_ptr<platform::UserDefaults> defaults;
};

TEST_F(ReceiveFolderTest, ReceiveFolderDisplayPathFollowsChoiceAndReset) {
    auto folder = makeFolder();
    EXPECT_EQ(*folder->fileReceiveFolderDisplayPath(), "~/Downloads/Zentrabo");
    EXPECT_EQ(folder->fileReceiveFolderURL(), home.path().string() + "/Downloads/Zentrabo");
    const auto assignments = countAssignments(folder->fileReceiveFolderDisplayPath());

    EXPECT_FALSE(folder->chooseFileReceiveFolder("~/Inbox"));
    EXPECT_EQ(defaults->string(fileReceiveFolderPathKey), home.path().string() + "/Inbox");
    EXPECT_EQ(*folder->fileReceiveFolderDisplayPath(), "~/Inbox");
    EXPECT_EQ(folder->fileReceiveFolderURL(), home.path().string() + "/Inbox");
    EXPECT_EQ(*assignments, 1);

    EXPECT_FALSE(folder->chooseFileReceiveFolder(home.path().string() + "/Inbox/"));
    EXPECT_EQ(folder->chooseFileReceiveFolder("  "), std::errc::invalid_argument);
    EXPECT_EQ(*assignments, 1) << "an unchanged display path is not published again";

    // A change made elsewhere takes effect at the next read.
    defaults->set(fileReceiveFolderPathKey, std::string("/srv/inbox"));
    EXPECT_EQ(folder->fileReceiveFolderURL(), "/srv/inbox");
    folder->refreshFileReceiveFolderDisplayPath();
    EXPECT_EQ(*folder->fileReceiveFolderDisplayPath(), "/srv/inbox");

    folder->resetFileReceiveFolder();
    EXPECT_FALSE(defaults->string(fileReceiveFolderPathKey));
    EXPECT_EQ(*folder->fileReceiveFolderDisplayPath(), "~/Downloads/Zentrabo");
    EXPECT_EQ(*assignments, 3);

    // The choice is kept for the next start.
    EXPECT_FALSE(folder->chooseFileReceiveFolder("~/Kept"));
    folder.reset();
    EXPECT_EQ(*makeFolder()->fileReceiveFolderDisplayPath(), "~/Kept");
}

TEST_F(ReceiveFolderTest, OpeningTheReceiveFolderShowsItOnceItExists) {
    auto folder = makeFolder();
    const auto opened = [&] {
        int count = 0;
        for (const auto& entry : desktop->journal()) count += entry.action == "openFile";
        return count;
    };
    folder->openFileReceiveFolder();
    EXPECT_EQ(opened(), 0) << "a folder that does not exist yet shows nothing";
    std::filesystem::create_directories(home.path() / "Downloads/Zentrabo");
    folder->openFileReceiveFolder();
    ASSERT_EQ(opened(), 1);
    EXPECT_EQ(desktop->journal().back().subject, home.path().string() + "/Downloads/Zentrabo");
}

TEST_F(ReceiveFolderTest, FileResourceRequestsAnswerOnTheMainLoop) {
    std::filesystem::create_directories(home.path() / "Shared");
    std::ofstream(home.path() / "Shared/File10") << "x";
    std::ofstream(home.path() / "Shared/File2") << "x";
    auto folder = makeFolder();

    std::vector<RemoteFileResourceResult> results;
    HalvardineRequest request;
    request.filePath = "Shared";
    folder->remoteFileResource(fileResourceQuery(request),
                               [&](RemoteFileResourceResult result) { results.push_back(std::move(result)); });
    request.filePath = "Nowhere";
    folder->remoteFileResource(fileResourceQuery(request),
                               [&](RemoteFileResourceResult result) { results.push_back(std::move(result)); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (results.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        mainLoop.context().run_one_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(results.size(), 2u);
    for (const auto& result : results) {
        if (const auto* resource = std::get_if<RemoteFileResource>(&result)) {
            ASSERT_TRUE(resource->entries);
            ASSERT_EQ(resource->entries->size(), 2u);
            EXPECT_EQ(resource->entries->front().name, "File2");
        } else {
            EXPECT_THROW(std::rethrow_exception(std::get<std::exception_ptr>(result)), MacMenuError);
        }
    }
}

}  // namespace
}  // namespace zentrabo::testing
