#include "app/listening_announcement.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zentrabo {

void announceListening(const ListenerStatus& listener, std::function<void(std::string_view)> writeLine) {
    struct Announced {
        std::optional<std::uint16_t> port;
        bool fingerprint = false;
    };
    auto announced = std::make_shared<Announced>();
    listener.port().observe([&listener, writeLine, announced](const std::optional<std::uint16_t>& port) {
        if (!port) {
            if (announced->port) writeLine("Not listening.");
            announced->port.reset();
            return;
        }
        if (port == announced->port) return;
        announced->port = port;
        writeLine("Listening on port " + std::to_string(*port));
        if (const auto& fingerprint = *listener.serverCertificateFingerprint();
            fingerprint && !announced->fingerprint) {
            announced->fingerprint = true;
            writeLine("Server fingerprint: " + *fingerprint);
        }
    });
}

}  // namespace zentrabo
