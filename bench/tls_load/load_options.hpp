#pragma once
// The load client's command line.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

namespace zentrabo::bench {

struct LoadOptions {
    // Devices talking to the target at once, each one request at a time.
    std::size_t clients = 16;
    // Measured requests per target, shared out among the clients.
    std::size_t requests = 2000;
    // Requests per target before measuring: handshake code paths, allocators
    // and the server's first-use state are warm when the clock starts.
    std::size_t warmup = 200;
    // Threads that drive the clients; zero picks one per four clients, at
    // most four, so the client side is never the slower half.
    std::size_t clientThreads = 0;
    // Network threads of the server and threads of the bare echo alike. The
    // run measures both at one thread, then both at this many when it is
    // more; it must leave the load client's threads cores of their own.
    std::size_t serverThreads = 1;
    // Also compares the server's median latency for clients that leave
    // Nagle's algorithm on with that for clients that set TCP_NODELAY.
    bool latency = false;
    // A request still unanswered after this long counts as failed.
    double requestTimeoutSeconds = 15.0;

    std::size_t effectiveClientThreads() const {
        if (clientThreads > 0) return clientThreads;
        return std::clamp<std::size_t>((clients + 3) / 4, 1, 4);
    }
};

inline void printLoadUsage(std::FILE* out) {
    std::fputs(
        "usage: bench_tls_load [--clients N] [--requests COUNT] [--warmup COUNT]\n"
        "                      [--client-threads N] [--server-threads N] [--latency]\n"
        "  Opens a fresh TLS 1.3 connection per \"ping\" from N clients at once, against\n"
        "  the server and a bare OpenSSL echo server with the same certificates in\n"
        "  turns, and prints requests/s, p50 and p99 latency and their ratio,\n"
        "  at one server thread and then at --server-threads (server pool and echo\n"
        "  alike), which must leave the client threads cores of their own.\n"
        "  --latency also compares the server's p50 for clients that leave Nagle's\n"
        "  algorithm on with that for clients that set TCP_NODELAY.\n"
        "  Defaults: 16 clients, 2000 requests, 200 warm-up, client threads one per\n"
        "  four clients (at most 4), 1 server thread.\n",
        out);
}

namespace detail {

inline std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace detail

// The options of argv, or none (after a message on stderr) when they are
// not understood or out of range; --help prints the usage and exits.
inline std::optional<LoadOptions> parseLoadOptions(int argc, char** argv) {
    LoadOptions options;
    struct Flag {
        std::string_view name;
        std::size_t LoadOptions::*member;
        std::size_t minimum;
        // Each client holds a socket and each thread a stack: beyond these,
        // a typo would exhaust descriptors or memory instead of measuring.
        std::size_t maximum;
    };
    constexpr Flag flags[] = {
        {"--clients", &LoadOptions::clients, 1, 4096},
        {"--requests", &LoadOptions::requests, 1, 100'000'000},
        {"--warmup", &LoadOptions::warmup, 0, 100'000'000},
        {"--client-threads", &LoadOptions::clientThreads, 0, 64},
        {"--server-threads", &LoadOptions::serverThreads, 1, 64},
    };
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--help" || argument == "-h") {
            printLoadUsage(stdout);
            std::exit(0);
        }
        if (argument == "--latency") {
            options.latency = true;
            continue;
        }
        const Flag* flag =
            std::find_if(std::begin(flags), std::end(flags), [&](const Flag& each) { return each.name == argument; });
        if (flag == std::end(flags) || index + 1 >= argc) {
            std::fprintf(stderr, "bench_tls_load: unexpected argument \"%s\"\n", argv[index]);
            printLoadUsage(stderr);
            return std::nullopt;
        }
        const auto value = detail::parseCount(argv[++index]);
        if (!value || *value < flag->minimum || *value > flag->maximum) {
            std::fprintf(stderr, "bench_tls_load: %s needs a whole number from %zu to %zu, not \"%s\"\n",
                         argv[index - 1], flag->minimum, flag->maximum, argv[index]);
            return std::nullopt;
        }
        options.*(flag->member) = *value;
    }
    return options;
}

}  // namespace zentrabo::bench
