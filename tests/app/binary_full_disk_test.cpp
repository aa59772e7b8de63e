// The binary on a full disk: a small tmpfs mounted over the temporary home
// and filled. Nothing that cannot be stored may be told as done: settings
// keep their old values, and a device whose pairing cannot be stored is not
// paired, then or after a restart. The mount needs root (as scripts/test.sh
// runs the tests) and is made in a mount namespace of the test's own.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/binary_harness.hpp"

namespace zentrabo::testing {
namespace {

class FullDiskTest : public BinaryServerTest {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a full disk needs root (scripts/test.sh runs the tests as root)";
        // A mount namespace of this test process's own, made private: the
        // tmpfs is seen by the test and the server it starts, by nothing
        // else, and goes with them.
        ASSERT_EQ(unshare(CLONE_NEWNS), 0) << std::strerror(errno);
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
        ASSERT_EQ(mount("tmpfs", home.path().c_str(), "tmpfs", 0, "size=8m,mode=0700"), 0) << std::strerror(errno);
        mounted_ = true;
        BinaryServerTest::SetUp();
    }

    void TearDown() override {
        process.reset();
        if (mounted_) umount2(home.path().c_str(), MNT_DETACH);
    }

    std::filesystem::path filler() const { return home.path() / "filler"; }

    // Writes until not one more byte fits.
    void fillDisk() {
        std::FILE* file = std::fopen(filler().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::setvbuf(file, nullptr, _IONBF, 0);
        const std::vector<char> block(64 * 1024, 'x');
        for (std::size_t size = block.size(); size > 0; size /= 2) {
            while (std::fwrite(block.data(), 1, size, file) == size) {
            }
            std::clearerr(file);
        }
        std::fclose(file);
    }

    // "status" as key and value.
    std::map<std::string, std::string> status() {
        std::map<std::string, std::string> values;
        EXPECT_TRUE(process->writeLine("status"));
        EXPECT_TRUE(process->readLineStartingWith("Server status:", terminalDeadline));
        while (true) {
            const auto line = process->readLine(terminalDeadline);
            if (!line) break;
            const auto colon = line->find(": ");
            if (colon == std::string::npos) break;
            values[line->substr(0, colon)] = line->substr(colon + 2);
            if (line->starts_with("log file: ")) break;
        }
        return values;
    }

    bool mounted_ = false;
};

TEST_F(FullDiskTest, NothingUnstoredIsToldAsDone) {
    const auto before = status();
    ASSERT_TRUE(before.contains("receive folder"));
    fillDisk();
    ASSERT_FALSE(HasFatalFailure());

    const std::string notSaved = "Not saved: no space left on the device.";
    // Each command and the status line that must keep its value.
    const struct {
        const char* command;
        const char* statusKey;
    } settings[] = {
        {"folder ~/Elsewhere", "receive folder"},
        {"duration long", "session duration"},
        {"scopes local stream", "scopes local"},
        {"relay host relay.example.net", "relay"},
        {"relay on", "relay"},
        {"password set secret", "password configured"},
    };
    for (const auto& setting : settings) answersCommand(setting.command, notSaved);
    const auto unchanged = status();
    for (const auto& setting : settings) {
        EXPECT_EQ(unchanged.at(setting.statusKey), before.at(setting.statusKey)) << setting.command;
    }

    // The right code, but no room for the paired device: refused with why,
    // and not trusted even for this run.
    TestDevice phone;
    const auto refused = pair(phone, openPairingWindow(), "D-1");
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "The pairing could not be saved: no space left on the device.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::pairingUnavailable);
    EXPECT_TRUE(process->readLineStartingWith("Pairing not saved: no space left on the device.", terminalDeadline));
    EXPECT_EQ(send(phone, deviceRequest("D-2", "ping")).errorCode, HalvardineErrorCode::notAuthorized);
    EXPECT_TRUE(status().at("pairing").starts_with("active")) << "the window stays open for another try";

    // With room again, a restart knows neither the device nor the settings,
    // and the same device pairs.
    std::filesystem::remove(filler());
    restartProcess();
    ASSERT_FALSE(HasFatalFailure());
    answersCommand("devices", "Paired devices: none.");
    const auto restarted = status();
    for (const auto& setting : settings) {
        EXPECT_EQ(restarted.at(setting.statusKey), before.at(setting.statusKey)) << setting.command;
    }
    const auto paired = pair(phone, openPairingWindow(), "D-3");
    EXPECT_TRUE(paired.ok) << paired.error.value_or("");
    EXPECT_TRUE(send(phone, deviceRequest("D-4", "ping")).ok);
}

}  // namespace
}  // namespace zentrabo::testing
