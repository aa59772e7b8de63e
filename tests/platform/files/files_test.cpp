#include "platform/files/bounded_file_read.hpp"
#include "platform/files/content_type.hpp"
#include "platform/files/directory_listing.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/item_descriptor.hpp"
#include "platform/files/resource_values.hpp"

#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zentrabo::platform {
namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;
using testing::writeFile;

// The folder's listing, through a descriptor of the path looked up once.
std::error_code listPath(const std::string& path, bool includesHiddenFiles, std::vector<DirectoryItem>& items) {
    std::error_code error;
    const FileDescriptor folder = locateItem(path, error);
    if (!folder) return error;
    return listDirectory(folder.get(), path, includesHiddenFiles, items);
}

TEST(FilePath, TildeAndComponents) {
    testing::TemporaryHome home;
    EXPECT_EQ(expandingTildeInPath("~"), home.path().string());
    EXPECT_EQ(expandingTildeInPath("~/Documents/"), (home.path() / "Documents").string());
    EXPECT_EQ(expandingTildeInPath("Documents/~"), "Documents/~");
    EXPECT_EQ(expandingTildeInPath("~no-such-user-here/x"), "~no-such-user-here/x");

    EXPECT_EQ(standardizedPathText("//a///b/"), "/a/b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("/a/b.txt"), "b.txt");
    EXPECT_EQ(deletingLastPathComponent("/"), "/");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(appendingPathComponent("/", "a"), "/a");
    EXPECT_EQ(lowercasePathExtension("Photo.JPG"), "jpg");
    EXPECT_EQ(lowercasePathExtension(".profile"), "");
    EXPECT_EQ(lowercasePathExtension("Makefile"), "");
}

TEST(ContentType, TableFallbacksAndPackages) {
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::directory, "Photos", false), "public.folder");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::directory, "Mail.app", false), "com.apple.application-bundle");
    EXPECT_TRUE(isPackageFolderName("Mail.APP"));
    EXPECT_FALSE(isPackageFolderName("Mail.apps"));
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "IMG_1.JPEG", false), "public.jpeg");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "paper.pdf", false), "com.adobe.pdf");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "notes.txt", false), "public.plain-text");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "blob.xyz", true), "public.data");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "tool", true), "public.unix-executable");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::regularFile, "tool", false), "public.data");
    EXPECT_EQ(contentTypeIdentifier(FileItemKind::other, "pipe.txt", false), "public.item");
}

class FilesTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    fs::path folder = home.path() / "folder";
    void SetUp() override { fs::create_directories(folder); }
};

TEST_F(FilesTest, ListingHasValuesHidesDotNamesAndKeepsUnreadableItems) {
    writeFile(folder / "a.txt", "hello");
    writeFile(folder / ".hidden", "x");
    fs::create_directory(folder / "Sub");
    fs::create_directory(folder / "Tool.app");
    fs::create_directory_symlink(folder / "Sub", folder / "LinkToSub");
    fs::create_symlink(folder / "missing", folder / "Dangling");

    std::vector<DirectoryItem> items;
    ASSERT_FALSE(listPath(folder.string() + "/", false, items));
    std::vector<std::string> names;
    for (const auto& item : items) names.push_back(item.name);
    EXPECT_THAT(names, UnorderedElementsAre("a.txt", "Sub", "Tool.app", "LinkToSub", "Dangling"));

    for (const auto& item : items) {
        EXPECT_EQ(item.path, (folder / item.name).string());
        if (item.name == "Dangling") {
            EXPECT_FALSE(item.values);
            continue;
        }
        ASSERT_TRUE(item.values) << item.name;
        if (item.name == "a.txt") {
            EXPECT_FALSE(item.values->isDirectory);
            EXPECT_EQ(item.values->fileSize, 5);
            EXPECT_EQ(item.values->contentType, "public.plain-text");
            EXPECT_GT(item.values->contentModificationDate.secondsSinceReferenceDate, 0.0);
        } else {
            EXPECT_TRUE(item.values->isDirectory) << item.name;
            EXPECT_FALSE(item.values->fileSize) << item.name;
            EXPECT_EQ(item.values->isPackage, item.name == "Tool.app");
        }
    }

    ASSERT_FALSE(listPath(folder.string(), true, items));
    EXPECT_EQ(items.size(), 6u);
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](const auto& item) { return item.name == ".hidden"; }));
}

TEST_F(FilesTest, ListingFailsForMissingFolderAndFile) {
    std::vector<DirectoryItem> items;
    EXPECT_EQ(listPath((folder / "none").string(), false, items), std::errc::no_such_file_or_directory);
    writeFile(folder / "file", "x");
    EXPECT_EQ(listPath((folder / "file").string(), false, items), std::errc::not_a_directory);
}

TEST_F(FilesTest, ReadsUpToTheBoundAndRefusesMore) {
    writeFile(folder / "ten", "0123456789");
    BoundedFileRead read = readRegularFile((folder / "ten").string(), 10);
    ASSERT_EQ(read.status, BoundedFileRead::Status::ok);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "0123456789");
    EXPECT_EQ(read.size, 10);

    read = readRegularFile((folder / "ten").string(), 9);
    EXPECT_EQ(read.status, BoundedFileRead::Status::tooLarge);
    EXPECT_EQ(read.size, 10);
    EXPECT_TRUE(read.bytes.empty());

    writeFile(folder / "empty", "");
    read = readRegularFile((folder / "empty").string(), 0);
    EXPECT_EQ(read.status, BoundedFileRead::Status::ok);
    EXPECT_TRUE(read.bytes.empty());
}

TEST_F(FilesTest, ContentBeyondTheStatSizeStopsAtTheBound) {
    // Files under /proc report size 0 but have content, as a file that grows
    // while it is read does: reading stops one byte past the bound.
    const BoundedFileRead read = readRegularFile("/proc/self/status", 16);
    EXPECT_EQ(read.status, BoundedFileRead::Status::tooLarge);
    EXPECT_EQ(read.size, 17);
}

TEST_F(FilesTest, RefusesFifosAndDevicesWithoutBlocking) {
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readRegularFile(fifo.string(), 100).status, BoundedFileRead::Status::notRegularFile);
    EXPECT_EQ(readRegularFile("/dev/zero", 100).status, BoundedFileRead::Status::notRegularFile);
    EXPECT_EQ(readRegularFile(folder.string(), 100).status, BoundedFileRead::Status::notRegularFile);

    const BoundedFileRead missing = readRegularFile((folder / "missing").string(), 100);
    EXPECT_EQ(missing.status, BoundedFileRead::Status::failed);
    EXPECT_EQ(missing.error, std::errc::no_such_file_or_directory);

    std::error_code error;
    const auto values = fileResourceValues(fifo.string(), error);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->kind, FileItemKind::other);
    EXPECT_FALSE(values->isDirectory);
}

}  // namespace
}  // namespace zentrabo::platform
