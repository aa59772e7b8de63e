#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/dispatch/work_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace zentrabo::platform {
namespace {

TEST(SerialQueueTest, RunsHandlersOneAtATimeInPostingOrder) {
    SerialQueue queue("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    bool overlapped = false;
    std::promise<void> done;
    for (int i = 0; i < 500; ++i) {
        queue.post([&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue.post([&] { done.set_value(); });
    done.get_future().wait();
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(queue.name(), "test.serial");
}

TEST(SerialQueueTest, AQueueWhoseLastOwnerGoesInItsOwnHandlerEndsWithoutJoiningItself) {
    auto queue = std::make_shared<SerialQueue>("test.self");
    std::promise<void> destroyed;
    queue->post([owned = std::move(queue), &destroyed]() mutable {
        owned.reset();
        destroyed.set_value();
    });
    EXPECT_EQ(destroyed.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

TEST(MainLoopTest, AStopThatComesBeforeRunIsNotLost) {
    MainLoop loop;
    SerialQueue signaller("test.signal");
    std::promise<void> stopped;
    signaller.post([&] {
        loop.stop();
        stopped.set_value();
    });
    stopped.get_future().wait();
    loop.run();  // would block for ever if the stop were forgotten
    bool ran = false;
    loop.post([&] { ran = true; });
    EXPECT_EQ(loop.runReady(), 1u);
    EXPECT_TRUE(ran);
}

TEST(GrowingWorkPoolTest, AddsThreadsWhileAllAreBlockedUpToItsBound) {
    GrowingWorkPool pool("test.pool", 3);
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    bool release = false;
    std::promise<void> lastRan;

    for (int i = 0; i < 3; ++i) {
        pool.post([&] {
            std::unique_lock lock(mutex);
            ++started;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
        });
    }
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return started == 3; });  // three blocked handlers run side by side
    }
    pool.post([&] { lastRan.set_value(); });  // queued: the bound is reached
    EXPECT_EQ(pool.threadCount(), 3u);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    lastRan.get_future().wait();
    EXPECT_EQ(pool.threadCount(), 3u);
}

TEST(SystemClockTest, TimersRunOnTheGivenExecutorAndCancelledOnesDoNot) {
    SystemClock clock;
    SerialQueue queue("test.timers");
    std::promise<std::thread::id> ranOn;
    std::atomic<bool> cancelledRan{false};
    Timer cancelled = clock.schedule(queue.executor(), 0.01, [&] { cancelledRan = true; });
    cancelled.cancel();
    clock.postAfter(queue.executor(), 0.02, [&] { ranOn.set_value(std::this_thread::get_id()); });
    const std::thread::id id = ranOn.get_future().get();
    EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_FALSE(cancelledRan);
    // Reference date: 2001-01-01; any current time lies well past 2020 (631152000).
    EXPECT_GT(clock.now().secondsSinceReferenceDate, 631152000.0);
}

}  // namespace
}  // namespace zentrabo::platform
