#include "platform/files/atomic_file.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/item_descriptor.hpp"
#include "platform/files/xdg_folders.hpp"

#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zentrabo::platform {
namespace {

namespace fs = std::filesystem;

std::size_t entryCount(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::vector<std::string> temporaryNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (isTemporaryFileName(entry.path().filename().string())) names.push_back(entry.path().filename());
    }
    return names;
}

FileDescriptor openFolder(const fs::path& folder) {
    return FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
        UnpublishedFile file(openFolder(folder).get(), "new bytes");
        EXPECT_EQ(temporaryNames(folder).size(), 1u) << "written under a temporary name";
        // Neither a file nor a dangling link is ever replaced.
        EXPECT_EQ(file.publish("taken"), std::errc::file_exists);
        EXPECT_EQ(file.publish("dangling"), std::errc::file_exists);
        EXPECT_EQ(file.publish("../escape"), std::errc::invalid_argument);
        EXPECT_FALSE(file.publish("free"));
    }
    ::umask(previous);
    EXPECT_EQ(testing::fileText(folder / "taken"), "kept");
    EXPECT_TRUE(fs::is_symlink(folder / "dangling"));
    EXPECT_FALSE(fs::exists(home.path() / "nowhere"));
    EXPECT_EQ(testing::fileText(folder / "free"), "new bytes");
    EXPECT_EQ(permissionsOf(folder / "free"), 0640u);
    EXPECT_EQ(entryCount(folder), 3u) << "no temporary file left beside";

    // A file that never gets a name leaves nothing behind.
    { UnpublishedFile abandoned(openFolder(folder).get(), "x"); }
    EXPECT_EQ(entryCount(folder), 3u);
    EXPECT_THROW(UnpublishedFile(openFolder(home.path() / "missing").get(), "x"), std::system_error);
}

TEST(UnpublishedFile, LandsInTheFolderOfItsDescriptorWhereverThePathLeadsMeanwhile) {
    testing::TemporaryHome home;
    const fs::path folder = home.path() / "inbox";
    const fs::path elsewhere = home.path() / "elsewhere";
    fs::create_directories(folder);
    fs::create_directories(elsewhere);
    const FileDescriptor opened = openFolder(folder);
    UnpublishedFile file(opened.get(), "bytes");
    // The folder moves away and a link to another folder takes its name.
    fs::rename(folder, home.path() / "moved");
    fs::create_directory_symlink(elsewhere, folder);
    EXPECT_FALSE(file.publish("saved"));
    EXPECT_EQ(testing::fileText(home.path() / "moved/saved"), "bytes");
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(AtomicFile, ReplacementsWriteUnderATemporaryNameOfTheOneForm) {
    EXPECT_TRUE(isTemporaryFileName(".unpublished-0123456789abcdef"));
    for (const char* name :
         {".unpublished-0123456789abcde", ".unpublished-0123456789abcdef0", ".unpublished-0123456789ABCDEF",
          "unpublished-0123456789abcdef", ".unpublished-", ".keystore.json.AbC123"}) {
        EXPECT_FALSE(isTemporaryFileName(name)) << name;
    }
}

TEST(AtomicFile, LeftoversNobodyHoldsAreRemovedAndNothingElse) {
    testing::TemporaryHome home;
    const fs::path folder = home.path() / "own";
    fs::create_directories(folder / "inner/deeper");
    fs::create_directories(folder / ".unpublished-00000000000000aa");  // a folder of that name stays
    const std::vector<fs::path> leftovers = {folder / ".unpublished-0000000000000001",
                                             folder / "inner/.unpublished-0000000000000002"};
    for (const auto& path : leftovers) std::ofstream(path) << "half written";
    std::ofstream(folder / "inner/deeper/.unpublished-0000000000000003") << "below the depth";
    std::ofstream(folder / ".unpublished-not-ours") << "kept";
    std::ofstream(folder / "keystore.json") << "kept";
    // A link of that name is not followed, and what it leads to stays.
    std::ofstream(home.path() / "target") << "kept";
    fs::create_symlink(home.path() / "target", folder / ".unpublished-00000000000000bb");
    // A live writer's file is held, and stays.
    UnpublishedFile live(openFolder(folder / "inner").get(), "being written");

    EXPECT_EQ(removeLeftoverTemporaryFiles(folder, 1), leftovers.size());
    for (const auto& path : leftovers) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_EQ(temporaryNames(folder / "inner").size(), 1u) << "the live writer's file";
    EXPECT_TRUE(fs::exists(folder / "inner/deeper/.unpublished-0000000000000003"));
    EXPECT_TRUE(fs::exists(folder / ".unpublished-not-ours"));
    EXPECT_TRUE(fs::exists(folder / "keystore.json"));
    EXPECT_TRUE(fs::is_symlink(folder / ".unpublished-00000000000000bb"));
    EXPECT_TRUE(fs::exists(home.path() / "target"));
    EXPECT_TRUE(fs::is_directory(folder / ".unpublished-00000000000000aa"));
    EXPECT_FALSE(live.publish("done")) << "the live file is still whole";

    EXPECT_EQ(removeLeftoverTemporaryFiles(folder, 2), 1u) << "one level further down";
    EXPECT_EQ(removeLeftoverTemporaryFiles(home.path() / "missing", 2), 0u);
}

TEST(SupersededFile, AReplacedFileKeepsNothingUnderAnotherName) {
    testing::TemporaryHome home;
    const fs::path store = home.path() / "store";
    std::ofstream(store) << "old secret";
    fs::create_hard_link(store, home.path() / "other name");
    SupersededFile old(store);
    ASSERT_FALSE(replaceFileAtomically(store, "new secret", 0600));
    old.emptyIfStillNamed();
    EXPECT_EQ(testing::fileText(store), "new secret");
    EXPECT_TRUE(fs::exists(home.path() / "other name"));
    EXPECT_EQ(testing::fileText(home.path() / "other name"), "") << "the old version is emptied";

    // Without another name nothing is left to empty, and nothing else is
    // touched; nor is anything held for a path with no regular file.
    SupersededFile alone(store);
    ASSERT_FALSE(replaceFileAtomically(store, "newer", 0600));
    alone.emptyIfStillNamed();
    EXPECT_EQ(testing::fileText(store), "newer");
    SupersededFile none(home.path() / "missing");
    none.emptyIfStillNamed();
    SupersededFile folder(home.path());
    folder.emptyIfStillNamed();
    EXPECT_TRUE(fs::is_directory(home.path()));
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
