#include "server/connection/request_line_budget.hpp"

#include <utility>

namespace zentrabo {

bool RequestLineBudget::claim(std::size_t count) noexcept {
    std::size_t held = held_.load(std::memory_order_relaxed);
    do {
        if (count > capacity_ - held) return false;
    } while (!held_.compare_exchange_weak(held, held + count, std::memory_order_relaxed));
    return true;
}

RequestLineShare::RequestLineShare(RequestLineShare&& other) noexcept
    : budget_(std::move(other.budget_)), bytes_(std::exchange(other.bytes_, 0)) {}

RequestLineShare& RequestLineShare::operator=(RequestLineShare&& other) noexcept {
    if (this != &other) {
        giveBack();
        budget_ = std::move(other.budget_);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

bool RequestLineShare::grow(std::size_t count) noexcept {
    if (!budget_ || !budget_->claim(count)) return false;
    bytes_ += count;
    return true;
}

void RequestLineShare::giveBack() noexcept {
    if (budget_) budget_->release(bytes_);
    bytes_ = 0;
}

}  // namespace zentrabo
