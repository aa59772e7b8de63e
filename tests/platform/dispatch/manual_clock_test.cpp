#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {
namespace {

class ManualClockTest : public ::testing::Test {
protected:
    ManualClock clock{Date{1000.0}};
    MainLoop loop;
    std::vector<std::string> fired;

    auto record(std::string name) {
        return [this, name = std::move(name)] { fired.push_back(name); };
    }
};

TEST_F(ManualClockTest, FiresDueHandlersOnTheirExecutorInDueOrder) {
    Timer late = clock.schedule(loop.executor(), 5, record("late"));
    Timer early = clock.schedule(loop.executor(), 2, record("early"));
    Timer tieFirst = clock.schedule(loop.executor(), 3, record("tie-1"));
    Timer tieSecond = clock.schedule(loop.executor(), 3, record("tie-2"));

    clock.advance(1.999);
    loop.runReady();
    EXPECT_TRUE(fired.empty());

    clock.advance(1.001);  // exactly due counts as due
    EXPECT_TRUE(fired.empty()) << "handlers run on their executor, not inside advance";
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"early", "tie-1", "tie-2"}));

    clock.advance(100);
    loop.runReady();
    EXPECT_EQ(fired.back(), "late");
    EXPECT_DOUBLE_EQ(clock.now().secondsSinceReferenceDate, 1103.0);
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 103.0);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

TEST_F(ManualClockTest, CancelledOrDestroyedTimersNeverRun) {
    Timer cancelled = clock.schedule(loop.executor(), 1, record("cancelled"));
    { Timer dropped = clock.schedule(loop.executor(), 1, record("dropped")); }
    Timer kept = clock.schedule(loop.executor(), 1, record("kept"));
    cancelled.cancel();
    EXPECT_EQ(clock.pendingCount(), 1u);

    // Cancelling after the handler was posted but before it ran still stops it.
    Timer postedThenCancelled = clock.schedule(loop.executor(), 2, record("posted"));
    clock.advance(2);
    postedThenCancelled.cancel();
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"kept"}));
}

TEST_F(ManualClockTest, MovedTimerKeepsItsHandlerAndReassignmentCancelsTheOld) {
    Timer first = clock.schedule(loop.executor(), 1, record("first"));
    Timer moved = std::move(first);
    first.cancel();  // moved-from handle does nothing
    moved = clock.schedule(loop.executor(), 1, record("second"));
    clock.advance(1);
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"second"}));
}

TEST_F(ManualClockTest, HandlersScheduleFurtherWork) {
    clock.postAfter(loop.executor(), 1, [this] {
        fired.push_back("outer");
        clock.postAfter(loop.executor(), 0, record("immediate"));
        clock.postAfter(loop.executor(), 1, record("next second"));
    });
    clock.advance(1);
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"outer", "immediate"}));
    clock.advance(0.5);
    loop.runReady();
    EXPECT_EQ(fired.size(), 2u);
    clock.advance(0.5);
    loop.runReady();
    EXPECT_EQ(fired.back(), "next second");
}

TEST_F(ManualClockTest, NegativeAndNaNDelaysAreImmediate) {
    clock.postAfter(loop.executor(), -5, record("negative"));
    clock.postAfter(loop.executor(), std::nan(""), record("nan"));
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"negative", "nan"}));
    clock.advance(-3);
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 0);
}

TEST_F(ManualClockTest, SleepAdvancesAndRunLoopTurnStopsAtTheNextDueEvent) {
    Timer timer = clock.schedule(loop.executor(), 3, record("timer"));
    clock.sleep(3);
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 3);
    loop.runReady();
    EXPECT_EQ(fired, (std::vector<std::string>{"timer"}));

    clock.runLoopTurn(0.5);  // no hook: the whole limit
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 3.5);

    clock.setNextDueHook([] { return std::optional<double>(3.7); });
    clock.runLoopTurn(1);
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 3.7);
    clock.runLoopTurn(1);  // already due: no time passes
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 3.7);

    clock.setNextDueHook([] { return std::optional<double>(); });
    clock.runLoopTurn(1);
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), 4.7);
}

TEST_F(ManualClockTest, AWatchSaysWhetherItsTimePassedAndADelayThatIsCutThrows) {
    enum class Outcome { pending, elapsed, cut, threw };
    struct Case {
        const char* name;
        bool isWatch;
        // Cancelled after this much time has passed, unless its own time passed first.
        double cancelAfter;
        Outcome expected;
    };
    const Case cases[] = {
        {"watch, time passes", true, 10, Outcome::elapsed},
        {"watch, cancelled first", true, 1, Outcome::cut},
        {"delay, time passes", false, 10, Outcome::elapsed},
        {"delay, cancelled first", false, 1, Outcome::threw},
    };
    constexpr double waitSeconds = 5;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Outcome outcome = Outcome::pending;
        asio::cancellation_signal cancel;
        auto wait = [&]() -> asio::awaitable<Outcome> {
            if (test.isWatch) co_return co_await clock.watch(waitSeconds) ? Outcome::elapsed : Outcome::cut;
            co_await clock.delay(waitSeconds);
            co_return Outcome::elapsed;
        };
        asio::co_spawn(loop.executor(), wait(),
                       asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr failure, Outcome result) {
                           outcome = failure ? Outcome::threw : result;
                       }));
        loop.runReady();
        clock.advance(std::min(test.cancelAfter, waitSeconds) - 0.5);
        loop.runReady();
        EXPECT_EQ(outcome, Outcome::pending);
        if (test.cancelAfter < waitSeconds) {
            cancel.emit(asio::cancellation_type::terminal);
        } else {
            clock.advance(0.5);
        }
        loop.runReady();
        EXPECT_EQ(outcome, test.expected);
        EXPECT_EQ(clock.pendingCount(), 0u);
    }
}

}  // namespace
}  // namespace zentrabo::platform
