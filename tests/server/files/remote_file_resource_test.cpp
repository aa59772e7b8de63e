#include "server/files/remote_file_resource.hpp"

#include "maccontrol/mac_menu_error.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"

#include "support/temporary_home.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

namespace zentrabo {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

void writeFile(const fs::path& path, std::size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

std::vector<std::string> entryNames(const RemoteFileResource& resource) {
    std::vector<std::string> names;
    for (const auto& entry : resource.entries.value_or(std::vector<RemoteFileEntry>{})) names.push_back(entry.name);
    return names;
}

class FileListingTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    fs::path folder = home.path() / "Folder";

    void SetUp() override {
        fs::create_directories(folder / "Sub");
        fs::create_directories(folder / "Apps");
        writeFile(folder / "File10.txt", 10);
        writeFile(folder / "File2.txt", 2);
        writeFile(folder / "a.txt", 5);
        writeFile(folder / ".hidden", 1);
    }

    RemoteFileResource list(RemoteFileSortField field, RemoteFileSortDirection direction, bool hidden = false) {
        RemoteFileResourceQuery query;
        query.path = "Folder";
        query.sortField = field;
        query.sortDirection = direction;
        query.includesHiddenFiles = hidden;
        return loadRemoteFileResource(query);
    }
};

TEST(FileResourceQueryTest, AbsentFieldsTakeTheirDefaults) {
    HalvardineRequest request;
    RemoteFileResourceQuery query = fileResourceQuery(request);
    EXPECT_FALSE(query.path);
    EXPECT_EQ(query.sortField, RemoteFileSortField::name);
    EXPECT_EQ(query.sortDirection, RemoteFileSortDirection::ascending);
    EXPECT_FALSE(query.includesHiddenFiles);
    EXPECT_TRUE(query.includesFileData);

    request.filePath = "~/x";
    request.fileSortField = RemoteFileSortField::size;
    request.fileSortDirection = RemoteFileSortDirection::descending;
    request.includesHiddenFiles = true;
    request.includesFileData = false;
    query = fileResourceQuery(request);
    EXPECT_EQ(query.path, "~/x");
    EXPECT_EQ(query.sortField, RemoteFileSortField::size);
    EXPECT_EQ(query.sortDirection, RemoteFileSortDirection::descending);
    EXPECT_TRUE(query.includesHiddenFiles);
    EXPECT_FALSE(query.includesFileData);
}

TEST_F(FileListingTest, ListsAFolderByNameWithNumbersByValueAndWithoutHiddenFiles) {
    const RemoteFileResource resource = loadRemoteFileResource({.path = "~/Folder/"});
    EXPECT_EQ(resource.kind, RemoteFileResourceKind::directory);
    EXPECT_EQ(resource.name, "Folder");
    EXPECT_EQ(resource.path, folder.string());
    EXPECT_EQ(resource.parentPath, home.path().string());
    EXPECT_EQ(resource.contentType, "public.folder");
    EXPECT_FALSE(resource.size);
    EXPECT_TRUE(resource.modificationDate);
    EXPECT_FALSE(resource.data);
    EXPECT_THAT(entryNames(resource), ElementsAre("a.txt", "Apps", "File2.txt", "File10.txt", "Sub"));
    const RemoteFileEntry& sub = resource.entries->back();
    EXPECT_TRUE(sub.isDirectory);
    EXPECT_FALSE(sub.size);
    EXPECT_EQ(sub.path, (folder / "Sub").string());

    EXPECT_THAT(entryNames(list(RemoteFileSortField::name, RemoteFileSortDirection::ascending, true)),
                ElementsAre(".hidden", "a.txt", "Apps", "File2.txt", "File10.txt", "Sub"));
}

TEST_F(FileListingTest, SortsBySizeWithFoldersAfterFilesAscendingAndBeforeThemDescending) {
    EXPECT_THAT(entryNames(list(RemoteFileSortField::size, RemoteFileSortDirection::ascending)),
                ElementsAre("File2.txt", "a.txt", "File10.txt", "Apps", "Sub"));
    EXPECT_THAT(entryNames(list(RemoteFileSortField::size, RemoteFileSortDirection::descending)),
                ElementsAre("Apps", "Sub", "File10.txt", "a.txt", "File2.txt"));
}

TEST_F(FileListingTest, SortsByDateWithEqualDatesInNameOrderBothWays) {
    const auto base = fs::file_time_type::clock::now() - std::chrono::hours(24);
    fs::last_write_time(folder / "File2.txt", base);
    fs::last_write_time(folder / "a.txt", base + std::chrono::hours(1));
    fs::last_write_time(folder / "File10.txt", base + std::chrono::hours(1));
    fs::last_write_time(folder / "Apps", base + std::chrono::hours(2));
    fs::last_write_time(folder / "Sub", base - std::chrono::hours(1));
    EXPECT_THAT(entryNames(list(RemoteFileSortField::modificationDate, RemoteFileSortDirection::descending)),
                ElementsAre("Apps", "a.txt", "File10.txt", "File2.txt", "Sub"));
    EXPECT_THAT(entryNames(list(RemoteFileSortField::modificationDate, RemoteFileSortDirection::ascending)),
                ElementsAre("Sub", "File2.txt", "a.txt", "File10.txt", "Apps"));
}

TEST_F(FileListingTest, BlankPathListsHomeAndFilesComeWithOrWithoutData) {
    for (const char* blank : {"", "  \n"}) {
        const RemoteFileResource resource = loadRemoteFileResource({.path = blank});
        EXPECT_EQ(resource.name, "Home");
        EXPECT_EQ(resource.parentPath, home.path().parent_path().string());
    }
    EXPECT_EQ(loadRemoteFileResource({}).path, home.path().string());

    RemoteFileResource file = loadRemoteFileResource({.path = "Folder/a.txt"});
    EXPECT_EQ(file.kind, RemoteFileResourceKind::file);
    EXPECT_EQ(file.contentType, "public.plain-text");
    ASSERT_TRUE(file.data);
    EXPECT_EQ(file.data->size(), 5u);
    file = loadRemoteFileResource({.path = "Folder/a.txt", .includesFileData = false});
    EXPECT_EQ(file.size, 5);
    EXPECT_FALSE(file.data);
    EXPECT_FALSE(file.entries);
}

TEST_F(FileListingTest, ListsAnApplicationBundleAsAFolder) {
    fs::create_directories(folder / "Tool.app/Contents");
    const RemoteFileResource bundle = loadRemoteFileResource({.path = (folder / "Tool.app").string()});
    EXPECT_EQ(bundle.kind, RemoteFileResourceKind::directory);
    EXPECT_EQ(bundle.contentType, "com.apple.application-bundle");
    EXPECT_THAT(entryNames(bundle), ElementsAre("Contents"));
    const RemoteFileResource parent = list(RemoteFileSortField::name, RemoteFileSortDirection::ascending);
    const auto tool = std::find_if(parent.entries->begin(), parent.entries->end(),
                                   [](const auto& e) { return e.name == "Tool.app"; });
    ASSERT_NE(tool, parent.entries->end());
    EXPECT_TRUE(tool->isPackage);
}

TEST_F(FileListingTest, MissingPathsFailWithThePathTheyResolvedTo) {
    try {
        loadRemoteFileResource({.path = "Folder/none"});
        FAIL();
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCode(), HalvardineErrorCode::fileBrowserPathUnavailable);
        EXPECT_EQ(error.errorDescription(), "The path is not available: " + (folder / "none").string());
    }
}

// A listing that the test releases by hand, standing in for one blocked on a
// permission prompt.
class HeldListing {
public:
    RemoteFileResource operator()(const RemoteFileResourceQuery& query) {
        std::unique_lock lock(mutex_);
        ++running_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
        RemoteFileResource resource;
        resource.path = query.path.value_or("");
        return resource;
    }
    // Releases on scope exit, so a failed assertion never leaves a worker
    // blocked for the pool's destructor to wait on.
    struct ReleaseOnExit {
        HeldListing& listing;
        ~ReleaseOnExit() { listing.release(); }
    };

    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool waitUntilRunning(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return running_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int running_ = 0;
    bool released_ = false;
};

class FileResourceTimeoutTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock;
    HeldListing held;
    std::vector<RemoteFileResourceResult> results;

    RemoteFileResourceCompletion collect() {
        return [this](RemoteFileResourceResult result) { results.push_back(std::move(result)); };
    }
    void runMainLoopUntil(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (results.size() < count && std::chrono::steady_clock::now() < deadline) {
            mainLoop.context().run_one_for(std::chrono::milliseconds(100));
        }
    }
    static std::string messageOf(const RemoteFileResourceResult& result) {
        try {
            std::rethrow_exception(std::get<std::exception_ptr>(result));
        } catch (const MacMenuError& error) {
            EXPECT_EQ(error.errorCode(), HalvardineErrorCode::fileBrowserAccessBlocked);
            return error.errorDescription();
        }
    }
};

TEST_F(FileResourceTimeoutTest, BlockedListingIsAnsweredAfterThirtySecondsNamingTheExpandedPath) {
    {
        platform::GrowingWorkPool pool("test", 1);
        HeldListing::ReleaseOnExit releaser{held};
        RemoteFileResourceRequests requests(pool, clock, mainLoop.executor(), std::ref(held));
        requests.remoteFileResource({.path = " ~/Documents "}, collect());
        // The only worker is blocked: the next two wait in the queue, and
        // their timeouts still fire.
        requests.remoteFileResource({.path = "Relative/Folder"}, collect());
        requests.remoteFileResource({.path = " "}, collect());
        mainLoop.runReady();  // the requests start on the main loop
        ASSERT_TRUE(held.waitUntilRunning(1));

        clock.advance(29.9);
        mainLoop.runReady();
        EXPECT_TRUE(results.empty());
        clock.advance(0.1);
        mainLoop.runReady();
        ASSERT_EQ(results.size(), 3u);
        EXPECT_EQ(messageOf(results[0]),
                  "macOS is waiting for local folder access on the Mac: " + home.path().string() +
                      "/Documents. Confirm or cancel the permission dialog on the Mac, "
                      "then try again.");
        EXPECT_THAT(messageOf(results[1]), ::testing::HasSubstr(": Relative/Folder. Confirm"));
        EXPECT_THAT(messageOf(results[2]), ::testing::HasSubstr(": " + home.path().string() + ". Confirm"));

    }  // released; the pool has run the late listings; their results are dropped
    mainLoop.runReady();
    EXPECT_EQ(results.size(), 3u);
}

TEST_F(FileResourceTimeoutTest, ListingThatFinishesInTimeWinsAndItsTimeoutDoesNothing) {
    platform::GrowingWorkPool pool("test");
    HeldListing::ReleaseOnExit releaser{held};
    RemoteFileResourceRequests requests(pool, clock, mainLoop.executor(), std::ref(held));
    requests.remoteFileResource({.path = "Folder"}, collect());
    mainLoop.runReady();
    ASSERT_TRUE(held.waitUntilRunning(1));
    clock.advance(29.0);
    held.release();
    runMainLoopUntil(1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(std::get<RemoteFileResource>(results[0]).path, "Folder");

    clock.advance(2.0);
    mainLoop.runReady();
    EXPECT_EQ(results.size(), 1u);
}

TEST_F(FileResourceTimeoutTest, SeveralListingsRunAtOnce) {
    constexpr int count = 6;
    platform::GrowingWorkPool pool("test");
    HeldListing::ReleaseOnExit releaser{held};
    RemoteFileResourceRequests requests(pool, clock, mainLoop.executor(), std::ref(held));
    for (int i = 0; i < count; ++i) requests.remoteFileResource({.path = std::to_string(i)}, collect());
    mainLoop.runReady();
    // Every listing is inside the loader at the same time before any returns.
    ASSERT_TRUE(held.waitUntilRunning(count));
    held.release();
    runMainLoopUntil(count);
    ASSERT_EQ(results.size(), static_cast<std::size_t>(count));
    for (const auto& result : results) EXPECT_TRUE(std::holds_alternative<RemoteFileResource>(result));
}

TEST_F(FileResourceTimeoutTest, ListingFailuresReachTheCompletion) {
    platform::GrowingWorkPool pool("test");
    RemoteFileResourceRequests requests(pool, clock, mainLoop.executor());
    requests.remoteFileResource({.path = "/Library/Missing"}, collect());
    runMainLoopUntil(1);
    ASSERT_EQ(results.size(), 1u);
    try {
        std::rethrow_exception(std::get<std::exception_ptr>(results[0]));
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), MacMenuError::Case::fileBrowserPathUnavailable);
    }
}

}  // namespace
}  // namespace zentrabo
