#pragma once
// The one thread that talks to the accessibility bus: the tree of elements
// it keeps is not shared, so every call runs here, one at a time in posting
// order, and between calls the thread dispatches the events of GLib's
// default main context, where the bus connection tells what it tells. With
// nothing to do it sleeps in that context until an event, a call or the
// stop wakes it. A caller waits for its call at most its own timeout; an
// answer that comes later is dropped, and a queue that is full refuses the
// call, so no caller is held longer than it asked for.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace zentrabo::platform {

class AtspiThread {
public:
    static constexpr std::size_t maxQueued = 64;

    // start runs first on the thread (the library's setup).
    explicit AtspiThread(std::function<void()> start);
    ~AtspiThread();
    AtspiThread(const AtspiThread&) = delete;
    AtspiThread& operator=(const AtspiThread&) = delete;

    // The result of work run on the thread; none when it did not end within
    // timeout or the queue was full.
    template <typename Work>
    auto call(Work work, std::chrono::milliseconds timeout) -> std::optional<decltype(work())> {
        using Result = decltype(work());
        struct Answer {
            std::mutex mutex;
            std::condition_variable ready;
            std::optional<Result> value;
        };
        auto answer = std::make_shared<Answer>();
        const bool queued = post([answer, work = std::move(work)]() mutable {
            Result result = work();
            const std::lock_guard lock(answer->mutex);
            answer->value.emplace(std::move(result));
            answer->ready.notify_all();
        });
        if (!queued) return std::nullopt;
        std::unique_lock lock(answer->mutex);
        answer->ready.wait_for(lock, timeout, [&] { return answer->value.has_value(); });
        return std::move(answer->value);
    }

    // How many calls every thread of the process has queued so far: what a
    // request costs in waits on the bus, for the tests.
    static std::uint64_t callsQueued();

private:
    bool post(std::function<void()> task);
    void run(const std::function<void()>& start);

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zentrabo::platform
