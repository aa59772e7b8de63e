#pragma once
// The server binary on a bench's temporary home with one device paired
// through its terminal, as a phone pairs: what a bench that asks requests of
// the real server needs first.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "support/server_process.hpp"
#include "support/test_device.hpp"

namespace zentrabo::bench {

struct PairedServer {
    std::uint16_t port = 0;
    std::string fingerprint;
};

// Pairs `phone` with the started `server`. None when the
// server did not print its start lines or the pairing failed.
inline std::optional<PairedServer> pairWith(testing::ServerProcess& server, const testing::TestDevice& phone) {
    const auto start = server.readStartLines();
    if (!start) return std::nullopt;
    const auto window = testing::openPairingWindow(server, std::chrono::seconds(20));
    if (!window) return std::nullopt;
    const auto paired = phone.exchangeLine(start->port, start->fingerprint,
                                           encodeRecord(testing::pairingRequest(*window, "PAIR")) + "\n");
    if (!paired || paired->find(R"("ok":true)") == std::string::npos) return std::nullopt;
    return PairedServer{start->port, start->fingerprint};
}

}  // namespace zentrabo::bench
