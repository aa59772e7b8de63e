// A paired phone browsing the binary's files: whatever path it names, links,
// hard links and /proc included, the server's own folders and files stay
// out of reach, while their parent and the virtual desktop's applications
// stay browsable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/binary_harness.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::Field;

// A thread of the process other than its main one; "" when there is none.
std::string otherThreadID(pid_t pid) {
    const std::string main = std::to_string(pid);
    for (const auto& task : fs::directory_iterator("/proc/" + main + "/task")) {
        if (const std::string id = task.path().filename().string(); id != main) return id;
    }
    return {};
}

TEST_F(BinaryServerTest, FileRequestsNeverReachTheServersOwnFolders) {
    TestDevice phone;
    pairDevice(phone);
    ASSERT_FALSE(HasFatalFailure());
    const fs::path data = home.path() / ".local/share/zentrabo";
    const fs::path keyStore = data / "keystore.json";
    fs::create_symlink(keyStore, home.path() / "keys");
    // Hard links the local user made: other names of the very same files.
    const fs::path settings = home.path() / ".config/zentrabo/defaults.json";
    for (const fs::path& own : {keyStore, settings, home.logFile()}) {
        fs::create_hard_link(own, home.path() / ("linked " + own.filename().string()));
    }
    const std::string thread = otherThreadID(process->pid());
    ASSERT_FALSE(thread.empty());

    // The settings file is rewritten (by rename) after every authorized
    // request, which records when the phone was last seen: from then on a
    // link made to it leads to the version replaced, which was emptied.
    enum class Expect { refused, refusedOrEmptied, listsEntry, opens };
    struct Case {
        const char* action;
        std::string path;
        Expect expect;
        std::string entry = {};
    };
    const std::vector<Case> cases = {
        {"fileResource", keyStore.string(), Expect::refused},
        {"fileResource", settings.string(), Expect::refused},
        {"fileResource", data.string(), Expect::refused},
        {"fileResource", home.logFile().string(), Expect::refused},
        {"fileResource", "/proc/self/environ", Expect::refused},
        {"fileResource", "/proc/thread-self/environ", Expect::refused},
        {"fileResource", "/proc/" + thread + "/environ", Expect::refused},
        {"fileResource", (home.path() / "keys").string(), Expect::refused},
        {"fileResource", (data / "virtual-desktop/../keystore.json").string(), Expect::refused},
        {"openFile", keyStore.string(), Expect::refused},
        {"fileResource", (home.path() / "linked keystore.json").string(), Expect::refused},
        {"fileResource", (home.path() / "linked defaults.json").string(), Expect::refusedOrEmptied},
        {"fileResource", (home.path() / "linked ZentraboMac.log").string(), Expect::refused},
        {"openFile", (home.path() / "linked keystore.json").string(), Expect::refused},
        {"openFile", (home.path() / "linked defaults.json").string(), Expect::refusedOrEmptied},
        {"openFile", (home.path() / "linked ZentraboMac.log").string(), Expect::refused},
        {"fileResource", data.parent_path().string(), Expect::listsEntry, "zentrabo"},
        // Another process's entry is not the server's.
        {"fileResource", "/proc/" + std::to_string(getpid()), Expect::listsEntry, "environ"},
        {"fileResource", (data / "virtual-desktop/Applications").string(), Expect::listsEntry, "Browser.app"},
        {"openFile", (data / "virtual-desktop/Applications/Browser.app").string(), Expect::opens},
    };
    int number = 0;
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.action) + " " + row.path);
        // Each refused item exists: the refusal is the guard's, not a miss.
        if (row.path.rfind("/proc/", 0) != 0) {
            ASSERT_TRUE(fs::exists(row.path));
        }
        auto request = deviceRequest("F-" + std::to_string(++number), row.action);
        request.filePath = row.path;
        const auto response = send(phone, request);
        switch (row.expect) {
        case Expect::refused:
            EXPECT_FALSE(response.ok);
            EXPECT_EQ(response.errorCode, HalvardineErrorCode::fileBrowserPathUnavailable);
            // Named as the phone named it, not where a link leads.
            EXPECT_EQ(response.error, "The path is not available: " + row.path);
            EXPECT_FALSE(response.fileResource);
            break;
        case Expect::refusedOrEmptied:
            if (response.ok) {
                EXPECT_EQ(fs::file_size(row.path), 0u) << "nothing of the settings is left under the link";
                if (response.fileResource) {
                    EXPECT_EQ(response.fileResource->size, 0);
                }
            } else {
                EXPECT_EQ(response.errorCode, HalvardineErrorCode::fileBrowserPathUnavailable);
            }
            break;
        case Expect::listsEntry:
            ASSERT_TRUE(response.ok) << response.error.value_or("");
            ASSERT_TRUE(response.fileResource && response.fileResource->entries);
            EXPECT_THAT(*response.fileResource->entries, Contains(Field(&RemoteFileEntry::name, row.entry)));
            break;
        case Expect::opens:
            EXPECT_TRUE(response.ok) << response.error.value_or("");
            break;
        }
    }
}

}  // namespace
}  // namespace zentrabo::testing
