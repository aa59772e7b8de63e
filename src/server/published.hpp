#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace zentrabo {

// One published property of the server: a value the user interface reads and
// observes. Every assignment notifies its observers, changed or not; writers
// that must stay quiet for an equal value compare first. Owned and written
// on the main loop only, so it needs no lock.
template <typename T>
class Published {
public:
    using Observer = std::function<void(const T&)>;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const noexcept { return value_; }
    const T& operator*() const noexcept { return value_; }
    const T* operator->() const noexcept { return &value_; }

    void set(T value) {
        value_ = std::move(value);
        for (std::size_t index = 0; index < observers_.size(); ++index) {
            // Copied: an observer may add another observer while it runs.
            Observer observer = observers_[index];
            observer(value_);
        }
    }

    // Observers live as long as the property; they capture weakly whatever
    // may go away before it.
    // Readers hold a const reference, so observing is allowed through one.
    void observe(Observer observer) const { observers_.push_back(std::move(observer)); }

private:
    T value_{};
    mutable std::vector<Observer> observers_;
};

}  // namespace zentrabo
