#pragma once
// Runs a test's main loop until a condition holds; the bound only keeps a
// fault from hanging the suite.
#include <chrono>
#include <thread>

#include "platform/dispatch/main_loop.hpp"

namespace zentrabo::testing {

template <typename Condition>
bool runMainLoopUntil(platform::MainLoop& mainLoop, Condition condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        mainLoop.runReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace zentrabo::testing
