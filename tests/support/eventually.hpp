#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace zentrabo::testing {

// Polls the condition until it holds or 10 s have passed; whether it held.
inline bool eventually(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace zentrabo::testing
