#include "app/standard_input_lines.hpp"
#include "platform/dispatch/main_loop.hpp"

#include <asio/io_context.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zentrabo {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

class StandardInputLinesTest : public ::testing::Test {
protected:
    StandardInputLinesTest() { EXPECT_EQ(pipe2(pipe_, O_CLOEXEC), 0); }
    ~StandardInputLinesTest() override {
        for (int end : pipe_) {
            if (end >= 0) close(end);
        }
    }

    void write(const std::string& bytes) {
        ASSERT_EQ(::write(pipe_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void closeWritingEnd() {
        close(pipe_[1]);
        pipe_[1] = -1;
    }
    // Runs the main loop until the count of lines arrived (or 10 s passed).
    void waitForLines(std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (mainLoop.runReady() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    int pipe_[2] = {-1, -1};
    platform::MainLoop mainLoop;
    std::vector<std::optional<std::string>> lines;
};

TEST_F(StandardInputLinesTest, SplitsReassemblesAndBoundsLines) {
    StandardInputLines reader(
        pipe_[0], mainLoop.executor(),
        [this](std::optional<std::string> line, StandardInputLines::LineSlot) { lines.push_back(std::move(line)); });
    write("sta");
    write("tus\r\nrevoke 2\n\n");
    write(std::string(StandardInputLines::maximumLineLength + 1, 'x') + "\n");
    write(std::string(StandardInputLines::maximumLineLength, 'y') + "\nquit");
    closeWritingEnd();
    waitForLines(6);
    EXPECT_THAT(lines, ElementsAre(Optional(std::string("status\r")), Optional(std::string("revoke 2")),
                                   Optional(std::string()), std::nullopt,
                                   Optional(std::string(StandardInputLines::maximumLineLength, 'y')),
                                   Optional(std::string("quit"))));
}

TEST_F(StandardInputLinesTest, HandsOverAtMostItsBoundOfLinesAheadOfTheMainLoop) {
    write(std::string(3 * StandardInputLines::maximumPendingLines, '\n'));
    asio::io_context idleLoop;
    {
        StandardInputLines reader(pipe_[0], idleLoop.get_executor(),
                                  [this](std::optional<std::string> line, StandardInputLines::LineSlot) {
                                      lines.push_back(std::move(line));
                                  });
        // Time to run ahead; it must stop at its bound, and still stop
        // when asked while it waits there.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::size_t handedOver = idleLoop.poll();
    EXPECT_GT(handedOver, 0u);
    EXPECT_LE(handedOver, StandardInputLines::maximumPendingLines);
}

TEST_F(StandardInputLinesTest, DeliversEveryLineInOrderPastItsBound) {
    constexpr std::size_t lineCount = 3 * StandardInputLines::maximumPendingLines;
    std::string input;
    for (std::size_t index = 0; index < lineCount; ++index) input += std::to_string(index) + "\n";
    write(input);
    StandardInputLines reader(
        pipe_[0], mainLoop.executor(),
        [this](std::optional<std::string> line, StandardInputLines::LineSlot) { lines.push_back(std::move(line)); });
    waitForLines(lineCount);
    ASSERT_EQ(lines.size(), lineCount);
    for (std::size_t index = 0; index < lineCount; ++index) EXPECT_EQ(lines[index], std::to_string(index));
}

TEST_F(StandardInputLinesTest, StopsWhileWaitingForInput) {
    {
        StandardInputLines reader(pipe_[0], mainLoop.executor(),
                                  [this](std::optional<std::string> line, StandardInputLines::LineSlot) {
                                      lines.push_back(std::move(line));
                                  });
    }
    mainLoop.runReady();
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace zentrabo
