// The binary killed (kill -9) in the middle of saving a file a phone sent:
// the half-written temporary file stays behind, and so may others of earlier
// deaths beside the key store and in the settings and log folders. The next
// start clears every one of them away and says in the log how many.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/binary_harness.hpp"
#include "platform/files/atomic_file.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;

// The server's temporary files in the folder and below it.
std::vector<fs::path> temporaryFiles(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (platform::isTemporaryFileName(entry->path().filename().string())) found.push_back(entry->path());
    }
    return found;
}

// Waits for a file to be created in the folder; true when one was.
bool awaitCreation(int watch, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    alignas(inotify_event) char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        const ssize_t length = ::read(watch, buffer, sizeof buffer);
        if (length > 0) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

class BinaryInterruptedSaveTest : public BinaryServerTest {
protected:
    fs::path receiveFolder() const { return home.path() / "Downloads/Zentrabo"; }
    fs::path dataFolder() const { return home.path() / ".local/share/zentrabo"; }
    fs::path settingsFolder() const { return home.path() / ".config/zentrabo"; }

    // A workflow that saves a file of nearly the largest size, so that its
    // writing takes a while.
    std::string largeSave() const {
        auto request = deviceRequest("SAVE", "workflow");
        MenuWorkflowStep step;
        step.id = "save";
        step.kind = "sendFile";
        step.title = "Save";
        step.delayAfter = 0;
        step.fileTransferFilename = "large.bin";
        step.fileTransferData = Data(24 * 1024 * 1024, 0x5A);
        request.workflowSteps = std::vector<MenuWorkflowStep>{step};
        return encodeRecord(request) + "\n";
    }

    // Sends the save and kills the server the moment a file appears in the
    // receive folder; the temporary files the save left there.
    std::vector<fs::path> killDuringSave(const TestDevice& phone) {
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(inotify_add_watch(watch, receiveFolder().c_str(), IN_CREATE), 0);
        std::thread device(
            [&, line = largeSave()] { static_cast<void>(phone.exchangeLine(port, serverFingerprint, line)); });
        const bool created = awaitCreation(watch, std::chrono::seconds(20));
        EXPECT_EQ(::kill(process->pid(), SIGKILL), 0);
        const auto status = process->waitForExit();
        device.join();
        ::close(watch);
        EXPECT_TRUE(created) << "the save never began";
        EXPECT_TRUE(status && WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
        return temporaryFiles(receiveFolder());
    }
};

TEST_F(BinaryInterruptedSaveTest, TheNextStartRemovesEveryTemporaryFileLeftAndSaysHowMany) {
    TestDevice phone;
    pairDevice(phone);
    ASSERT_FALSE(HasFatalFailure());
    fs::create_directories(receiveFolder());

    // A save may, rarely, finish before the kill lands; it is then tried
    // again on a fresh start.
    std::vector<fs::path> interrupted;
    for (int attempt = 0; attempt < 3 && interrupted.empty(); ++attempt) {
        if (attempt > 0) {
            startProcess();
            ASSERT_FALSE(HasFatalFailure());
        }
        interrupted = killDuringSave(phone);
        ASSERT_FALSE(HasFailure());
    }
    ASSERT_EQ(interrupted.size(), 1u) << "the killed save left its temporary file";

    // Earlier deaths: beside the key store, in the settings and log folders,
    // deeper in the data folder. What only looks alike stays.
    const std::vector<fs::path> planted = {
        dataFolder() / ".unpublished-00000000000000a1",
        settingsFolder() / ".unpublished-00000000000000a2",
        home.logFolder() / ".unpublished-00000000000000a3",
        dataFolder() / "virtual-desktop/.unpublished-00000000000000a4",
    };
    for (const fs::path& path : planted) std::ofstream(path) << "half written";
    const std::vector<fs::path> lookalikes = {
        dataFolder() / ".unpublished-not-ours",
        receiveFolder() / "unpublished-00000000000000a5",
    };
    for (const fs::path& path : lookalikes) std::ofstream(path) << "kept";
    // The kill may also have cut short a write of the settings, which follows
    // every authorized request: its temporary file counts as well.
    const std::vector<fs::path> ownFolders = {receiveFolder(), dataFolder(), settingsFolder(), home.logFolder()};
    std::size_t left = 0;
    for (const fs::path& folder : ownFolders) left += temporaryFiles(folder).size();
    ASSERT_GE(left, planted.size() + interrupted.size());

    startProcess();
    ASSERT_FALSE(HasFatalFailure());
    for (const fs::path& folder : ownFolders) EXPECT_TRUE(temporaryFiles(folder).empty()) << folder;
    for (const fs::path& path : lookalikes) EXPECT_TRUE(fs::exists(path)) << path;
    const std::string removed = "Removed " + std::to_string(left) + " temporary files left by an interrupted write";
    EXPECT_EQ(home.logCount(removed), 1u) << home.logText();
}

}  // namespace
}  // namespace zentrabo::testing
