#pragma once
// The one way a coroutine waits for work done elsewhere. `awaitAnswer`
// hands an operation a completion that may be called once from any thread,
// even before the operation returns, and resumes the coroutine on its own
// executor with the value. The coroutine owns the wait and the completion
// holds it weakly, so an answer that comes after the coroutine is gone (its
// executor's context went with it) finds nothing and is dropped: a closed
// owner never sees a late result. A cancellation of the coroutine (its
// owner's stop, or the clock's watchdog through withinDeadline) ends the
// wait with operation_aborted, thrown; an answer that comes later, or came
// but had not resumed the coroutine yet, is dropped.
// A completion let go unanswered resumes the coroutine with the failure
// `whenDropped` gives; without one (or when it gives none) the coroutine
// waits on until it is cancelled or its executor goes.
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <variant>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/co_spawn.hpp>
#include <asio/error.hpp>
#include <asio/experimental/awaitable_operators.hpp>
#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

// GCC 12 takes the frames of awaitables made here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace detail {

// Lives in the waiting coroutine; touched on its executor only.
template <class T>
struct AnswerWait {
    explicit AnswerWait(const asio::any_io_executor& executor)
        : executor(executor), wakeUp(executor, asio::steady_timer::time_point::max()) {}

    void settle(std::optional<T> answer, std::exception_ptr thrown) {
        if (settled) return;
        settled = true;
        value = std::move(answer);
        failure = std::move(thrown);
        wakeUp.cancel();
    }

    asio::any_io_executor executor;
    // Never expires: only an answer or a cancellation ends a wait on it.
    asio::steady_timer wakeUp;
    bool settled = false;
    std::optional<T> value;
    std::exception_ptr failure;
};

// Shared by every copy of one completion.
template <class T>
struct AnswerToken {
    AnswerToken(std::weak_ptr<AnswerWait<T>> wait, std::function<std::exception_ptr()> whenDropped)
        : wait(std::move(wait)), whenDropped(std::move(whenDropped)) {}
    AnswerToken(const AnswerToken&) = delete;
    AnswerToken& operator=(const AnswerToken&) = delete;
    ~AnswerToken() {
        if (answered || !whenDropped) return;
        if (auto failure = whenDropped()) deliver(std::nullopt, std::move(failure));
    }

    // The wait goes with the handler: were it let go here, on another thread,
    // after its owner's context went, its timer would be destroyed then.
    void deliver(std::optional<T> value, std::exception_ptr failure) {
        auto waiting = wait.lock();
        if (!waiting) return;
        const asio::any_io_executor executor = waiting->executor;
        asio::post(executor,
                   [waiting = std::move(waiting), value = std::move(value), failure = std::move(failure)]() mutable {
                       waiting->settle(std::move(value), std::move(failure));
                   });
    }

    std::weak_ptr<AnswerWait<T>> wait;
    std::function<std::exception_ptr()> whenDropped;
    std::atomic<bool> answered{false};
};

}  // namespace detail

// Copyable, so it fits a std::function; only its first call counts.
template <class T>
class AnswerCompletion {
public:
    explicit AnswerCompletion(std::shared_ptr<detail::AnswerToken<T>> token) : token_(std::move(token)) {}

    void operator()(T value) const {
        if (token_->answered.exchange(true)) return;
        token_->deliver(std::move(value), nullptr);
    }
    // The waiting coroutine throws the failure instead.
    void fail(std::exception_ptr failure) const {
        if (token_->answered.exchange(true)) return;
        token_->deliver(std::nullopt, std::move(failure));
    }

private:
    std::shared_ptr<detail::AnswerToken<T>> token_;
};

// From a coroutine on a strand (or a one-thread executor), where the answer
// is delivered.
template <class T>
asio::awaitable<T> awaitAnswer(std::function<void(AnswerCompletion<T>)> operation,
                               std::function<std::exception_ptr()> whenDropped = {}) {
    const auto wait = std::make_shared<detail::AnswerWait<T>>(co_await asio::this_coro::executor);
    operation(AnswerCompletion<T>(std::make_shared<detail::AnswerToken<T>>(wait, std::move(whenDropped))));
    if (!wait->settled) {
        asio::error_code ignored;
        co_await wait->wakeUp.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }
    // The timer never expires, so an unsettled wait was cancelled. A
    // cancellation also wins over an answer that came meanwhile but had not
    // resumed the coroutine yet: whoever cancelled has gone or given up.
    const asio::cancellation_state cancellation = co_await asio::this_coro::cancellation_state;
    if (!wait->settled || cancellation.cancelled() != asio::cancellation_type::none) {
        throw std::system_error(asio::error::operation_aborted);
    }
    if (wait->failure) std::rethrow_exception(wait->failure);
    co_return std::move(*wait->value);
}

namespace detail {

// The work's result or what it threw, as a value; a struct, since
// operator|| would merge a variant's alternatives into its own.
template <class T>
struct CapturedOutcome {
    std::variant<T, std::exception_ptr> settled;
};

// GCC 12 destroys a temporary of a co_await expression twice, so every
// value awaited here is named first.
template <class T>
asio::awaitable<CapturedOutcome<T>> capturedOutcome(asio::awaitable<T> work) {
    CapturedOutcome<T> outcome{std::exception_ptr{}};
    try {
        T value = co_await std::move(work);
        outcome.settled.template emplace<0>(std::move(value));
    } catch (...) {
        outcome.settled.template emplace<1>(std::current_exception());
    }
    co_return outcome;
}

}  // namespace detail

// Runs the work on another executor and awaits its result here. A
// cancellation of the waiter ends the wait at once, even while that executor
// has not run the work yet; what the work gives later is dropped.
template <class T>
asio::awaitable<T> awaitElsewhere(asio::any_io_executor executor, asio::awaitable<T> work) {
    std::function<void(AnswerCompletion<T>)> start = [&executor, &work](AnswerCompletion<T> completion) {
        asio::co_spawn(executor, std::move(work), [completion](std::exception_ptr failure, T value) {
            if (failure) {
                completion.fail(std::move(failure));
            } else {
                completion(std::move(value));
            }
        });
    };
    T value = co_await awaitAnswer<T>(std::move(start));
    co_return value;
}

// Blocking work handed to a pool by `post` (which takes the handler to run
// there), its result or what it threw awaited here as awaitAnswer does.
template <class T, class Post>
asio::awaitable<T> awaitPosted(Post post, std::function<T()> work) {
    std::function<void(AnswerCompletion<T>)> start = [&post, &work](AnswerCompletion<T> completion) {
        post([completion, work = std::move(work)] {
            try {
                completion(work());
            } catch (...) {
                completion.fail(std::current_exception());
            }
        });
    };
    T value = co_await awaitAnswer<T>(std::move(start));
    co_return value;
}

// The work raced with the clock's watchdog: its result, or none once the
// seconds have passed first (the work is cancelled then). What the work
// throws is thrown at once; a bare operator|| would hold it until the
// watchdog fires, since it waits for the first branch that succeeds.
template <class T>
asio::awaitable<std::optional<T>> withinDeadline(Clock& clock, double seconds, asio::awaitable<T> work) {
    using asio::experimental::awaitable_operators::operator||;
    // The watchdog starts first, so the deadline runs from before the work
    // begins and a clock moved as soon as the work is under way finds it.
    auto race = clock.watch(seconds) || detail::capturedOutcome(std::move(work));
    auto outcome = co_await std::move(race);
    if (outcome.index() == 0) co_return std::nullopt;
    auto& settled = std::get<1>(outcome).settled;
    if (auto* failure = std::get_if<std::exception_ptr>(&settled)) std::rethrow_exception(*failure);
    co_return std::move(std::get<T>(settled));
}

#pragma GCC diagnostic pop

}  // namespace zentrabo::platform
