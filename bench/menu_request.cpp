// The "menu" request on a GTK 3 editor of the X11 session of $DISPLAY whose
// reply holds about 250 menu items, as a paired device asks it of the
// server binary (--desktop x11) over TLS. With ZENTRABO_BASELINE_SERVER
// naming another build of the binary, both run side by side on the same
// application and their requests alternate, so one run compares them on
// the same machine at the same load.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drawn_to_frame.hpp"
#include "given_x_display.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_response.hpp"
#include "paired_server.hpp"
#include "support/device_request.hpp"
#include "support/temporary_home.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int rounds = 15;
// With the editor's File and Edit menus, a reply of about 250 items.
constexpr int extraItems = 236;

std::size_t nodeCount(const std::vector<MenuNode>& nodes) {
    std::size_t count = nodes.size();
    for (const auto& node : nodes) count += nodeCount(node.children);
    return count;
}

// The build tree's binary when program is empty.
testing::ServerLaunch launchOf(const std::string& program) {
    testing::ServerLaunch launch;
    launch.program = program;
    return launch;
}

// One server binary on a home of its own, with the device paired.
struct MeasuredServer {
    std::string label;
    testing::TemporaryHome home;
    testing::ServerProcess process;
    std::optional<bench::PairedServer> paired;
    std::vector<double> milliseconds;

    MeasuredServer(std::string name, const testing::TestDevice& phone, const std::string& program)
        : label(std::move(name)), process({"--desktop", "x11"}, {}, launchOf(program)) {
        paired = bench::pairWith(process, phone);
    }

    // The items the reply held; none when the request failed.
    std::optional<std::size_t> ask(const testing::TestDevice& phone, int round) {
        const std::string line = encodeRecord(testing::deviceRequest("M-" + std::to_string(round), "menu")) + "\n";
        const auto began = Clock::now();
        const auto reply = phone.exchangeLine(paired->port, paired->fingerprint, line);
        const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - began).count();
        if (!reply) return std::nullopt;
        const auto response = decodeRecord<HalvardineResponse>(std::string_view(*reply).substr(0, reply->find('\n')));
        if (!response.ok || !response.snapshot) return std::nullopt;
        // The first round of each warms its caches and is not counted.
        if (round > 0) milliseconds.push_back(elapsed);
        return nodeCount(response.snapshot->items);
    }
};

}  // namespace
}  // namespace zentrabo

int main() {
    using namespace zentrabo;
    const char* display = bench::givenXDisplay("menu request");
    if (display == nullptr) return 0;
    testing::TestApplication editor({.windows = {{"Editor", 640, 480, {{100, 100}}, {}, {}, true, extraItems}}});
    if (!testing::waitForFrontWindow(editor, "Editor")) {
        std::printf("menu request: the editor did not show its window\n");
        return 1;
    }
    const testing::TestDevice phone;
    std::vector<std::unique_ptr<MeasuredServer>> servers;
    servers.push_back(std::make_unique<MeasuredServer>("this build", phone, std::string()));
    if (const char* baseline = std::getenv("ZENTRABO_BASELINE_SERVER"); baseline != nullptr && *baseline != '\0') {
        servers.push_back(std::make_unique<MeasuredServer>(baseline, phone, baseline));
    }
    std::size_t items = 0;
    for (int round = 0; round <= rounds; ++round) {
        for (auto& server : servers) {
            const auto answered = server->paired ? server->ask(phone, round) : std::nullopt;
            if (!answered) {
                std::printf("menu request: %s did not answer with a menu\n", server->label.c_str());
                return 1;
            }
            items = *answered;
        }
    }
    for (const auto& server : servers) {
        std::printf("menu request on a GTK 3 editor, %zu items, %d rounds, %s: p50 %.1f ms, p90 %.1f ms\n", items,
                    rounds, server->label.c_str(), bench::percentileOf(server->milliseconds, 0.5),
                    bench::percentileOf(server->milliseconds, 0.9));
    }
    return 0;
}
