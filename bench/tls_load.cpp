// The TLS load client: every "ping" on a fresh TLS 1.3 connection, from many
// clients at once, against the server object on loopback and a bare OpenSSL
// echo server with the same certificates and TLS settings and as many
// threads, the two taking turns. The echo's rate is the machine's handshake limit; the
// ratio says how much of it the server's own road (strands, decoding,
// main-loop hop, authorization, dispatch, logging, reply) leaves. The aim is
// at least 0.7 on one thread and 0.8 on a pool of threads.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <thread>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sched.h>

#include <asio/ip/address.hpp>

#include "../tests/support/temporary_home.hpp"
#include "model/json/record_json.hpp"
#include "model/records/halvardine_response.hpp"
#include "tls_load/echo_server.hpp"
#include "tls_load/load_client.hpp"
#include "tls_load/load_options.hpp"
#include "tls_load/server_under_load.hpp"

namespace zentrabo::bench {
namespace {

// Shares of the echo's rate the server aims for: on one thread, where the
// server's own road costs most, and on a pool of threads.
constexpr double oneThreadAim = 0.7;
constexpr double poolAim = 0.8;
// How much later, at the median, a device that leaves Nagle's algorithm on
// may get its reply.
constexpr double nagleAimMilliseconds = 2.0;
constexpr std::string_view requestID = "load";

struct Summary {
    std::size_t answered = 0;
    std::size_t failures = 0;
    std::string firstFailure;
    double requestsPerSecond = 0;
    double p50Milliseconds = 0;
    double p99Milliseconds = 0;
};

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Requests/s count answered requests only: a target that refuses many
// finishes its count early, and the ratio line says so.
Summary summarize(LoadRun run) {
    std::sort(run.latencySeconds.begin(), run.latencySeconds.end());
    Summary summary;
    summary.answered = run.latencySeconds.size();
    summary.failures = run.failures;
    summary.firstFailure = std::move(run.firstFailure);
    if (run.seconds > 0) summary.requestsPerSecond = static_cast<double>(summary.answered) / run.seconds;
    summary.p50Milliseconds = percentile(run.latencySeconds, 0.50) * 1000.0;
    summary.p99Milliseconds = percentile(run.latencySeconds, 0.99) * 1000.0;
    return summary;
}

// Prints a target's line and hands its figures back.
Summary report(const char* label, const Summary& summary) {
    std::printf("%-28s %9.1f requests/s  p50 %7.2f ms  p99 %7.2f ms  (%zu answered, %zu failed)\n", label,
                summary.requestsPerSecond, summary.p50Milliseconds, summary.p99Milliseconds, summary.answered,
                summary.failures);
    if (summary.failures > 0) std::printf("%-28s first failure: %s\n", "", summary.firstFailure.c_str());
    std::fflush(stdout);
    return summary;
}

// Rounds in which the targets of a comparison take turns: a machine whose
// load changes during the run then weighs on both alike.
constexpr std::size_t comparisonRounds = 5;

// Warms both targets up, then measures them in turns, the requests shared
// out among the rounds, and prints each target's line.
std::pair<Summary, Summary> measureInTurns(const char* firstLabel, LoadClient& first, const char* secondLabel,
                                           LoadClient& second, const LoadOptions& options) {
    const std::size_t threads = options.effectiveClientThreads();
    if (options.warmup > 0) {
        first.run(options.warmup, options.clients, threads);
        second.run(options.warmup, options.clients, threads);
    }
    LoadRun firstTotal;
    LoadRun secondTotal;
    for (std::size_t round = 0; round < comparisonRounds; ++round) {
        const std::size_t count = options.requests / comparisonRounds + (round < options.requests % comparisonRounds);
        if (count == 0) continue;
        firstTotal.add(first.run(count, options.clients, threads));
        secondTotal.add(second.run(count, options.clients, threads));
    }
    return {report(firstLabel, summarize(std::move(firstTotal))),
            report(secondLabel, summarize(std::move(secondTotal)))};
}

bool isPingAnswer(std::string_view line) {
    try {
        const auto response = decodeRecord<HalvardineResponse>(line);
        return response.ok && response.id == requestID;
    } catch (const std::exception&) {
        return false;
    }
}

// The cores this process may run on, as nproc counts them.
std::size_t availableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return std::max(1u, std::thread::hardware_concurrency());
    return static_cast<std::size_t>(CPU_COUNT(&set));
}

std::string requestLine() {
    return R"({"id":")" + std::string(requestID) +
           R"(","action":"ping","clientProtocolVersion":22})"
           "\n";
}

// The server and the bare echo at the same thread count, side by side.
void compareWithEcho(const std::filesystem::path& home, std::size_t threads, const LoadOptions& options) {
    ServerUnderLoad server(home, threads);
    const auto loopback = asio::ip::make_address("127.0.0.1");
    const auto clientContext = server.clientContext();
    LoadClient serverClient({{loopback, server.port()}, clientContext, requestLine(), isPingAnswer},
                            options.requestTimeoutSeconds);
    // The same certificate, TLS settings and reply bytes as the server's.
    const auto echoContext = server.serverContext();
    EchoServer echo(echoContext->native().native_handle(), server.pingReply(std::string(requestID)), threads);
    LoadClient echoClient({{loopback, echo.port()}, clientContext, requestLine(), isPingAnswer},
                          options.requestTimeoutSeconds);

    char serverLabel[64];
    std::snprintf(serverLabel, sizeof serverLabel, "server (%zu network thread%s)", threads, threads == 1 ? "" : "s");
    char echoLabel[64];
    std::snprintf(echoLabel, sizeof echoLabel, "echo (OpenSSL, %zu thread%s)", threads, threads == 1 ? "" : "s");
    const auto [served, limit] = measureInTurns(serverLabel, serverClient, echoLabel, echoClient, options);

    const double aim = threads == 1 ? oneThreadAim : poolAim;
    const double ratio = limit.requestsPerSecond > 0 ? served.requestsPerSecond / limit.requestsPerSecond : 0;
    std::printf("ratio server/echo at %zu thread%s: %.2f (aim: at least %.2f", threads, threads == 1 ? "" : "s", ratio,
                aim);
    if (served.failures > 0) std::printf("; the server failed %zu of %zu requests", served.failures, options.requests);
    if (limit.failures > 0) std::printf("; the echo failed %zu of %zu requests", limit.failures, options.requests);
    std::printf(")\n");
}

// The server's median for devices that leave Nagle's algorithm on, beside
// devices that set TCP_NODELAY.
void compareNagle(const std::filesystem::path& home, const LoadOptions& options) {
    ServerUnderLoad server(home, options.serverThreads);
    const auto loopback = asio::ip::make_address("127.0.0.1");
    const auto clientContext = server.clientContext();
    LoadClient noDelayClient({{loopback, server.port()}, clientContext, requestLine(), isPingAnswer, true},
                             options.requestTimeoutSeconds);
    LoadClient nagleClient({{loopback, server.port()}, clientContext, requestLine(), isPingAnswer, false},
                           options.requestTimeoutSeconds);
    const auto [noDelay, nagle] =
        measureInTurns("server, TCP_NODELAY clients", noDelayClient, "server, Nagle clients", nagleClient, options);
    std::printf("p50 Nagle - TCP_NODELAY: %.2f ms (aim: at most %.2f ms)\n",
                nagle.p50Milliseconds - noDelay.p50Milliseconds, nagleAimMilliseconds);
}

int runLoad(const LoadOptions& options) {
    const std::size_t cores = availableCores();
    const std::size_t clientThreads = options.effectiveClientThreads();
    std::printf("nproc %zu: %zu server thread%s, %zu client thread%s\n", cores, options.serverThreads,
                options.serverThreads == 1 ? "" : "s", clientThreads, clientThreads == 1 ? "" : "s");
    // A server that shares its cores with the load client measures the
    // client as much as itself.
    if (options.serverThreads + clientThreads > cores) {
        std::fprintf(stderr,
                     "bench_tls_load: %zu server threads leave the load client's %zu threads no cores of their own "
                     "on %zu cores; use at most %zu\n",
                     options.serverThreads, clientThreads, cores, cores > clientThreads ? cores - clientThreads : 0);
        return 2;
    }
    // Settings, keys and the diagnostic log go to a folder of our own, removed
    // at the end; the log folder exists as after installation, so the
    // server's log lines are written as in real use.
    testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());

    std::printf("TLS load: %zu clients, %zu requests per target after %zu warm-up\n", options.clients, options.requests,
                options.warmup);
    compareWithEcho(home.path(), 1, options);
    if (options.serverThreads > 1) compareWithEcho(home.path(), options.serverThreads, options);
    if (options.latency) compareNagle(home.path(), options);
    return 0;
}

}  // namespace
}  // namespace zentrabo::bench

int main(int argc, char** argv) {
    const auto options = zentrabo::bench::parseLoadOptions(argc, argv);
    if (!options) return 2;
    // A peer that closes first must not end the process through a write to
    // its socket (OpenSSL writes to the echo server's sockets directly).
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return zentrabo::bench::runLoad(*options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_tls_load: %s\n", error.what());
        return 1;
    }
}
