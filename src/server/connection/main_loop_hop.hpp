#pragma once
// A connection's hop to the main loop and back: work that must run there
// (the dispatcher, which owns the server's state) is posted through the
// road's gate, and its result resumes the connection's coroutine on its
// strand. The main loop holds the waiting connection only weakly: once the
// network threads are gone, with every connection on them, a late result
// finds nothing and is dropped.
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/dispatch.hpp>
#include <asio/this_coro.hpp>

#include "platform/dispatch/coroutine_signal.hpp"
#include "platform/dispatch/main_loop_gate.hpp"

namespace zentrabo {

// GCC 12 takes the frames of awaitables made here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

template <class Result>
class MainLoopHop {
public:
    using Work = std::function<void(std::function<void(Result)> finish)>;

    // The gate is closed by the hop's owner when it goes.
    explicit MainLoopHop(std::shared_ptr<platform::MainLoopGate> gate) : gate_(std::move(gate)) {}

    // From a coroutine on a connection's strand: runs the work on the main
    // loop and resumes with what it finished with, which the main loop may
    // hand over later. Teardown of the network threads (on the main loop, so
    // never during a finish) ends the waiting coroutine with their executor.
    asio::awaitable<Result> run(Work work) const {
        // Named: GCC 12 destroys a temporary of a co_await expression twice.
        const auto strand = co_await asio::this_coro::executor;
        auto arrival = std::make_shared<Arrival>(strand);
        gate_->post([work = std::move(work), weakArrival = std::weak_ptr<Arrival>(arrival)] {
            work([weakArrival](Result result) {
                const auto arrival = weakArrival.lock();
                if (!arrival) return;
                asio::dispatch(arrival->strand, [arrival, result = std::move(result)]() mutable {
                    arrival->result = std::move(result);
                    arrival->signal.notify();
                });
            });
        });
        while (!arrival->result) co_await arrival->signal.wait();
        co_return std::move(*arrival->result);
    }

private:
    struct Arrival {
        explicit Arrival(asio::any_io_executor executor) : strand(executor), signal(executor) {}
        asio::any_io_executor strand;
        platform::CoroutineSignal signal;
        std::optional<Result> result;
    };

    std::shared_ptr<platform::MainLoopGate> gate_;
};

#pragma GCC diagnostic pop

}  // namespace zentrabo
