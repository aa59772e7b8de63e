#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo {

// Where clients reach the relay and where the Mac keeps its control
// connection, and the normalisers every user of relay settings shares.
struct HalvardineRelay {
    static constexpr std::uint16_t defaultClientPort = 443;
    static constexpr std::uint16_t defaultControlPort = 8443;

    struct Endpoint {
        std::string host;
        std::uint16_t port = defaultClientPort;
        friend bool operator==(const Endpoint&, const Endpoint&) = default;
    };

    // Trimmed, one leading "https://" or "http://" (exact case) removed, cut
    // at the first "/"; none when empty. Ports and letter case are kept.
    static std::optional<std::string> normalizedHost(std::optional<std::string_view> host);

    // Trimmed, reduced to ASCII letters, digits, "-" and "_", lowercased; none
    // when empty.
    static std::optional<std::string> normalizedDeviceID(std::optional<std::string_view> deviceID);

    // "<device identifier>.<host>" at the port (443 when none is given); none
    // when either part normalises to none.
    static std::optional<Endpoint> endpoint(std::optional<std::string_view> host,
                                            std::optional<std::string_view> deviceID,
                                            std::optional<std::uint16_t> port);
};

}  // namespace zentrabo
