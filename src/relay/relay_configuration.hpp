#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zentrabo {

// What the server hands the relay connector: where the relay is, who this Mac
// is there, and where the local listener waits for tunnelled clients.
struct HalvardineRelayConfiguration {
    bool isEnabled = false;
    std::string host;
    std::uint16_t controlPort = 0;
    std::uint16_t clientPort = 0;
    std::string deviceID;
    std::string secret;
    std::optional<std::uint16_t> localServerPort;  // none while the listener is not ready

    bool operator==(const HalvardineRelayConfiguration&) const = default;
};

}  // namespace zentrabo
