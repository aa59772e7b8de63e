// What a path names changing under a watch: renames, removals and
// replacements of the file or its folder are seen; writes and other
// changes to the file's contents or mode are not.
#include "platform/files/path_change_watch.hpp"

#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace zentrabo::platform {
namespace {

namespace fs = std::filesystem;

TEST(PathChangeWatchTest, SeesWhatChangesWhatThePathNamesAndNothingElse) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& file)> change;
        bool seen;
    };
    const Case cases[] = {
        {"nothing", [](const fs::path&) {}, false},
        {"lines appended", [](const fs::path& file) { std::ofstream(file, std::ios::app) << "more\n"; }, false},
        {"its mode changed",
         [](const fs::path& file) { fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write); }, false},
        {"removed", [](const fs::path& file) { fs::remove(file); }, true},
        {"renamed away", [](const fs::path& file) { fs::rename(file, file.string() + ".1"); }, true},
        {"replaced by a rename",
         [](const fs::path& file) {
             std::ofstream(file.string() + ".new") << "other\n";
             fs::rename(file.string() + ".new", file);
         },
         true},
        {"its folder renamed and made again",
         [](const fs::path& file) {
             fs::rename(file.parent_path(), file.parent_path().string() + ".old");
             fs::create_directories(file.parent_path());
             std::ofstream(file) << "new\n";
         },
         true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        testing::TemporaryHome home;
        const fs::path file = home.path() / "logs/file.log";
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "first\n";

        PathChangeWatch watch;
        ASSERT_TRUE(watch.start(file.string()));
        EXPECT_FALSE(watch.sawChange());
        test.change(file);
        EXPECT_EQ(watch.sawChange(), test.seen);
        // A change stays seen until the watch starts again.
        EXPECT_EQ(watch.sawChange(), test.seen);
        if (fs::exists(file)) {
            ASSERT_TRUE(watch.start(file.string()));
            EXPECT_FALSE(watch.sawChange());
        }
    }
}

TEST(PathChangeWatchTest, AMissingFileIsNotWatched) {
    testing::TemporaryHome home;
    PathChangeWatch watch;
    EXPECT_FALSE(watch.start((home.path() / "absent.log").string()));
    EXPECT_FALSE(watch.isWatching());
}

}  // namespace
}  // namespace zentrabo::platform
