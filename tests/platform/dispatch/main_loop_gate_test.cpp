#include "platform/dispatch/main_loop_gate.hpp"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <vector>

namespace zentrabo::platform {
namespace {

TEST(MainLoopGate, RunsHandlersWhileOpenAndDropsThoseStillQueuedAtClose) {
    asio::io_context mainLoop;
    auto gate = std::make_shared<MainLoopGate>(mainLoop.get_executor());
    std::vector<int> ran;
    gate->post([&] { ran.push_back(1); });
    mainLoop.poll();
    gate->post([&] { ran.push_back(2); });  // queued when the owner goes away
    gate->close();
    gate->post([&] { ran.push_back(3); });
    mainLoop.restart();
    mainLoop.poll();
    EXPECT_EQ(ran, std::vector<int>{1});
}

}  // namespace
}  // namespace zentrabo::platform
