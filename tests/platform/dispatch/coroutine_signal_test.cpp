#include "platform/dispatch/coroutine_signal.hpp"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

namespace zentrabo::platform {
namespace {

TEST(CoroutineSignal, NotifyWakesTheWaiterAndIsNotRememberedWithoutOne) {
    asio::io_context context;
    CoroutineSignal signal(context.get_executor());
    signal.notify();
    int wakeCount = 0;
    asio::co_spawn(
        context,
        [&]() -> asio::awaitable<void> {
            co_await signal.wait();
            ++wakeCount;
        },
        asio::detached);
    context.poll();
    EXPECT_EQ(wakeCount, 0) << "the notify before the wait was forgotten";
    signal.notify();
    context.poll();
    EXPECT_EQ(wakeCount, 1);
}

}  // namespace
}  // namespace zentrabo::platform
