#include "platform/dispatch/owned_tasks.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "platform/dispatch/awaited_answer.hpp"

namespace zentrabo::platform {
namespace {

struct Progress {
    bool started = false;
    std::optional<int> value;
    std::optional<AnswerCompletion<int>> held;
};

asio::awaitable<void> waitForAnswer(Progress& progress, bool fails) {
    progress.started = true;
    progress.value = co_await awaitAnswer<int>([&progress](AnswerCompletion<int> answer) { progress.held = answer; });
    if (fails) throw std::runtime_error("the task failed");
}

TEST(OwnedTasks, AClosedOwnerResumesNothingAndHearsOfNoFailure) {
    enum class Step { spawn, run, answer, close };
    using enum Step;
    struct Row {
        const char* name;
        std::vector<Step> steps;
        bool fails;
        bool started;
        std::optional<int> value;
        std::string failure;
    };
    const std::vector<Row> rows = {
        {"an open owner's task runs to its end", {spawn, run, answer, run}, false, true, 7, ""},
        {"an open owner hears what its task threw", {spawn, run, answer, run}, true, true, 7, "the task failed"},
        {"a close ends the wait, and the late answer is dropped",
         {spawn, run, close, run, answer, run},
         true,
         true,
         std::nullopt,
         ""},
        {"a close wins over an answer that has not resumed the task",
         {spawn, run, answer, close, run},
         true,
         true,
         std::nullopt,
         ""},
        {"a task closed before its turn never starts", {spawn, close, run}, false, false, std::nullopt, ""},
        {"a task spawned after the close never starts", {close, spawn, run}, false, false, std::nullopt, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        asio::io_context context;
        Progress progress;
        std::string failure;
        {
            OwnedTasks tasks(context.get_executor());
            for (const Step step : row.steps) {
                switch (step) {
                case spawn:
                    tasks.spawn(waitForAnswer(progress, row.fails), [&failure](std::exception_ptr thrown) {
                        try {
                            std::rethrow_exception(thrown);
                        } catch (const std::exception& error) {
                            failure = error.what();
                        }
                    });
                    break;
                case run:
                    context.restart();
                    context.poll();
                    break;
                case answer:
                    if (progress.held) (*progress.held)(7);
                    break;
                case close:
                    tasks.close();
                    break;
                }
            }
        }
        context.restart();
        context.poll();
        EXPECT_EQ(progress.started, row.started);
        EXPECT_EQ(progress.value, row.value);
        EXPECT_EQ(failure, row.failure);
    }
}

}  // namespace
}  // namespace zentrabo::platform
