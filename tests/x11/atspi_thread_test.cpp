// The accessibility thread: calls in posting order, the queue's bound, and a
// thread that sleeps while nothing happens yet wakes for a call, a bus event
// or its stop.
#include <atspi/atspi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/desktop/atspi/atspi_thread.hpp"
#include "support/test_application.hpp"
#include "support/x11_session.hpp"

namespace zentrabo::platform {
namespace {

using namespace std::chrono_literals;

// Generous: a call that needs longer than this did not wake the thread.
constexpr auto kBound = 2s;
// A call with no wait for its answer: it is queued, or refused when full.
constexpr auto kNoWait = 0ms;

// The voluntary context switches of one of this process's threads.
std::optional<long> voluntarySwitches(pid_t thread) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    const std::string key = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    }
    return std::nullopt;
}

// Whether the thread's destructor returned within the bound. One that hangs
// is left behind on a helper thread, so the test fails instead of hanging.
bool endsWithin(std::unique_ptr<AtspiThread> thread, std::chrono::milliseconds bound) {
    auto ended = std::make_shared<std::promise<void>>();
    auto future = ended->get_future();
    std::thread([thread = std::move(thread), ended]() mutable {
        thread.reset();
        ended->set_value();
    }).detach();
    return future.wait_for(bound) == std::future_status::ready;
}

TEST(AtspiThread, CallsRunOneAtATimeInPostingOrderUpToTheQueuesBound) {
    struct Case {
        const char* name;
        // Whether a call holds the thread while the others are posted, or
        // they reach a thread that sleeps.
        bool busy;
        int posted;
        int expectedRun;
    };
    constexpr int bound = static_cast<int>(AtspiThread::maxQueued);
    const Case cases[] = {
        {"posted to a sleeping thread", false, 10, 10},
        {"queued behind a busy call", true, 10, 10},
        {"beyond a full queue", true, bound + 5, bound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<void> started;
        std::promise<void> release;
        std::promise<void> allRan;
        std::vector<int> order;  // touched on the thread only
        AtspiThread thread{[] {}};

        if (c.busy) {
            thread.call(
                [&started, gate = release.get_future().share()] {
                    started.set_value();
                    gate.wait();
                    return true;
                },
                kNoWait);
            ASSERT_EQ(started.get_future().wait_for(kBound), std::future_status::ready);
        } else {
            ASSERT_TRUE(thread.call([] { return true; }, kBound));
            std::this_thread::sleep_for(50ms);  // lets it fall asleep
        }
        for (int index = 0; index < c.posted; ++index) {
            thread.call(
                [&, index] {
                    order.push_back(index);
                    if (static_cast<int>(order.size()) == c.expectedRun) allRan.set_value();
                    return true;
                },
                kNoWait);
        }
        if (c.busy) release.set_value();

        ASSERT_EQ(allRan.get_future().wait_for(kBound), std::future_status::ready);
        const auto ran = thread.call([&order] { return order; }, kBound);
        ASSERT_TRUE(ran);
        std::vector<int> expected(static_cast<std::size_t>(c.expectedRun));
        for (int index = 0; index < c.expectedRun; ++index) expected[static_cast<std::size_t>(index)] = index;
        EXPECT_EQ(*ran, expected);
    }
}

TEST(AtspiThread, AnIdleThreadSleepsYetAnswersAndStopsAtOnce) {
    auto thread = std::make_unique<AtspiThread>([] {});
    const auto id = thread->call([] { return gettid(); }, kBound);
    ASSERT_TRUE(id);

    // A thread that looked for work on a timer would wake several times
    // over this stretch; one that sleeps until woken does not wake at all.
    std::this_thread::sleep_for(50ms);
    const auto before = voluntarySwitches(*id);
    std::this_thread::sleep_for(300ms);
    const auto after = voluntarySwitches(*id);
    ASSERT_TRUE(before && after);
    EXPECT_LE(*after - *before, 2);

    EXPECT_EQ(thread->call([] { return 42; }, kBound), 42) << "a call wakes it";
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(endsWithin(std::move(thread), kBound)) << "the stop wakes it";
}

// The library's events reach the thread through the context it sleeps in:
// with no call posted, an application's window event is still dispatched.
class AtspiThreadOnTheBus : public testing::X11SessionTest {};

TEST_F(AtspiThreadOnTheBus, AWindowEventWakesASleepingThread) {
    struct Seen {
        bool once = false;  // touched on the thread only
        std::promise<void> event;
    } seen;
    AtspiEventListener* listener = nullptr;
    AtspiThread thread{[] {}};
    const auto registered = thread.call(
        [&] {
            if (atspi_init() > 1) return false;
            listener = atspi_event_listener_new(
                [](AtspiEvent* event, void* data) {
                    auto* seen = static_cast<Seen*>(data);
                    if (!std::exchange(seen->once, true)) seen->event.set_value();
                    g_boxed_free(ATSPI_TYPE_EVENT, event);
                },
                &seen, nullptr);
            return static_cast<bool>(atspi_event_listener_register(listener, "window:", nullptr));
        },
        5s);
    ASSERT_TRUE(registered && *registered) << "the accessibility bus of the test session";

    std::this_thread::sleep_for(50ms);  // lets it fall asleep
    testing::TestApplication application({.windows = {{"Events", 300, 200, {}, {}, {}, false}}});
    EXPECT_EQ(seen.event.get_future().wait_for(10s), std::future_status::ready);

    thread.call(
        [listener] {
            atspi_event_listener_deregister(listener, "window:", nullptr);
            g_object_unref(listener);
            return true;
        },
        kBound);
}

}  // namespace
}  // namespace zentrabo::platform
