#include <fstream>

#include "maccontrol/mac_menu_error.hpp"
#include "server/file_receive_folder.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(ServerTest, ReceiveFolderDisplayPathFollowsChoiceAndReset) {
    auto server = makeServer();
    EXPECT_EQ(*server->fileReceiveFolderDisplayPath(), "~/Downloads/Zentrabo");
    EXPECT_EQ(server->fileReceiveFolderURL(), home.path().string() + "/Downloads/Zentrabo");
    const auto assignments = countAssignments(server->fileReceiveFolderDisplayPath());

    EXPECT_TRUE(server->chooseFileReceiveFolder("~/Inbox"));
    EXPECT_EQ(defaults->string(fileReceiveFolderPathKey), home.path().string() + "/Inbox");
    EXPECT_EQ(*server->fileReceiveFolderDisplayPath(), "~/Inbox");
    EXPECT_EQ(server->fileReceiveFolderURL(), home.path().string() + "/Inbox");
    EXPECT_EQ(*assignments, 1);

    EXPECT_TRUE(server->chooseFileReceiveFolder(home.path().string() + "/Inbox/"));
    EXPECT_FALSE(server->chooseFileReceiveFolder("  "));
    EXPECT_EQ(*assignments, 1) << "an unchanged display path is not published again";

    // A change made elsewhere takes effect at the next read.
    defaults->set(fileReceiveFolderPathKey, std::string("/srv/inbox"));
    EXPECT_EQ(server->fileReceiveFolderURL(), "/srv/inbox");
    server->refreshFileReceiveFolderDisplayPath();
    EXPECT_EQ(*server->fileReceiveFolderDisplayPath(), "/srv/inbox");

    server->resetFileReceiveFolder();
    EXPECT_FALSE(defaults->string(fileReceiveFolderPathKey));
    EXPECT_EQ(*server->fileReceiveFolderDisplayPath(), "~/Downloads/Zentrabo");
    EXPECT_EQ(*assignments, 3);

    // The choice is kept for the next start.
    EXPECT_TRUE(server->chooseFileReceiveFolder("~/Kept"));
    server.reset();
    EXPECT_EQ(*makeServer()->fileReceiveFolderDisplayPath(), "~/Kept");
}

TEST_F(ServerTest, OpeningTheReceiveFolderShowsItOnceItExists) {
    auto server = makeServer();
    const auto opened = [&] {
        int count = 0;
        for (const auto& entry : desktop->journal()) count += entry.action == "openFile";
        return count;
    };
    server->openFileReceiveFolder();
    EXPECT_EQ(opened(), 0) << "a folder that does not exist yet shows nothing";
    std::filesystem::create_directories(home.path() / "Downloads/Zentrabo");
    server->openFileReceiveFolder();
    ASSERT_EQ(opened(), 1);
    EXPECT_EQ(desktop->journal().back().subject, home.path().string() + "/Downloads/Zentrabo");
}

TEST_F(ServerTest, FileResourceRequestsAnswerOnTheMainLoop) {
    std::filesystem::create_directories(home.path() / "Shared");
    std::ofstream(home.path() / "Shared/File10") << "x";
    std::ofstream(home.path() / "Shared/File2") << "x";
    auto server = makeServer();

    std::vector<RemoteFileResourceResult> results;
    HalvardineRequest request;
    request.filePath = "Shared";
    server->remoteFileResource(fileResourceQuery(request),
                               [&](RemoteFileResourceResult result) { results.push_back(std::move(result)); });
    request.filePath = "Nowhere";
    server->remoteFileResource(fileResourceQuery(request),
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
