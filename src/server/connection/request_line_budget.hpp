#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace zentrabo {

// The bytes of request lines held at once over all connections, against one
// cap: a single atomic count, so connections on any number of threads share
// it exactly.
class RequestLineBudget {
public:
    explicit RequestLineBudget(std::size_t capacity) : capacity_(capacity) {}

    // Counts the bytes in; false, counting nothing, when they would pass the cap.
    bool claim(std::size_t count) noexcept;
    void release(std::size_t count) noexcept { held_.fetch_sub(count, std::memory_order_relaxed); }

private:
    const std::size_t capacity_;
    std::atomic<std::size_t> held_{0};
};

// One line's share of the budget, given back when the line goes.
class RequestLineShare {
public:
    RequestLineShare() noexcept = default;
    explicit RequestLineShare(std::shared_ptr<RequestLineBudget> budget) noexcept : budget_(std::move(budget)) {}
    RequestLineShare(RequestLineShare&& other) noexcept;
    RequestLineShare& operator=(RequestLineShare&& other) noexcept;
    RequestLineShare(const RequestLineShare&) = delete;
    RequestLineShare& operator=(const RequestLineShare&) = delete;
    ~RequestLineShare() { giveBack(); }

    // Adds count bytes to the share; false, adding nothing, when the budget
    // has no room for them.
    bool grow(std::size_t count) noexcept;

private:
    void giveBack() noexcept;

    std::shared_ptr<RequestLineBudget> budget_;
    std::size_t bytes_ = 0;
};

}  // namespace zentrabo
