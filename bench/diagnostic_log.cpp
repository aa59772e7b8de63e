// One diagnostic log line of a typical length, as the server writes it for
// each request, beside the floor under it: the same bytes appended to a
// file held open, with no check at all. The gap is what formatting, the
// lock and the rotation check cost. The log lives in a temporary home,
// removed at exit.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "model/diagnostic_log.hpp"
#include "support/temporary_home.hpp"

namespace {

const std::string message = "Processing request: fileResource";

void BM_DiagnosticLogLine(benchmark::State& state) {
    zentrabo::testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());
    for (auto _ : state) ZENTRABO_LOG(message);
}

void BM_BareAppendOfALine(benchmark::State& state) {
    zentrabo::testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());
    const std::string line = "[2026-01-01T00:00:00Z] connection/request_road.cpp:201 " + message + "\n";
    const int descriptor = ::open(home.logFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    for (auto _ : state) benchmark::DoNotOptimize(::write(descriptor, line.data(), line.size()));
    ::close(descriptor);
}

}  // namespace

BENCHMARK(BM_DiagnosticLogLine);
BENCHMARK(BM_BareAppendOfALine);
BENCHMARK_MAIN();
