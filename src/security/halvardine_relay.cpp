#include "security/halvardine_relay.hpp"

#include "platform/text/trim.hpp"

namespace zentrabo {
namespace {

bool inDeviceIDAlphabet(char character) {
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
           (character >= '0' && character <= '9') || character == '-' || character == '_';
}

}  // namespace

std::optional<std::string> HalvardineRelay::normalizedHost(std::optional<std::string_view> host) {
    if (!host) return std::nullopt;
    std::string_view text;
    const std::string trimmed = platform::trimWhitespaceAndNewlines(*host);
    text = trimmed;
    if (text.starts_with("https://")) {
        text.remove_prefix(8);
    } else if (text.starts_with("http://")) {
        text.remove_prefix(7);
    }
    // The first non-empty piece between "/" is the host.
    const std::size_t start = text.find_first_not_of('/');
    if (start != std::string_view::npos) {
        text = text.substr(start);
        text = text.substr(0, text.find('/'));
    }
    if (text.empty()) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> HalvardineRelay::normalizedDeviceID(std::optional<std::string_view> deviceID) {
    if (!deviceID) return std::nullopt;
    std::string normalized;
    for (const char character : platform::trimWhitespaceAndNewlines(*deviceID)) {
        if (!inDeviceIDAlphabet(character)) continue;
        normalized.push_back(character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                                  : character);
    }
    if (normalized.empty()) return std::nullopt;
    return normalized;
}

std::optional<HalvardineRelay::Endpoint> HalvardineRelay::endpoint(std::optional<std::string_view> host,
                                                                   std::optional<std::string_view> deviceID,
                                                                   std::optional<std::uint16_t> port) {
    const auto normalizedHostName = normalizedHost(host);
    const auto normalizedID = normalizedDeviceID(deviceID);
    if (!normalizedHostName || !normalizedID) return std::nullopt;
    return Endpoint{*normalizedID + "." + *normalizedHostName, port.value_or(defaultClientPort)};
}

}  // namespace zentrabo
