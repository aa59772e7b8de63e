// Peak memory of the server while one paired device sends one large request.
// The server binary runs as a process of its own, one fresh process for each
// request, and its peak is the VmHWM of /proc/<pid>/status once the reply has
// come. Not timed: it prints each figure beside its bound.
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_response.hpp"
#include "server/connection/request_limits.hpp"
#include "support/server_process.hpp"
#include "support/temporary_home.hpp"
#include "support/test_device.hpp"

namespace zentrabo {
namespace {

using testing::TestDevice;

constexpr std::size_t lineBytes = RequestLimits::defaultPairedLineBytes;

// The process's peak resident memory in bytes; none when it cannot be read.
std::optional<std::size_t> peakResidentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        std::size_t kibibytes = 0;
        if (std::sscanf(line.c_str(), "VmHWM: %zu kB", &kibibytes) == 1) return kibibytes * 1024;
    }
    return std::nullopt;
}

// Ends the line, with spaces before its end to exactly the size.
std::string padded(std::string line, std::string_view end, std::size_t size) {
    line.append(size - line.size() - end.size(), ' ');
    return line.append(end);
}

// A request of tiny array elements, refused by the value cap.
std::string tinyElements() {
    std::string line = R"({"id":"T","action":"ping","path":[0)";
    while (line.size() + 4 < lineBytes) line += ",0";
    return padded(std::move(line), "]}", lineBytes);
}

// A workflow step carrying one file whose Base64 fills the line.
std::string oneLargeBase64String() {
    std::string line = R"({"id":"B","action":"workflow","workflowSteps":[{"id":"s","kind":"sendFile","title":"",)"
                       R"("applicationName":"","fileTransferFilename":"f.bin","fileTransferData":")";
    line.append((lineBytes - line.size() - std::string_view(R"("}]})").size()) / 4 * 4, 'A').append("\"");
    return padded(std::move(line), "}]}", lineBytes);
}

// As many minimal workflow steps as the value cap allows: the request's own
// object, id, action and steps array are four values, each step five.
std::string minimalSteps() {
    constexpr std::string_view step = R"({"id":"","kind":"","title":"","applicationName":""})";
    const std::size_t steps = (RequestLimits::defaultValueCount - 4) / 5;
    std::string line = R"({"id":"W","action":"workflow","workflowSteps":[)";
    for (std::size_t index = 0; index < steps; ++index) line.append(index ? "," : "").append(step);
    return line + "]}";
}

struct Scenario {
    const char* name;
    std::string (*line)();
    std::optional<std::size_t> bound;
};

// Runs one request against a fresh server process; false when it failed or
// passed its bound.
bool measure(const Scenario& scenario) {
    testing::TemporaryHome home;
    testing::ServerProcess server;
    const auto start = server.readStartLines();
    if (!start) {
        std::printf("%s: the server did not start\n", scenario.name);
        return false;
    }
    const TestDevice phone;
    const auto window = testing::openPairingWindow(server, std::chrono::seconds(20));
    const auto paired = window ? phone.exchangeLine(start->port, start->fingerprint,
                                                    encodeRecord(testing::pairingRequest(*window, "PAIR")) + "\n")
                               : std::nullopt;
    if (!paired || paired->find(R"("ok":true)") == std::string::npos) {
        std::printf("%s: pairing failed\n", scenario.name);
        return false;
    }

    const std::string line = scenario.line();
    const auto received = phone.exchangeLine(start->port, start->fingerprint, line + "\n");
    const auto peak = peakResidentBytes(server.pid());
    if (!received || !peak) {
        std::printf("%s: no reply\n", scenario.name);
        return false;
    }
    const auto reply = decodeRecord<HalvardineResponse>(std::string_view(*received).substr(0, received->find('\n')));
    const bool withinBound = !scenario.bound || *peak < *scenario.bound;
    std::printf("%-58s line %6.1f MB  peak RSS %7.1f MB", scenario.name, line.size() / 1e6, *peak / 1e6);
    if (scenario.bound) std::printf("  (bound %.0f MB%s)", *scenario.bound / 1e6, withinBound ? "" : ", OVER IT");
    std::printf("  reply: %s\n", reply.ok ? "ok" : reply.error.value_or("failed").c_str());
    return withinBound;
}

}  // namespace
}  // namespace zentrabo

int main() {
    using zentrabo::Scenario;
    const Scenario scenarios[] = {
        {"256 MiB line of tiny array elements", zentrabo::tinyElements, 600'000'000},
        {"256 MiB line carrying one large Base64 string", zentrabo::oneLargeBase64String, 1'200'000'000},
        {"1,048,576 values as minimal workflow steps", zentrabo::minimalSteps, std::nullopt},
    };
    bool allWithinBounds = true;
    for (const auto& scenario : scenarios) allWithinBounds = zentrabo::measure(scenario) && allWithinBounds;
    return allWithinBounds ? 0 : 1;
}
