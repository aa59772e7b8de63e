// Items looked up once into a descriptor and used through it alone: the
// look-up follows links as the kernel does, up to its bound, but never a
// magic link of /proc; whatever the path leads to afterwards, the
// descriptor keeps the item that was found.
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/directory_listing.hpp"
#include "platform/files/item_descriptor.hpp"

#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zentrabo::platform {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::writeFile;

std::string readThrough(const FileDescriptor& located) {
    std::error_code error;
    const FileDescriptor file = reopenItem(located.get(), O_RDONLY, error);
    EXPECT_TRUE(file) << error.message();
    if (!file) return {};
    const BoundedFileRead read = readRegularFile(file.get(), 1024);
    return std::string(read.bytes.begin(), read.bytes.end());
}

using Locate = FileDescriptor (*)(const std::string&, std::error_code&);

// Both look-ups, the kernel's (openat2) and the one by components that
// stands in where the kernel has none, answer alike.
class ItemDescriptorTest : public ::testing::TestWithParam<Locate> {
protected:
    void SetUp() override {
        fs::create_directories(root / "real/inner");
        fs::create_directories(root / "other/sub");
        writeFile(root / "real/file", "real file");
        writeFile(root / "other/x", "other x");
        writeFile(root / "other/sub/y", "other sub y");
    }

    FileDescriptor locate(const fs::path& path, std::error_code& error) { return GetParam()(path.string(), error); }

    testing::TemporaryHome home;
    const fs::path root = fs::canonical(home.path());
};

TEST_P(ItemDescriptorTest, FollowsLinksAsTheKernelDoesUpToItsBound) {
    fs::create_symlink("real/file", root / "relative");
    fs::create_symlink(root / "relative", root / "chained");
    fs::create_directory_symlink(root / "other/sub", root / "real/toSub");
    fs::create_symlink(root / "nowhere", root / "dangling");
    fs::create_symlink(root / "loopB", root / "loopA");
    fs::create_symlink(root / "loopA", root / "loopB");
    struct Row {
        fs::path path;
        std::optional<fs::path> found;  // none: the look-up fails with `failure`
        std::errc failure = {};
    } const rows[] = {
        {root / "real/file", root / "real/file"},
        {root / "relative", root / "real/file"},
        {root / "chained", root / "real/file"},
        {root / "real/./inner/../file", root / "real/file"},
        // ".." after a link leaves the folder the link leads to.
        {root / "real/toSub/../x", root / "other/x"},
        {root / "real/toSub/", root / "other/sub"},
        {root / "real/file/", std::nullopt, std::errc::not_a_directory},
        {root / "dangling", std::nullopt, std::errc::no_such_file_or_directory},
        {root / "loopA", std::nullopt, std::errc::too_many_symbolic_link_levels},
        {"/", fs::path("/")},
        {"", std::nullopt, std::errc::invalid_argument},
        {std::string("real\0file", 9), std::nullopt, std::errc::invalid_argument},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        std::error_code error;
        const FileDescriptor item = locate(row.path, error);
        if (!row.found) {
            EXPECT_FALSE(item);
            EXPECT_EQ(error, row.failure) << error.message();
            continue;
        }
        ASSERT_TRUE(item) << error.message();
        EXPECT_EQ(itemPath(item.get()), row.found->string());
    }

    // Forty links in a row are followed; one more is refused.
    fs::path previous = root / "real/file";
    for (int link = 1; link <= maximumSymbolicLinkCount + 1; ++link) {
        const fs::path next = root / ("link" + std::to_string(link));
        fs::create_symlink(previous, next);
        previous = next;
    }
    std::error_code error;
    EXPECT_EQ(itemPath(locate(root / "link40", error).get()), (root / "real/file").string());
    EXPECT_FALSE(locate(root / "link41", error));
    EXPECT_EQ(error, std::errc::too_many_symbolic_link_levels);
}

TEST_P(ItemDescriptorTest, TheDescriptorKeepsItsItemWhateverThePathLeadsToLater) {
    fs::create_directory_symlink(root / "real", root / "swapped");
    std::error_code error;
    const FileDescriptor folder = locate(root / "swapped", error);
    const FileDescriptor file = locate(root / "swapped/file", error);
    ASSERT_TRUE(folder && file);

    // The link now leads elsewhere, and the file's name holds other bytes.
    fs::remove(root / "swapped");
    fs::create_directory_symlink(root / "other", root / "swapped");
    fs::rename(root / "real/file", root / "real/file.old");
    writeFile(root / "real/file", "new bytes");

    EXPECT_EQ(readThrough(file), "real file");
    EXPECT_EQ(itemPath(file.get()), (root / "real/file.old").string());
    std::vector<DirectoryItem> items;
    ASSERT_FALSE(listDirectory(folder.get(), (root / "swapped").string(), false, items));
    std::vector<std::string> names;
    for (const auto& item : items) names.push_back(item.name);
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("file", "file.old", "inner"));
    EXPECT_EQ(items.front().path, (root / "swapped" / items.front().name).string()) << "named as asked";
}

INSTANTIATE_TEST_SUITE_P(BothLookUps, ItemDescriptorTest, ::testing::Values(&locateItem, &locateItemByComponents),
                         [](const auto& info) { return info.index == 0 ? "Openat2" : "ByComponents"; });

TEST(ItemDescriptor, NeverFollowsAMagicLinkOfProc) {
    // /proc/self is a plain link; /proc/self/cwd and the fd entries lead to
    // objects, not paths.
    std::error_code error;
    EXPECT_TRUE(locateItem("/proc/self/status", error)) << error.message();
    const FileDescriptor anything = locateItem("/", error);
    ASSERT_TRUE(anything);
    for (const std::string& magic : {std::string("/proc/self/cwd"), std::string("/proc/self/root/etc"),
                                     "/proc/self/fd/" + std::to_string(anything.get())}) {
        SCOPED_TRACE(magic);
        EXPECT_FALSE(locateItem(magic, error));
        EXPECT_EQ(error, std::errc::too_many_symbolic_link_levels);
    }
    // By components a magic link is only its text, looked up as a path.
    const FileDescriptor byText = locateItemByComponents("/proc/self/root/etc", error);
    ASSERT_TRUE(byText) << error.message();
    EXPECT_EQ(itemPath(byText.get()), "/etc");
}

TEST(ItemDescriptor, APathIsToldOnlyWhileTheItemIsThere) {
    testing::TemporaryHome home;
    const fs::path root = fs::canonical(home.path());
    writeFile(root / "gone", "x");
    writeFile(root / "kept (deleted)", "y");
    std::error_code error;
    const FileDescriptor gone = locateItem((root / "gone").string(), error);
    const FileDescriptor kept = locateItem((root / "kept (deleted)").string(), error);
    fs::remove(root / "gone");
    EXPECT_EQ(itemPath(gone.get()), std::nullopt);
    EXPECT_EQ(itemPath(kept.get()), (root / "kept (deleted)").string());
    EXPECT_EQ(readThrough(gone), "x") << "the item itself is still there to read";
    EXPECT_EQ(itemPath(-1), std::nullopt);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_EQ(itemPath(pipeEnds[0]), std::nullopt);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST(ItemDescriptor, ReadsThroughTheDescriptorWithoutMovingIt) {
    testing::TemporaryHome home;
    writeFile(home.path() / "ten", "0123456789");
    const FileDescriptor file(::open((home.path() / "ten").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::lseek(file.get(), 4, SEEK_SET), 4);
    for (int round = 0; round < 2; ++round) {
        const BoundedFileRead read = readRegularFile(file.get(), 10);
        ASSERT_EQ(read.status, BoundedFileRead::Status::ok);
        EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "0123456789");
    }
    EXPECT_EQ(::lseek(file.get(), 0, SEEK_CUR), 4);
}

TEST(ItemDescriptor, FoldersAreMadeRelativeToTheNearestExistingOne) {
    testing::TemporaryHome home;
    const fs::path root = fs::canonical(home.path());
    fs::create_directories(root / "have/deep");
    writeFile(root / "have/file", "x");

    struct Row {
        std::string path;
        fs::path nearest;
        std::vector<std::string> missing;
    } const rows[] = {
        {(root / "have").string(), root / "have", {}},
        {(root / "have/new/newer/").string(), root / "have", {"new", "newer"}},
        {(root / "have/new/./x/../y").string(), root / "have", {"new", "y"}},
        {(root / "have/new/../../z").string(), root / "have", {"..", "z"}},
        {(root / "have/deep/../new").string(), root / "have", {"new"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        std::error_code error;
        const auto nearest = locateNearestFolder(row.path, error);
        ASSERT_TRUE(nearest) << error.message();
        EXPECT_EQ(itemPath(nearest->folder.get()), row.nearest.string());
        EXPECT_EQ(nearest->missing, row.missing);
    }
    std::error_code error;
    EXPECT_FALSE(locateNearestFolder((root / "have/file/new").string(), error));
    EXPECT_EQ(error, std::errc::not_a_directory);
    EXPECT_FALSE(locateNearestFolder((root / "have/file").string(), error));
    EXPECT_EQ(error, std::errc::not_a_directory);

    auto nearest = locateNearestFolder((root / "have/new/../../z/w").string(), error);
    ASSERT_TRUE(nearest);
    const FileDescriptor made = makeFolders(nearest->folder.get(), nearest->missing, 0755, error);
    ASSERT_TRUE(made) << error.message();
    EXPECT_EQ(itemPath(made.get()), (root / "z/w").string());
    EXPECT_FALSE(fs::exists(root / "have/new"));

    // A link in a component's place is not followed: nothing is made where
    // it leads.
    fs::create_directories(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", root / "have/trap");
    EXPECT_FALSE(makeFolders(nearest->folder.get(), {"trap", "inside"}, 0755, error));
    EXPECT_EQ(error, std::errc::not_a_directory);
    EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
    EXPECT_FALSE(makeFolders(nearest->folder.get(), {"a/b"}, 0755, error));
    EXPECT_EQ(error, std::errc::invalid_argument);
}

}  // namespace
}  // namespace zentrabo::platform
