#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::platform {
namespace {

using testing::fileText;

class UserDefaultsTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    ManualClock clock;
    asio::io_context writer;  // batched writes run only when the test polls it
    std::mutex problemsMutex;
    std::vector<std::string> problems;

    std::shared_ptr<UserDefaults> open() {
        return UserDefaults::create(clock, writer.get_executor(), [this](const std::string& problem) {
            std::lock_guard lock(problemsMutex);
            problems.push_back(problem);
        });
    }

    // A fresh store reading the file, as after a restart.
    std::shared_ptr<UserDefaults> reopened() { return open(); }
};

TEST_F(UserDefaultsTest, EveryKindOfValueSurvivesARestart) {
    {
        auto defaults = open();
        defaults->set("flag", true);
        defaults->set("port", std::int64_t{8443});
        defaults->set("ratio", 0.25);
        defaults->set("host", std::string("relay.example"));
        defaults->set("certificate", Bytes{0x30, 0x00, 0xFF});
        defaults->set("scopes", std::vector<std::string>{"files", "stream"});
        defaults->set("gone", std::string("soon"));
        defaults->remove("gone");
    }
    auto defaults = reopened();
    EXPECT_EQ(defaults->boolean("flag"), true);
    EXPECT_EQ(defaults->integer("port"), 8443);
    EXPECT_EQ(defaults->value("ratio"), DefaultsValue(0.25));
    EXPECT_EQ(defaults->string("host"), "relay.example");
    EXPECT_EQ(defaults->data("certificate"), (Bytes{0x30, 0x00, 0xFF}));
    EXPECT_EQ(defaults->stringArray("scopes"), (std::vector<std::string>{"files", "stream"}));
    EXPECT_FALSE(defaults->value("gone").has_value());
    EXPECT_FALSE(defaults->string("port").has_value());  // another kind reads as none

    struct stat status {};
    ASSERT_EQ(::stat(UserDefaults::filePath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(UserDefaults::filePath().parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(UserDefaults::filePath(), home.path() / ".config/zentrabo/defaults.json");
}

TEST_F(UserDefaultsTest, ImmediateWritesReachTheDiskBeforeReturning) {
    auto defaults = open();
    defaults->set("relayEnabled", true);
    EXPECT_NE(fileText(UserDefaults::filePath()).find("\"relayEnabled\":true"), std::string::npos);
}

TEST_F(UserDefaultsTest, CoalescibleWritesAreBatchedAtMostOncePerSecond) {
    auto defaults = open();
    defaults->set("seen", std::int64_t{1}, DefaultsWrite::coalescible);
    writer.poll();  // the first batch after a quiet second goes out at once
    writer.restart();
    EXPECT_NE(fileText(UserDefaults::filePath()).find("\"seen\":1"), std::string::npos);

    defaults->set("seen", std::int64_t{2}, DefaultsWrite::coalescible);
    defaults->set("seen", std::int64_t{3}, DefaultsWrite::coalescible);
    writer.poll();
    writer.restart();
    EXPECT_NE(fileText(UserDefaults::filePath()).find("\"seen\":1"), std::string::npos);
    EXPECT_EQ(defaults->integer("seen"), 3);  // readers see the newest value at once

    clock.advance(0.5);
    writer.poll();
    writer.restart();
    EXPECT_NE(fileText(UserDefaults::filePath()).find("\"seen\":1"), std::string::npos);

    clock.advance(0.5);
    writer.poll();
    writer.restart();
    EXPECT_NE(fileText(UserDefaults::filePath()).find("\"seen\":3"), std::string::npos);
}

TEST_F(UserDefaultsTest, PendingBatchIsWrittenAtShutdown) {
    {
        auto defaults = open();
        defaults->set("first", std::int64_t{1}, DefaultsWrite::coalescible);
        writer.poll();
        writer.restart();
        defaults->set("second", std::int64_t{2}, DefaultsWrite::coalescible);
    }  // never polled again: the destructor flushes
    EXPECT_EQ(reopened()->integer("second"), 2);
}

TEST_F(UserDefaultsTest, ImmediateWriteCarriesPendingBatchedValues) {
    auto defaults = open();
    defaults->set("a", std::int64_t{1}, DefaultsWrite::coalescible);
    writer.poll();
    writer.restart();
    defaults->set("a", std::int64_t{2}, DefaultsWrite::coalescible);
    defaults->set("b", true);
    const std::string text = fileText(UserDefaults::filePath());
    EXPECT_NE(text.find("\"a\":2"), std::string::npos);
    EXPECT_NE(text.find("\"b\":true"), std::string::npos);
}

TEST_F(UserDefaultsTest, BatchesOnAnotherThreadNeverOverwriteNewerValues) {
    auto defaults = open();
    auto guard = asio::make_work_guard(writer);
    std::thread writerThread([this] { writer.run(); });
    for (std::int64_t value = 0; value < 200; ++value) {
        defaults->set("seen", value, DefaultsWrite::coalescible);
        if (value % 10 == 0) clock.advance(1.0);
        if (value % 25 == 0) defaults->set("saved", value);
    }
    guard.reset();
    writerThread.join();
    auto restarted = reopened();
    EXPECT_EQ(restarted->integer("saved"), 175);
    // The last batched value was written by a batch or by the final flush.
    defaults.reset();
    EXPECT_EQ(reopened()->integer("seen"), 199);
}

TEST_F(UserDefaultsTest, UnreadableFileIsKeptAsideAndReported) {
    std::filesystem::create_directories(UserDefaults::filePath().parent_path());
    { std::ofstream(UserDefaults::filePath()) << "{\"relayHost\": \"a\", broken"; }
    auto defaults = open();
    EXPECT_FALSE(defaults->value("relayHost").has_value());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("kept it as"), std::string::npos);

    std::vector<std::filesystem::path> aside;
    for (const auto& entry : std::filesystem::directory_iterator(UserDefaults::filePath().parent_path())) {
        if (entry.path().filename().string().starts_with("defaults.json.unreadable-")) {
            aside.push_back(entry.path());
        }
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(fileText(aside[0]), "{\"relayHost\": \"a\", broken");

    defaults->set("relayHost", std::string("b"));
    EXPECT_EQ(reopened()->string("relayHost"), "b");
}

TEST_F(UserDefaultsTest, NonFiniteNumbersAreRefused) {
    auto defaults = open();
    defaults->set("ratio", 0.5);
    defaults->set("ratio", std::numeric_limits<double>::infinity());
    EXPECT_EQ(defaults->value("ratio"), DefaultsValue(0.5));
    EXPECT_EQ(problems.size(), 1u);
    defaults->set("other", true);
    EXPECT_EQ(reopened()->value("ratio"), DefaultsValue(0.5));
}

}  // namespace
}  // namespace zentrabo::platform
