#include "platform/dispatch/awaited_answer.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include "platform/dispatch/manual_clock.hpp"

namespace zentrabo::platform {
namespace {

// How the operation answers, and what the waiter should see.
enum class Answer { atOnce, fromAnotherThread, afterTheDeadline, droppedWithFailure, droppedSilently, failed };

struct Outcome {
    bool finished = false;
    std::optional<int> value;
    std::string failure;
    bool timedOut = false;
};

// The waiter races the answer with a two-second watchdog, as every deadline
// of the program does.
asio::awaitable<void> waitFor(Answer answer, Clock& clock, std::vector<AnswerCompletion<int>>& held, Outcome& outcome) {
    const auto operation = [answer, &held](AnswerCompletion<int> completion) {
        switch (answer) {
        case Answer::atOnce:
            completion(1);
            break;
        case Answer::fromAnotherThread:
            std::thread([completion] { completion(2); }).join();
            break;
        case Answer::failed:
            completion.fail(std::make_exception_ptr(std::runtime_error("the work failed")));
            break;
        case Answer::afterTheDeadline:
            held.push_back(completion);
            break;
        case Answer::droppedWithFailure:
        case Answer::droppedSilently:
            break;
        }
    };
    const auto whenDropped = [answer]() -> std::exception_ptr {
        if (answer != Answer::droppedWithFailure) return nullptr;
        return std::make_exception_ptr(std::runtime_error("never answered"));
    };
    try {
        outcome.value = co_await withinDeadline(clock, 2, awaitAnswer<int>(operation, whenDropped));
        outcome.timedOut = !outcome.value;
    } catch (const std::exception& error) {
        outcome.failure = error.what();
    }
    outcome.finished = true;
}

TEST(AwaitAnswer, TheAnswerTheFailureOrTheDeadlineWhicheverComesFirst) {
    struct Row {
        const char* name;
        Answer answer;
        std::optional<int> value;
        std::string failure;
        bool timedOut;
    };
    const std::vector<Row> rows = {
        {"an answer before the operation returns", Answer::atOnce, 1, "", false},
        {"an answer from another thread", Answer::fromAnotherThread, 2, "", false},
        {"a failure is thrown in the waiter", Answer::failed, std::nullopt, "the work failed", false},
        {"a dropped completion throws its failure", Answer::droppedWithFailure, std::nullopt, "never answered", false},
        {"a silently dropped completion waits for the deadline", Answer::droppedSilently, std::nullopt, "", true},
        {"a held answer loses to the deadline", Answer::afterTheDeadline, std::nullopt, "", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        asio::io_context context;
        ManualClock clock;
        std::vector<AnswerCompletion<int>> held;
        Outcome outcome;
        asio::co_spawn(context, waitFor(row.answer, clock, held, outcome), asio::detached);
        context.poll();
        if (!outcome.finished) {
            clock.advance(1.9);
            context.poll();
            EXPECT_FALSE(outcome.finished) << "before the deadline";
            clock.advance(0.1);
            context.poll();
        }
        ASSERT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.value, row.value);
        EXPECT_EQ(outcome.failure, row.failure);
        EXPECT_EQ(outcome.timedOut, row.timedOut);
        // An answer after the waiter gave up is dropped, and so is one
        // after the waiter's context is gone.
        for (const auto& completion : held) completion(3);
        context.poll();
        EXPECT_EQ(outcome.value, row.value);
    }
}

TEST(AwaitAnswer, AnAnswerAfterTheWaitersContextIsGoneFindsNothing) {
    std::optional<AnswerCompletion<int>> late;
    {
        asio::io_context context;
        asio::co_spawn(
            context,
            [&late]() -> asio::awaitable<void> {
                co_await awaitAnswer<int>([&late](AnswerCompletion<int> completion) { late = completion; });
            },
            asio::detached);
        context.poll();
        ASSERT_TRUE(late);
    }
    (*late)(4);
}

}  // namespace
}  // namespace zentrabo::platform
