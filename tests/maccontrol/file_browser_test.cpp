#include "maccontrol/file_browser.hpp"
#include "maccontrol/file_entry_order.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/files/xdg_folders.hpp"

#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace zentrabo {
namespace {

using Case = MacMenuError::Case;

namespace fs = std::filesystem;
using ::testing::ElementsAre;

constexpr std::int64_t limit = 26214400;

template <typename Operation>
MacMenuError caught(Operation operation) {
    try {
        operation();
    } catch (const MacMenuError& error) {
        return error;
    }
    ADD_FAILURE() << "no MacMenuError was thrown";
    return MacMenuError(Case::actionFailed);
}

FileBrowserItem itemAt(const fs::path& path) { return openFileBrowserItem(path.string(), std::nullopt); }

std::string resolvedURL(const std::optional<std::string>& path) { return openFileBrowserItem(path, std::nullopt).url; }

class FileBrowserTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    std::string homePath = home.path().string();
    void SetUp() override { fs::create_directories(home.path() / "Documents/Notes"); }
};

TEST_F(FileBrowserTest, ResolvesTypedPathsInsideHomeAndNeverRedirectsSystemRoots) {
    EXPECT_EQ(resolvedURL(std::nullopt), homePath);
    EXPECT_EQ(resolvedURL(" \n\t"), homePath);
    const std::string documents = homePath + "/Documents";
    EXPECT_EQ(resolvedURL("Documents"), documents);
    EXPECT_EQ(resolvedURL("~/Documents/"), documents);
    EXPECT_EQ(resolvedURL("/Documents"), documents);
    EXPECT_EQ(resolvedURL("//Documents/Notes//"), documents + "/Notes");
    EXPECT_EQ(resolvedURL("file://" + documents), documents);
    EXPECT_EQ(resolvedURL("/tmp"), "/tmp");

    MacMenuError error = caught([] { resolvedURL("/Library/Missing"); });
    EXPECT_EQ(error.errorCase(), MacMenuError::Case::fileBrowserPathUnavailable);
    EXPECT_EQ(error.errorDescription(), "The path is not available: /Library/Missing");
    fs::create_directories(home.path() / "Library/Missing");
    EXPECT_THROW(resolvedURL("/Library/Missing"), MacMenuError) << "system roots stay at the root";

    // A NUL would cut the path short and name an item that exists.
    EXPECT_THROW(resolvedURL(std::string("Documents\0/Notes", 15)), MacMenuError);
    EXPECT_THROW(resolvedURL(documents + std::string("\0x", 2)), MacMenuError);

    error = caught([] { resolvedURL("Missing"); });
    EXPECT_EQ(error.errorDescription(), "The path is not available: " + homePath + "/Missing");
    EXPECT_EQ(homeRelativeURL("/"), std::nullopt);
    EXPECT_EQ(homeRelativeURL("Documents"), std::nullopt);
}

TEST_F(FileBrowserTest, OpeningNeedsAPathThatExists) {
    EXPECT_EQ(caught([] { resolveExistingFolderURL("  ", std::nullopt); }).errorCase(),
              MacMenuError::Case::folderPathRequired);
    const MacMenuError missing = caught([] { resolveExistingFolderURL("Nowhere", std::nullopt); });
    EXPECT_EQ(missing.errorCase(), MacMenuError::Case::folderPathUnavailable);
    EXPECT_EQ(missing.errorCode(), HalvardineErrorCode::folderPathUnavailable);
    std::ofstream(home.path() / "Documents/a.txt") << "x";
    EXPECT_EQ(resolveExistingFolderURL("Documents/a.txt", std::nullopt), homePath + "/Documents/a.txt");
}

TEST_F(FileBrowserTest, OfTheDataFolderOnlyTheDesktopsBrowsableFolderOpens) {
    const fs::path browsable = platform::dataFolder() / "desktop";
    fs::create_directories(browsable / "Applications");
    const auto refused = [](const fs::path& path, const std::optional<fs::path>& folder) {
        return caught([&] { openFileBrowserItem(path.string(), folder); }).errorCase() ==
               Case::fileBrowserPathUnavailable;
    };
    EXPECT_TRUE(refused(browsable / "Applications", std::nullopt)) << "without one the data folder stays closed";
    const auto applications = (browsable / "Applications").string();
    EXPECT_EQ(openFileBrowserItem(applications, browsable).url, applications);
    EXPECT_TRUE(refused(platform::dataFolder(), browsable));
}

TEST_F(FileBrowserTest, OpensExistingFilesAndFoldersThroughTheWorkspace) {
    platform::ManualClock clock;
    const auto desktop = platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    DesktopController controller(*desktop);
    std::ofstream(home.path() / "Documents/a.txt") << "x";
    controller.openFolder("/Documents");
    controller.openFolder("~/Documents/a.txt");
    EXPECT_EQ(caught([&] { controller.openFolder("Nowhere"); }).errorCase(), MacMenuError::Case::folderPathUnavailable);
    EXPECT_EQ(caught([&] { controller.openFolder(std::nullopt); }).errorCase(), MacMenuError::Case::folderPathRequired);

    std::vector<std::string> opened;
    for (const auto& entry : desktop->journal()) {
        if (entry.action == "openFile") opened.push_back(entry.subject);
    }
    EXPECT_THAT(opened, ElementsAre(homePath + "/Documents", homePath + "/Documents/a.txt"));
}

TEST_F(FileBrowserTest, ReturnsAFileOfExactlyTheLimitWholeAndRefusesOneByteMoreBeforeReading) {
    const fs::path exact = home.path() / "exact.bin";
    {
        std::ofstream file(exact, std::ios::binary);
        file.seekp(limit - 1);
        file.put('z');
    }
    const RemoteFileResource resource = fileResourceWithData(itemAt(exact));
    EXPECT_EQ(resource.kind, RemoteFileResourceKind::file);
    EXPECT_EQ(resource.name, "exact.bin");
    EXPECT_EQ(resource.parentPath, homePath);
    EXPECT_EQ(resource.contentType, "public.data");
    EXPECT_EQ(resource.size, limit);
    ASSERT_TRUE(resource.data);
    ASSERT_EQ(resource.data->size(), static_cast<std::size_t>(limit));
    EXPECT_EQ(resource.data->back(), 'z');

    fs::resize_file(exact, limit + 1);
    MacMenuError error = caught([&] { fileResourceWithData(itemAt(exact)); });
    EXPECT_EQ(error.errorCase(), MacMenuError::Case::fileBrowserFileTooLarge);
    EXPECT_EQ(error.fileSize(), limit + 1);
    EXPECT_EQ(error.errorDescription(), "The file is too large to preview. Choose a file up to 25 MB.");

    // The size measured when the item was found decides: an item with no
    // descriptor to read through is refused as too large, so nothing was read.
    FileBrowserItem claimed{homePath + "/claimed", {}, {}};
    claimed.values.fileSize = limit + 1;
    error = caught([&] { fileResourceWithData(claimed); });
    EXPECT_EQ(error.errorCase(), MacMenuError::Case::fileBrowserFileTooLarge);

    const RemoteFileResource withoutData = fileResourceWithoutData(itemAt(exact));
    EXPECT_EQ(withoutData.size, limit + 1);
    EXPECT_FALSE(withoutData.data);
}

TEST_F(FileBrowserTest, RefusesSpecialFilesAndReportsReadFailures) {
    const fs::path fifo = home.path() / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    MacMenuError error = caught([&] { fileResourceWithData(itemAt(fifo)); });
    EXPECT_EQ(error.errorCase(), MacMenuError::Case::fileBrowserReadFailed);
    EXPECT_EQ(error.errorDescription(),
              "The file could not be loaded: The file “pipe” couldn’t be opened because it isn’t a regular file.");
    // A socket cannot even be opened, and a device is refused by its kind
    // before an open could act on it.
    const fs::path socketPath = home.path() / "socket";
    const int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(socketDescriptor, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.string().size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.string().size());
    ASSERT_EQ(::bind(socketDescriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    for (const fs::path& special : {socketPath, fs::path("/dev/null")}) {
        error = caught([&] { fileResourceWithData(itemAt(special)); });
        EXPECT_EQ(error.errorDescription(), "The file could not be loaded: The file “" + special.filename().string() +
                                                "” couldn’t be opened because it isn’t a regular file.");
    }
    ::close(socketDescriptor);

    // Found, then removed: the item found is still what is read.
    std::ofstream(home.path() / "gone.txt") << "still here";
    const FileBrowserItem gone = itemAt(home.path() / "gone.txt");
    fs::remove(home.path() / "gone.txt");
    const RemoteFileResource read = fileResourceWithData(gone);
    ASSERT_TRUE(read.data);
    EXPECT_EQ(std::string(read.data->begin(), read.data->end()), "still here");

    // An item with no descriptor cannot be read.
    FileBrowserItem unreadable{homePath + "/unreadable.txt", {}, {}};
    unreadable.values.fileSize = 3;
    error = caught([&] { fileResourceWithData(unreadable); });
    EXPECT_EQ(error.errorDescription(),
              "The file could not be loaded: The file “unreadable.txt” couldn’t be opened: Bad file descriptor.");
}

TEST_F(FileBrowserTest, NamesFoldersAndTheirParents) {
    EXPECT_EQ(folderDisplayName(homePath), "Home");
    EXPECT_EQ(folderDisplayName(homePath + "/Documents/.."), "Home");
    EXPECT_EQ(folderDisplayName(homePath + "/Documents"), "Documents");
    EXPECT_EQ(folderDisplayName("/"), "/");
    EXPECT_EQ(parentPath(homePath), home.path().parent_path().string());
    EXPECT_EQ(parentPath("/tmp"), "/");
    EXPECT_EQ(parentPath("/"), std::nullopt);
}

RemoteFileEntry entry(std::string name, std::optional<std::int64_t> size, std::optional<double> date = std::nullopt) {
    RemoteFileEntry result;
    result.name = std::move(name);
    result.path = "/x/" + result.name;
    result.isDirectory = !size;
    result.size = size;
    if (date) result.modificationDate = platform::Date{*date};
    return result;
}

std::vector<std::string> sortedNames(std::vector<RemoteFileEntry> entries, RemoteFileSortField field,
                                     RemoteFileSortDirection direction) {
    const RemoteFileEntryOrder order(field, direction);
    std::vector<RemoteFileEntry> bySort = entries;
    order.sort(bySort);
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const auto& a, const auto& b) { return order.isOrderedBefore(a, b); });
    std::vector<std::string> names, byPredicate;
    for (const auto& e : bySort) names.push_back(e.name);
    for (const auto& e : entries) byPredicate.push_back(e.name);
    EXPECT_EQ(names, byPredicate) << "sort() and isOrderedBefore disagree";
    return names;
}

TEST(FileEntryOrderTest, NamesCompareNumbersByValueAndIgnoreCaseFirst) {
    const std::vector<RemoteFileEntry> entries = {entry("File10", 1), entry("file2", 1), entry("File2", 1),
                                                  entry("beta", 1), entry("Alpha", 1)};
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::name, RemoteFileSortDirection::ascending),
                ElementsAre("Alpha", "beta", "file2", "File2", "File10"));
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::name, RemoteFileSortDirection::descending),
                ElementsAre("File10", "File2", "file2", "beta", "Alpha"));
}

TEST(FileEntryOrderTest, SizesPutFoldersLastAscendingAndFirstDescendingWithNameTies) {
    const std::vector<RemoteFileEntry> entries = {entry("Zeta", std::nullopt), entry("big", 900), entry("b", 5),
                                                  entry("Apps", std::nullopt), entry("a", 5),     entry("tiny", 1)};
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::size, RemoteFileSortDirection::ascending),
                ElementsAre("tiny", "a", "b", "big", "Apps", "Zeta"));
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::size, RemoteFileSortDirection::descending),
                ElementsAre("Apps", "Zeta", "big", "a", "b", "tiny"));
}

TEST(FileEntryOrderTest, DatesPutUndatedEntriesFirstDescendingWithNameTies) {
    const std::vector<RemoteFileEntry> entries = {entry("old", 1, 10.0),    entry("new", 1, 30.0),
                                                  entry("same-b", 1, 20.0), entry("same-a", 1, 20.0),
                                                  entry("undated-b", 1),    entry("undated-a", 1)};
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::modificationDate, RemoteFileSortDirection::descending),
                ElementsAre("undated-a", "undated-b", "new", "same-a", "same-b", "old"));
    EXPECT_THAT(sortedNames(entries, RemoteFileSortField::modificationDate, RemoteFileSortDirection::ascending),
                ElementsAre("old", "same-a", "same-b", "new", "undated-a", "undated-b"));
}

}  // namespace
}  // namespace zentrabo
