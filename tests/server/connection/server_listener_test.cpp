// The listener hands each connection to the next network thread in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <asio/post.hpp>

#include "platform/dispatch/context_pool.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "server/connection/server_listener.hpp"

namespace zentrabo::testing {
namespace {

TEST(ServerListenerTest, SpreadsConnectionsOverTheNetworkThreadsInTurn) {
    constexpr std::size_t threads = 2;
    constexpr std::size_t connections = 6;
    platform::SystemClock clock;
    platform::ContextPool pool("test-network", threads);

    std::mutex mutex;
    std::condition_variable changed;
    // The thread that runs each connection's handlers, in the order accepted.
    std::vector<std::optional<std::thread::id>> ranOn;
    std::promise<std::uint16_t> port;

    auto listener = std::make_shared<ServerListener>(pool.executors(), asio::ip::make_address("127.0.0.1"), clock);
    listener->start(
        [&](ServerListener::State state, std::optional<std::uint16_t> readyPort, std::error_code) {
            if (state == ServerListener::State::ready) port.set_value(readyPort.value_or(0));
        },
        [&](asio::ip::tcp::socket socket, asio::ip::tcp::endpoint) {
            const std::lock_guard lock(mutex);
            asio::post(socket.get_executor(), [&, index = ranOn.size()] {
                const std::lock_guard lock(mutex);
                ranOn[index] = std::this_thread::get_id();
                changed.notify_all();
            });
            ranOn.emplace_back();
        });

    asio::io_context io;
    std::vector<asio::ip::tcp::socket> clients;
    const std::uint16_t listening = port.get_future().get();
    for (std::size_t index = 0; index < connections; ++index) {
        clients.emplace_back(io).connect({asio::ip::make_address("127.0.0.1"), listening});
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] {
            return ranOn.size() == connections &&
                   std::all_of(ranOn.begin(), ranOn.end(), [](const auto& id) { return id.has_value(); });
        }));
    }

    pool.stopThreads();
    listener->closeSilently();
    EXPECT_NE(ranOn[0], ranOn[1]) << "both connections went to one thread";
    for (std::size_t index = threads; index < ranOn.size(); ++index) {
        EXPECT_EQ(ranOn[index], ranOn[index - threads]) << "connection " << index << " broke the turn";
    }
}

}  // namespace
}  // namespace zentrabo::testing
