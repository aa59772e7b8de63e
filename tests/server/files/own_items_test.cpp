// The server's own files by other roads: a hard link made by the local user
// to the key store, the settings file or the log is refused by
// "fileResource" and "openFile" as the file itself is; a link swapped to an
// own file or folder after the item was judged changes nothing of what is
// read or listed, since everything goes through the judged descriptor.
#include "server/files/remote_file_resource.hpp"

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/files/xdg_folders.hpp"

#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace zentrabo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class OwnItemsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(platform::dataFolder());
        fs::create_directories(platform::configFolder());
        fs::create_directories(logFile.parent_path());
        for (const auto& [path, text] : ownFiles) std::ofstream(path) << text;
        fs::create_directories(shared / "Inner");
        std::ofstream(shared / "notes.txt") << "harmless";
    }

    // A symbolic link at `at` that leads to target, put in place in one step
    // over whatever was there.
    void pointLink(const fs::path& at, const fs::path& target) {
        const fs::path spare = at.string() + ".new";
        fs::create_symlink(target, spare);
        fs::rename(spare, at);
    }

    RemoteFileResource load(const fs::path& path, const std::function<void()>& afterJudging) {
        RemoteFileResourceQuery query;
        query.path = path.string();
        query.includesHiddenFiles = true;
        return loadJudgedRemoteFileResource(query, [&](const std::string&) {
            if (afterJudging) afterJudging();
        });
    }

    std::vector<std::string> openedFiles() const {
        std::vector<std::string> opened;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "openFile") opened.push_back(entry.subject);
        }
        return opened;
    }

    testing::TemporaryHome home;
    const fs::path logFile = diagnosticLogPath();
    const std::vector<std::pair<fs::path, std::string>> ownFiles = {
        {platform::dataFolder() / "keystore.json", "SECRET key store"},
        {platform::configFolder() / "defaults.json", "SECRET settings"},
        {logFile, "SECRET log"},
        {logFile.string() + ".1", "SECRET older log"},
        {platform::dataFolder() / "server.lock", "SECRET lock"},
    };
    const fs::path shared = home.path() / "Shared";
    platform::ManualClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop =
        platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    DesktopController controller{*desktop};
};

TEST_F(OwnItemsTest, HardLinksAndLinksSwappedAfterJudgingReachNothingOfTheServers) {
    enum class Expect { refused, servesHarmless, listsShared };
    struct Row {
        std::string what;
        fs::path asked;
        Expect expect;
        std::function<void()> afterJudging = {};
    };
    std::vector<Row> rows;
    for (const auto& [own, text] : ownFiles) {
        const fs::path link = shared / ("hard link to " + own.filename().string());
        fs::create_hard_link(own, link);
        rows.push_back({"hard link to " + own.string(), link, Expect::refused});
    }
    const fs::path fileLink = home.path() / "file link";
    const fs::path folderLink = home.path() / "folder link";
    rows.push_back({"link swapped from a file to the key store", fileLink, Expect::servesHarmless,
                    [&] { pointLink(fileLink, ownFiles.front().first); }});
    rows.push_back({"link swapped from a folder to the data folder", folderLink, Expect::listsShared,
                    [&] { pointLink(folderLink, platform::dataFolder()); }});
    rows.push_back(
        {"folder moved away and a link to the settings folder put at its name", shared, Expect::listsShared, [&] {
             fs::rename(shared, home.path() / "Moved");
             fs::create_directory_symlink(platform::configFolder(), shared);
         }});

    const auto restore = [&] {
        if (fs::exists(home.path() / "Moved")) {
            fs::remove(shared);
            fs::rename(home.path() / "Moved", shared);
        }
        pointLink(fileLink, shared / "notes.txt");
        pointLink(folderLink, shared);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        restore();
        switch (row.expect) {
        case Expect::refused:
            for (const auto& ask : {std::function<void()>([&] { load(row.asked, {}); }),
                                    std::function<void()>([&] { controller.openFolder(row.asked.string()); })}) {
                try {
                    ask();
                    ADD_FAILURE() << "not refused";
                } catch (const MacMenuError& error) {
                    EXPECT_EQ(error.errorCode(), HalvardineErrorCode::fileBrowserPathUnavailable);
                    EXPECT_EQ(error.errorDescription(), "The path is not available: " + row.asked.string());
                }
            }
            break;
        case Expect::servesHarmless: {
            const RemoteFileResource file = load(row.asked, row.afterJudging);
            ASSERT_TRUE(file.data);
            EXPECT_EQ(std::string(file.data->begin(), file.data->end()), "harmless");
            EXPECT_EQ(file.path, row.asked.string()) << "named as asked";
            break;
        }
        case Expect::listsShared: {
            const RemoteFileResource folder = load(row.asked, row.afterJudging);
            std::vector<std::string> names;
            for (const auto& entry : folder.entries.value_or(std::vector<RemoteFileEntry>{})) {
                names.push_back(entry.name);
            }
            EXPECT_THAT(names, ElementsAre("hard link to defaults.json", "hard link to keystore.json",
                                           "hard link to server.lock", "hard link to ZentraboMac.log",
                                           "hard link to ZentraboMac.log.1", "Inner", "notes.txt"));
            break;
        }
        }
    }
    EXPECT_THAT(openedFiles(), IsEmpty()) << "no own file reached the desktop";
    restore();
    // The harmless items stay reachable by every road.
    EXPECT_NO_THROW(controller.openFolder((shared / "notes.txt").string()));
    EXPECT_EQ(load(fileLink, {}).data->size(), 8u);
}

}  // namespace
}  // namespace zentrabo
