#pragma once
// The bench's command line.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>

#include "server/connection/server_connection.hpp"

namespace zentrabo::bench {

struct LoadOptions {
    // Rounds per target; the figures are their medians.
    std::size_t rounds = 5;
    // Length of one round in seconds.
    std::size_t seconds = 3;
    // Devices at once where the search for the reference's saturation starts;
    // it doubles them until the reference's rate stops rising.
    std::size_t connections = 16;
    // The most devices the search may use before it gives up: as many as
    // the server lets into their handshake at once. Beyond them each
    // newcomer closes the handshake that has waited longest, and the rounds
    // would measure that rule instead of a request's cost.
    std::size_t maximumConnections = ServerConnections::maximumHandshakingConnections;
    // Devices at once for the latency row: few, so that queueing does not
    // hide what Nagle's algorithm adds.
    std::size_t latencyConnections = 4;
};

inline void printLoadUsage(std::FILE* out) {
    const LoadOptions defaults;
    std::fprintf(out,
                 "usage: bench_tls_load [--rounds N] [--seconds S] [--connections N] [--maximum-connections N]\n"
                 "                      [--latency-connections N]\n"
                 "  Opens a fresh TLS 1.3 connection per \"ping\" against the server binary\n"
                 "  (--desktop virtual) and a bare OpenSSL reference server, each a process of\n"
                 "  its own pinned to the same cores (one core, then four), from a load\n"
                 "  generator process on four other cores, in alternating rounds, and prints\n"
                 "  medians of requests/s and CPU per request and their ratios, the scaling\n"
                 "  from one core to four, and the p50 of Nagle clients beside TCP_NODELAY ones.\n"
                 "  Defaults: %zu rounds (at least 5) of %zu s, saturation search from %zu to %zu\n"
                 "  devices (the server's bound on connections in their handshake), %zu devices\n"
                 "  for the latency row. Needs 8 cores.\n",
                 defaults.rounds, defaults.seconds, defaults.connections, defaults.maximumConnections,
                 defaults.latencyConnections);
}

// The options of argv, or none (after a message on stderr) when they are
// not understood or out of range; --help prints the usage and exits.
inline std::optional<LoadOptions> parseLoadOptions(int argc, char** argv) {
    LoadOptions options;
    struct Flag {
        std::string_view name;
        std::size_t LoadOptions::*member;
        std::size_t minimum;
        // Each device holds a socket: beyond these, a typo would exhaust
        // descriptors instead of measuring.
        std::size_t maximum;
    };
    constexpr Flag flags[] = {
        {"--rounds", &LoadOptions::rounds, 5, 101},
        {"--seconds", &LoadOptions::seconds, 1, 600},
        {"--connections", &LoadOptions::connections, 1, 4096},
        {"--maximum-connections", &LoadOptions::maximumConnections, 1, 4096},
        {"--latency-connections", &LoadOptions::latencyConnections, 1, 4096},
    };
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--help" || argument == "-h") {
            printLoadUsage(stdout);
            std::exit(0);
        }
        const Flag* flag =
            std::find_if(std::begin(flags), std::end(flags), [&](const Flag& each) { return each.name == argument; });
        if (flag == std::end(flags) || index + 1 >= argc) {
            std::fprintf(stderr, "bench_tls_load: unexpected argument \"%s\"\n", argv[index]);
            printLoadUsage(stderr);
            return std::nullopt;
        }
        const std::string_view text = argv[++index];
        std::size_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size() || value < flag->minimum ||
            value > flag->maximum) {
            std::fprintf(stderr, "bench_tls_load: %s needs a whole number from %zu to %zu, not \"%s\"\n",
                         argv[index - 1], flag->minimum, flag->maximum, argv[index]);
            return std::nullopt;
        }
        options.*(flag->member) = value;
    }
    options.maximumConnections = std::max(options.maximumConnections, options.connections);
    return options;
}

}  // namespace zentrabo::bench
