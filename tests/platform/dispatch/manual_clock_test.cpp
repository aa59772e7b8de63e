#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"

#include <gtest/gtest.h>

#include <cmath>
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

}  // namespace
}  // namespace zentrabo::platform
