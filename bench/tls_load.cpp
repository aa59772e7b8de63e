// The TLS load client: every "ping" on a fresh TLS 1.3 connection, from many
// clients at once, first against the server object on loopback, then against
// a bare OpenSSL echo server with the same certificates and TLS settings. The
// echo's rate is the machine's handshake limit; the ratio says how much of it
// the server's own road (queue, decoding, main-loop hop, authorization,
// dispatch, logging, reply) leaves. The aim is at least 0.7.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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

constexpr double targetRatio = 0.7;
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

// Warms up, measures, prints the target's line and hands back its figures.
Summary measure(const char* label, LoadClient& client, const LoadOptions& options) {
    const std::size_t threads = options.effectiveClientThreads();
    if (options.warmup > 0) client.run(options.warmup, options.clients, threads);
    const Summary summary = summarize(client.run(options.requests, options.clients, threads));
    std::printf("%-28s %9.1f requests/s  p50 %7.2f ms  p99 %7.2f ms  (%zu answered, %zu failed)\n", label,
                summary.requestsPerSecond, summary.p50Milliseconds, summary.p99Milliseconds, summary.answered,
                summary.failures);
    if (summary.failures > 0) std::printf("%-28s first failure: %s\n", "", summary.firstFailure.c_str());
    std::fflush(stdout);
    return summary;
}

bool isPingAnswer(std::string_view line) {
    try {
        const auto response = decodeRecord<HalvardineResponse>(line);
        return response.ok && response.id == requestID;
    } catch (const std::exception&) {
        return false;
    }
}

int runLoad(const LoadOptions& options) {
    // Settings, keys and the diagnostic log go to a folder of our own, removed
    // at the end; the log folder exists as after installation, so the
    // server's log lines are written as in real use.
    testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());

    ServerUnderLoad server(home.path());
    const auto loopback = asio::ip::make_address("127.0.0.1");
    const std::string requestLine = R"({"id":")" + std::string(requestID) +
                                    R"(","action":"ping","clientProtocolVersion":22})"
                                    "\n";
    const auto clientContext = server.clientContext();

    std::printf("TLS load: %zu clients, %zu requests per target after %zu warm-up, %zu client threads\n",
                options.clients, options.requests, options.warmup, options.effectiveClientThreads());
    LoadClient serverClient({{loopback, server.port()}, clientContext, requestLine, isPingAnswer},
                            options.requestTimeoutSeconds);
    const Summary served = measure("server (HalvardineServer)", serverClient, options);

    // The same certificate, TLS settings and reply bytes as the server's.
    const auto echoContext = server.serverContext();
    EchoServer echo(echoContext->native().native_handle(), server.pingReply(std::string(requestID)),
                    options.echoThreads);
    LoadClient echoClient({{loopback, echo.port()}, clientContext, requestLine, isPingAnswer},
                          options.requestTimeoutSeconds);
    char echoLabel[64];
    std::snprintf(echoLabel, sizeof echoLabel, "echo (OpenSSL, %zu thread%s)", options.echoThreads,
                  options.echoThreads == 1 ? "" : "s");
    const Summary limit = measure(echoLabel, echoClient, options);

    const double ratio = limit.requestsPerSecond > 0 ? served.requestsPerSecond / limit.requestsPerSecond : 0;
    std::printf("ratio server/echo: %.2f (aim: at least %.2f", ratio, targetRatio);
    if (served.failures > 0) std::printf("; the server failed %zu of %zu requests", served.failures, options.requests);
    if (limit.failures > 0) std::printf("; the echo failed %zu of %zu requests", limit.failures, options.requests);
    std::printf(")\n");
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
