// The TLS load bench: every "ping" on a fresh mutual-TLS 1.3 connection,
// against the server binary and against a bare OpenSSL reference server,
// each a process of its own pinned to the same cores, driven by a load
// generator process on other cores. The targets take turns round by round,
// so a machine whose load changes (other builds) weighs on both alike; each
// figure is the median of its rounds. CPU per request is the target process's
// user and system time from /proc over a round, divided by the requests it
// answered. A ratio is printed only when adding devices no longer raised the
// reference's rate, that is when the load generator was not the limit.
#include <openssl/ssl.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"
#include "support/test_device.hpp"
#include "tls_load/bare_identity.hpp"
#include "tls_load/bare_load_client.hpp"
#include "tls_load/load_options.hpp"
#include "tls_load/pinned_process.hpp"
#include "tls_load/reference_server.hpp"

namespace zentrabo::bench {
namespace {

// The server's aims against the reference on the same cores.
constexpr double cpuPerRequestAim = 1.15;
constexpr double requestsPerSecondAim = 0.85;
constexpr double scalingAim = 0.9;
// How much later, at the median, a device that leaves Nagle's algorithm on
// may get its reply.
constexpr double nagleAimMilliseconds = 2.0;
// The reference is saturated when doubling the devices raised its rate by
// less than this share while it kept at least this share of its cores busy.
constexpr double saturationGain = 0.05;
constexpr double saturatedBusyShare = 0.9;

// Where the targets run, one core and then four, and where the load
// generator runs: four cores of its own.
const Cores oneCore{1};
const Cores fourCores{1, 2, 3, 4};
const Cores loadCores{0, 5, 6, 7};
constexpr int coresNeeded = 8;

const std::string pingLine = R"({"id":"load","action":"ping","clientProtocolVersion":22})"
                             "\n";
constexpr const char* answeredPing = R"("ok":true)";

// ---- the two child roles --------------------------------------------------

// reference KEY CERTIFICATE THREADS REPLY: serves until its input ends, after
// printing "port N".
int serveReference(char** argv) {
    const BareIdentityFiles identity{argv[0], argv[1]};
    const auto context = makeBareContext(true, identity);
    ReferenceServer server(context.get(), std::string(argv[3]) + "\n", std::stoul(argv[2]));
    std::printf("port %u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    char ignored[64];
    while (std::fread(ignored, 1, sizeof ignored, stdin) > 0) {
    }
    return 0;
}

// load KEY CERTIFICATE PORT DEVICES THREADS SECONDS NODELAY REQUEST EXPECTED:
// prints "answered failures seconds p50 cpu-seconds".
int generateLoad(char** argv) {
    const BareIdentityFiles identity{argv[0], argv[1]};
    LoadSettings settings;
    settings.port = static_cast<std::uint16_t>(std::stoul(argv[2]));
    settings.connections = std::stoul(argv[3]);
    settings.threads = std::stoul(argv[4]);
    settings.seconds = std::stod(argv[5]);
    settings.noDelay = std::string(argv[6]) == "1";
    settings.requestLine = std::string(argv[7]) + "\n";
    settings.expectedInReply = argv[8];
    auto result = BareLoadClient(identity, settings).run();
    auto& latencies = result.latencySeconds;
    double p50 = 0;
    if (!latencies.empty()) {
        std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
        p50 = latencies[latencies.size() / 2];
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
    std::printf("%zu %zu %.6f %.6f %.6f\n", result.answered, result.failures, result.seconds, p50,
                seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return 0;
}

// ---- the orchestrating parent ---------------------------------------------

struct Target {
    const char* name;
    pid_t pid;
    std::uint16_t port;
    std::size_t cores;
};

struct Round {
    double requestsPerSecond = 0;
    // CPU time over wall time, per core the target has: 1 when it never waited.
    double busyShare = 0;
    double cpuMillisecondsPerRequest = 0;
    double p50Milliseconds = 0;
    std::size_t failures = 0;
    // The load generator's busy share of its own cores.
    double loadBusyShare = 0;
};

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string describe(const Cores& cores) {
    std::string text;
    for (const int core : cores) text += (text.empty() ? "" : ",") + std::to_string(core);
    return text;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class LoadBench {
public:
    LoadBench(const LoadOptions& options, const std::filesystem::path& folder)
        : options_(options),
          client_(makeBareIdentity(folder, "load-client")),
          reference_(makeBareIdentity(folder, "reference")) {}

    int run() {
        std::printf(
            "load average %s at start; load generator on cores %s (%zu threads); every process at "
            "niceness %d%s\n",
            loadAverage().c_str(), describe(loadCores).c_str(), loadCores.size(), measuredNiceness,
            mayRaisePriority() ? "" : " (not permitted here: figures weigh other work on the cores)");
        const auto one = measureOn(oneCore);
        const auto four = measureOn(fourCores);
        if (one && four) {
            const double server = four->server.requestsPerSecond / one->server.requestsPerSecond;
            const double reference = four->reference.requestsPerSecond / one->reference.requestsPerSecond;
            std::printf("scaling from one core to four: server %.2f, reference %.2f, ratio %.2f (aim: at least %.2f)\n",
                        server, reference, server / reference, scalingAim);
        } else {
            std::printf("scaling from one core to four: no ratio (a comparison above is missing)\n");
        }
        measureNagle();
        std::printf("load average %s at end\n", loadAverage().c_str());
        return 0;
    }

private:
    struct Comparison {
        Round server;
        Round reference;
    };

    // The server binary and the reference on the cores, in alternating
    // rounds; none when the reference could not be saturated.
    std::optional<Comparison> measureOn(const Cores& cores) {
        RunningServer server(cores);
        const std::string reply = server.pairAndPing(client_);
        PinnedProcess referenceProcess(
            {"reference", reference_.key, reference_.certificate, std::to_string(cores.size()), reply}, cores);
        const auto portLine = referenceProcess.readLine(std::chrono::seconds(10));
        if (!portLine || portLine->rfind("port ", 0) != 0) throw std::runtime_error("the reference did not start");
        const Target reference{"reference (bare OpenSSL)", referenceProcess.pid(),
                               static_cast<std::uint16_t>(std::stoul(portLine->substr(5))), cores.size()};
        const Target target{"server (--desktop virtual)", server.pid(), server.port(), cores.size()};

        std::printf("\n%zu core%s (%s), %zu reference thread%s:\n", cores.size(), cores.size() == 1 ? "" : "s",
                    describe(cores).c_str(), cores.size(), cores.size() == 1 ? "" : "s");
        const auto devices = saturate(reference);
        const std::size_t connections = devices.value_or(options_.maximumConnections);

        std::vector<Round> served;
        std::vector<Round> referenced;
        for (std::size_t round = 0; round < options_.rounds; ++round) {
            // ABBA: neither target always goes first.
            const bool serverFirst = round % 2 == 0;
            const Target& first = serverFirst ? target : reference;
            const Target& second = serverFirst ? reference : target;
            const Round a = measureRound(first, connections, true, options_.seconds);
            const Round b = measureRound(second, connections, true, options_.seconds);
            served.push_back(serverFirst ? a : b);
            referenced.push_back(serverFirst ? b : a);
        }
        const Round serverMedian = summarize(target.name, served);
        const Round referenceMedian = summarize(reference.name, referenced);
        std::printf("  load average %s\n", loadAverage().c_str());
        if (!devices) {
            std::printf(
                "  no ratio: the load generator could not saturate the reference with up to %zu devices "
                "(here the load generator is the limit, not the targets)\n",
                options_.maximumConnections);
            return std::nullopt;
        }
        std::printf(
            "  ratio server/reference: requests/s %.2f (aim: at least %.2f), CPU per request %.2f (aim: at "
            "most %.2f)\n",
            serverMedian.requestsPerSecond / referenceMedian.requestsPerSecond, requestsPerSecondAim,
            serverMedian.cpuMillisecondsPerRequest / referenceMedian.cpuMillisecondsPerRequest, cpuPerRequestAim);
        return Comparison{serverMedian, referenceMedian};
    }

    // Doubles the devices until the reference's rate stops rising while it
    // keeps its cores busy; the devices that saturate it, or none (the load
    // generator, not the reference, was the limit).
    std::optional<std::size_t> saturate(const Target& reference) {
        std::size_t devices = options_.connections;
        Round last = measureRound(reference, devices, true, options_.seconds);
        const auto show = [&](const Round& round) {
            std::printf(", %zu devices %.0f/s (reference busy %.0f%%, load generator %.0f%%)", devices,
                        round.requestsPerSecond, round.busyShare * 100, round.loadBusyShare * 100);
        };
        std::printf("  saturation of the reference");
        show(last);
        while (devices * 2 <= options_.maximumConnections) {
            const Round doubled = measureRound(reference, devices * 2, true, options_.seconds);
            devices *= 2;
            show(doubled);
            if (doubled.requestsPerSecond < last.requestsPerSecond * (1 + saturationGain) &&
                doubled.busyShare >= saturatedBusyShare) {
                std::printf(": saturated\n");
                return devices;
            }
            last = doubled;
        }
        std::printf(": not saturated\n");
        return std::nullopt;
    }

    Round summarize(const char* name, const std::vector<Round>& rounds) {
        std::vector<double> rates, busy, cpu, p50;
        std::size_t failures = 0;
        for (const auto& round : rounds) {
            rates.push_back(round.requestsPerSecond);
            busy.push_back(round.busyShare);
            cpu.push_back(round.cpuMillisecondsPerRequest);
            p50.push_back(round.p50Milliseconds);
            failures += round.failures;
        }
        const Round summary{median(rates), median(busy), median(cpu), median(p50), failures};
        std::printf(
            "  %-28s %6.0f requests/s  %6.3f ms CPU/request  busy %3.0f%%  p50 %6.2f ms  (median of %zu "
            "rounds: %.0f to %.0f/s; %zu failed)\n",
            name, summary.requestsPerSecond, summary.cpuMillisecondsPerRequest, summary.busyShare * 100,
            summary.p50Milliseconds, rounds.size(), *std::min_element(rates.begin(), rates.end()),
            *std::max_element(rates.begin(), rates.end()), failures);
        return summary;
    }

    Round measureRound(const Target& target, std::size_t devices, bool noDelay, std::size_t seconds) {
        const auto cpuBefore = processCpuSeconds(target.pid);
        PinnedProcess load({"load", client_.key, client_.certificate, std::to_string(target.port),
                            std::to_string(devices), std::to_string(loadCores.size()), std::to_string(seconds),
                            noDelay ? "1" : "0", pingLine.substr(0, pingLine.size() - 1), answeredPing},
                           loadCores);
        const auto line = load.readLine(std::chrono::seconds(seconds + 60));
        const bool finished = load.succeeded();
        const auto cpuAfter = processCpuSeconds(target.pid);
        std::size_t answered = 0;
        Round round;
        double elapsed = 0;
        double p50 = 0;
        double loadCpu = 0;
        if (!finished || !line ||
            std::sscanf(line->c_str(), "%zu %zu %lf %lf %lf", &answered, &round.failures, &elapsed, &p50, &loadCpu) !=
                5 ||
            !cpuBefore || !cpuAfter) {
            throw std::runtime_error(std::string("the load generator failed against the ") + target.name);
        }
        if (elapsed > 0) round.requestsPerSecond = static_cast<double>(answered) / elapsed;
        if (answered > 0)
            round.cpuMillisecondsPerRequest = (*cpuAfter - *cpuBefore) * 1000 / static_cast<double>(answered);
        if (elapsed > 0) round.busyShare = (*cpuAfter - *cpuBefore) / elapsed / static_cast<double>(target.cores);
        round.p50Milliseconds = p50 * 1000;
        if (elapsed > 0) round.loadBusyShare = loadCpu / elapsed / static_cast<double>(loadCores.size());
        return round;
    }

    // The server's p50 for devices that leave Nagle's algorithm on beside
    // devices that set TCP_NODELAY, few at once, in alternating rounds.
    void measureNagle() {
        RunningServer server(fourCores);
        server.pairAndPing(client_);
        const Target target{"server", server.pid(), server.port(), fourCores.size()};
        std::vector<double> noDelay, nagle;
        for (std::size_t round = 0; round < options_.rounds; ++round) {
            noDelay.push_back(measureRound(target, options_.latencyConnections, true, 1).p50Milliseconds);
            nagle.push_back(measureRound(target, options_.latencyConnections, false, 1).p50Milliseconds);
        }
        const double difference = median(nagle) - median(noDelay);
        std::printf(
            "\nlatency, %zu devices on four cores: p50 TCP_NODELAY %.2f ms, Nagle %.2f ms, Nagle - "
            "TCP_NODELAY %.2f ms (aim: at most %.2f ms)\n",
            options_.latencyConnections, median(noDelay), median(nagle), difference, nagleAimMilliseconds);
    }

    // The server binary on the cores, with its output drained so that it
    // never waits for a full pipe.
    class RunningServer {
    public:
        explicit RunningServer(const Cores& cores) : process_(startPinned(cores)) {
            start_ = process_->readStartLines();
            if (!start_) throw std::runtime_error("the server did not start");
        }
        ~RunningServer() {
            draining_ = false;
            if (drain_.joinable()) drain_.join();
        }

        pid_t pid() const { return process_->pid(); }
        std::uint16_t port() const { return start_->port; }

        // Pairs the load generator's identity through the terminal's pairing
        // window; the server's reply line to a "ping".
        std::string pairAndPing(const BareIdentityFiles& client) {
            const auto context = makeBareContext(false, client);
            const auto window = testing::openPairingWindow(*process_, std::chrono::seconds(20));
            if (!window) throw std::runtime_error("the server showed no pairing window");
            const auto paired = BareLoadClient::exchangeOnce(
                context.get(), port(), encodeRecord(testing::pairingRequest(*window, "PAIR")) + "\n");
            if (paired.find(answeredPing) == std::string::npos) throw std::runtime_error("pairing failed: " + paired);
            const auto reply = BareLoadClient::exchangeOnce(context.get(), port(), pingLine);
            if (reply.find(answeredPing) == std::string::npos) throw std::runtime_error("ping failed: " + reply);
            drain_ = std::thread([this] {
                while (draining_) process_->readLine(std::chrono::milliseconds(100));
            });
            return reply;
        }

    private:
        static std::unique_ptr<testing::ServerProcess> startPinned(const Cores& cores) {
            const ScopedPlacement placed(cores);
            return std::make_unique<testing::ServerProcess>();
        }

        std::unique_ptr<testing::ServerProcess> process_;
        std::optional<testing::ServerProcess::StartLines> start_;
        std::atomic<bool> draining_{true};
        std::thread drain_;
    };

    const LoadOptions& options_;
    BareIdentityFiles client_;
    BareIdentityFiles reference_;
};

int orchestrate(const LoadOptions& options) {
    if (static_cast<int>(std::thread::hardware_concurrency()) < coresNeeded) {
        std::fprintf(stderr, "bench_tls_load: needs %d cores: four for the load generator and four for the targets\n",
                     coresNeeded);
        return 2;
    }
    // Settings, keys and the diagnostic log go to a folder of our own,
    // removed at the end; the log folder exists as after installation, so
    // the server's log lines are written as in real use.
    testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());
    const auto identities = home.path() / "bench-identities";
    std::filesystem::create_directories(identities);
    return LoadBench(options, identities).run();
}

}  // namespace
}  // namespace zentrabo::bench

int main(int argc, char** argv) {
    // Each line as it comes, also into a file: a long run shows its progress.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A peer that closes first must not end a process through a write to
    // its socket (OpenSSL writes to the sockets directly).
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const std::string role = argc > 1 ? argv[1] : "";
        if (role == "reference" && argc == 6) return zentrabo::bench::serveReference(argv + 2);
        if (role == "load" && argc == 11) return zentrabo::bench::generateLoad(argv + 2);
        const auto options = zentrabo::bench::parseLoadOptions(argc, argv);
        if (!options) return 2;
        return zentrabo::bench::orchestrate(*options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_tls_load: %s\n", error.what());
        return 1;
    }
}
