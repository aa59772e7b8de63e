#pragma once
// Devices under load: each opens a fresh TLS 1.3 connection for every
// request, sends one line, reads the reply line and closes, then starts the
// next, until the run's count is used up.
#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/dispatch/thread_name.hpp"
#include "platform/net/tls_connection.hpp"
#include "platform/net/tls_context.hpp"

namespace zentrabo::bench {

inline constexpr auto asTuple = asio::experimental::as_tuple(asio::use_awaitable);

// What one run gave: the latency of every answered request, the failures,
// and the wall time from the first connection to the last reply.
struct LoadRun {
    std::vector<double> latencySeconds;
    std::size_t failures = 0;
    std::string firstFailure;
    double seconds = 0;

    // Takes another run's requests and time in.
    void add(const LoadRun& other) {
        latencySeconds.insert(latencySeconds.end(), other.latencySeconds.begin(), other.latencySeconds.end());
        if (firstFailure.empty()) firstFailure = other.firstFailure;
        failures += other.failures;
        seconds += other.seconds;
    }
};

// Whether a reply line (without its line feed) answers the request.
using ReplyCheck = std::function<bool(std::string_view line)>;

struct LoadTarget {
    asio::ip::tcp::endpoint endpoint;
    std::shared_ptr<platform::TlsContext> clientContext;
    std::string requestLine;  // with its line feed
    ReplyCheck acceptsReply;
    // TCP_NODELAY on every connection; false leaves Nagle's algorithm on, as
    // a client that never thought about it does.
    bool noDelay = true;
};

class LoadClient {
public:
    // A reply line longer than this is a failure, not a reason to buffer on.
    static constexpr std::size_t maximumReplySize = 1024 * 1024;

    LoadClient(LoadTarget target, double requestTimeoutSeconds)
        : target_(std::move(target)),
          requestTimeout_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(requestTimeoutSeconds))) {}

    // `count` requests from `clients` clients at once, driven by
    // `threadCount` threads.
    LoadRun run(std::size_t count, std::size_t clients, std::size_t threadCount) {
        remaining_ = count;
        std::vector<std::unique_ptr<asio::io_context>> contexts;
        for (std::size_t index = 0; index < threadCount; ++index) {
            contexts.push_back(std::make_unique<asio::io_context>(1));
        }
        std::vector<LoadRun> tallies(clients);
        for (std::size_t index = 0; index < clients; ++index) {
            LoadRun& tally = tallies[index];
            asio::co_spawn(*contexts[index % threadCount], client(tally), [&tally](std::exception_ptr failure) {
                if (failure) record(tally, describe(failure));
            });
        }
        const auto started = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (auto& context : contexts) {
            threads.emplace_back([&context] {
                platform::setCurrentThreadName("load client");
                context->run();
            });
        }
        for (auto& thread : threads) thread.join();

        LoadRun total;
        for (const auto& tally : tallies) total.add(tally);
        // The clients ran side by side: the run took the wall time.
        total.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return total;
    }

private:
    static void record(LoadRun& tally, std::string failure) {
        if (tally.failures++ == 0) tally.firstFailure = std::move(failure);
    }

    static std::string describe(const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            return error.what();
        } catch (...) {
            return "unknown exception";
        }
    }

    // Takes one request off the run's count; false once it is used up.
    bool claimRequest() {
        std::size_t left = remaining_.load();
        while (left > 0 && !remaining_.compare_exchange_weak(left, left - 1)) {
        }
        return left > 0;
    }

    asio::awaitable<void> client(LoadRun& tally) {
        while (claimRequest()) {
            const auto started = std::chrono::steady_clock::now();
            std::string failure = co_await exchangeOnce();
            if (failure.empty()) {
                tally.latencySeconds.push_back(
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            } else {
                record(tally, std::move(failure));
            }
        }
    }

    // One connection, one request, one reply; the failure's description, or
    // empty when the reply was accepted.
    asio::awaitable<std::string> exchangeOnce() {
        const auto executor = co_await asio::this_coro::executor;
        auto connection =
            std::make_shared<platform::TlsConnection>(asio::ip::tcp::socket(executor), target_.clientContext);
        // Closing the socket ends whatever operation is pending with an error.
        auto timedOut = std::make_shared<bool>(false);
        asio::steady_timer deadline(executor, requestTimeout_);
        deadline.async_wait([weak = std::weak_ptr(connection), timedOut](std::error_code error) {
            auto open = weak.lock();
            if (error || !open) return;
            *timedOut = true;
            open->close();
        });
        std::string failure = co_await talk(*connection);
        deadline.cancel();
        connection->close();
        if (*timedOut) co_return "no reply within the request timeout";
        co_return failure;
    }

    asio::awaitable<std::string> talk(platform::TlsConnection& connection) {
        if (auto [error] = co_await connection.socket().async_connect(target_.endpoint, asTuple); error) {
            co_return "connect: " + error.message();
        }
        // The request follows the handshake's last flight at once; waiting for
        // that flight's acknowledgement would add a delayed-ACK pause, unless
        // the server acknowledges it with data of its own.
        if (target_.noDelay) {
            std::error_code ignored;
            connection.socket().set_option(asio::ip::tcp::no_delay(true), ignored);
        }
        if (const auto error = co_await connection.handshake()) co_return "handshake: " + error.message();
        if (const auto error = co_await connection.writeAll(asio::buffer(target_.requestLine))) {
            co_return "write: " + error.message();
        }
        std::string reply;
        char chunk[4096];
        for (;;) {
            const auto [error, count] = co_await connection.readSome(asio::buffer(chunk));
            const std::size_t searchFrom = reply.size();
            reply.append(chunk, count);
            if (const auto end = reply.find('\n', searchFrom); end != std::string::npos) {
                reply.resize(end);
                break;
            }
            if (error) co_return "read: " + error.message() + " before the reply's line feed";
            if (reply.size() > maximumReplySize) co_return "reply line too long";
        }
        if (!target_.acceptsReply(reply)) co_return "unexpected reply: " + reply.substr(0, 200);
        co_return std::string();
    }

    LoadTarget target_;
    std::chrono::steady_clock::duration requestTimeout_;
    std::atomic<std::size_t> remaining_{0};
};

}  // namespace zentrabo::bench
