#include "app/listening_announcement.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zentrabo {

void announceListening(const ListenerStatus& listener, LineWriter writeLine, LineWriter writeProblem,
                       std::function<void()> nextSteps) {
    struct Announced {
        std::optional<std::uint16_t> port;
        bool fingerprint = false;
        bool advertisementFailed = false;
    };
    auto announced = std::make_shared<Announced>();
    listener.port().observe(
        [&listener, writeLine, announced, nextSteps = std::move(nextSteps)](const std::optional<std::uint16_t>& port) {
            if (!port || port == announced->port) {
                announced->port = port;
                return;
            }
            announced->port = port;
            writeLine("Listening on port " + std::to_string(*port));
            if (const auto& fingerprint = *listener.serverCertificateFingerprint();
                fingerprint && !announced->fingerprint) {
                announced->fingerprint = true;
                writeLine("Server fingerprint: " + *fingerprint);
                if (nextSteps) nextSteps();
            }
        });
    const auto reportNotListening = [writeProblem](const std::optional<std::string>& reason) {
        if (reason) writeProblem("Not listening: " + *reason);
    };
    // A listener that could not even be made failed before anyone observed it.
    reportNotListening(*listener.notListeningReason());
    listener.notListeningReason().observe(reportNotListening);
    listener.advertisement().observe(
        [&listener, writeProblem, announced](const ServiceAdvertisementState& advertisement) {
            using Phase = ServiceAdvertisementState::Phase;
            if (advertisement.phase == Phase::failed && !announced->advertisementFailed) {
                announced->advertisementFailed = true;
                writeProblem("Not advertised: " + advertisement.failure);
            } else if (advertisement.phase == Phase::advertised && announced->advertisementFailed) {
                announced->advertisementFailed = false;
                writeProblem("Advertised as " + *listener.serviceName());
            }
        });
}

}  // namespace zentrabo
