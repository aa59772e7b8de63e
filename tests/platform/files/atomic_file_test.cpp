#include "platform/files/atomic_file.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/xdg_folders.hpp"

#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zentrabo::platform {
namespace {

namespace fs = std::filesystem;

std::size_t entryCount(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

mode_t permissionsOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

TEST(AtomicFile, ReplacesWithExactlyTheModeAndLeavesNothingBeside) {
    testing::TemporaryHome home;
    const fs::path file = home.path() / "settings";
    std::ofstream(file) << "old and longer";
    const mode_t previous = ::umask(0077);
    ASSERT_FALSE(replaceFileAtomically(file, "new", 0644));
    ::umask(previous);
    EXPECT_EQ(testing::fileText(file), "new");
    EXPECT_EQ(permissionsOf(file), 0644u);
    EXPECT_EQ(entryCount(home.path()), 1u);
}

TEST(AtomicFile, FailureReportsAndRemovesItsTemporaryFile) {
    // A folder where the file should be makes the final rename fail.
    testing::TemporaryHome home;
    fs::create_directories(home.path() / "taken" / "inside");
    EXPECT_TRUE(replaceFileAtomically(home.path() / "taken", "x", 0600));
    EXPECT_THROW(writeFileAtomically(home.path() / "taken", "x", 0600), std::system_error);
    EXPECT_EQ(entryCount(home.path()), 1u);

    // Writers do not share a temporary name, so a stale one is no obstacle.
    fs::create_directories(home.path() / "entry.tmp" / "inside");
    EXPECT_FALSE(replaceFileAtomically(home.path() / "entry", "x", 0600));
    EXPECT_EQ(testing::fileText(home.path() / "entry"), "x");
}

TEST(UnpublishedFile, TakesOnlyAFreeNameWithTheModeOfANewFile) {
    testing::TemporaryHome home;
    const fs::path folder = home.path() / "in";
    fs::create_directories(folder);
    std::ofstream(folder / "taken") << "kept";
    fs::create_symlink(home.path() / "nowhere", folder / "dangling");
    const mode_t previous = ::umask(0027);
    {
        UnpublishedFile file(folder, "new bytes");
        // Neither a file nor a dangling link is ever replaced.
        EXPECT_EQ(file.publish(folder / "taken"), std::errc::file_exists);
        EXPECT_EQ(file.publish(folder / "dangling"), std::errc::file_exists);
        EXPECT_FALSE(file.publish(folder / "free"));
    }
    ::umask(previous);
    EXPECT_EQ(testing::fileText(folder / "taken"), "kept");
    EXPECT_TRUE(fs::is_symlink(folder / "dangling"));
    EXPECT_FALSE(fs::exists(home.path() / "nowhere"));
    EXPECT_EQ(testing::fileText(folder / "free"), "new bytes");
    EXPECT_EQ(permissionsOf(folder / "free"), 0640u);
    EXPECT_EQ(entryCount(folder), 3u) << "no temporary file left beside";

    // A file that never gets a name leaves nothing behind.
    { UnpublishedFile abandoned(folder, "x"); }
    EXPECT_EQ(entryCount(folder), 3u);
    EXPECT_THROW(UnpublishedFile(home.path() / "missing", "x"), std::system_error);
}

TEST(XdgFolders, WithoutHomeTheUsersEntryIsUsedLikeEverywhereElse) {
    testing::TemporaryHome home;
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::unsetenv("HOME");
    const fs::path userHome = homeFolderPath();
    EXPECT_EQ(xdgConfigHome(), userHome / ".config");
    EXPECT_EQ(xdgDataHome(), userHome / ".local/share");
}

}  // namespace
}  // namespace zentrabo::platform
