#include "platform/random/uuid.hpp"

#include <array>
#include <cstdint>

#include "platform/random/random_bytes.hpp"

namespace zentrabo::platform {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

bool isHyphenPosition(std::size_t index) { return index == 8 || index == 13 || index == 18 || index == 23; }

}  // namespace

Uuid Uuid::random() {
    std::array<std::uint8_t, 16> bytes{};
    fillRandomNeverFailing(bytes);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant

    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(hexDigits[bytes[i] >> 4]);
        text.push_back(hexDigits[bytes[i] & 0x0F]);
    }
    return Uuid{std::move(text)};
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::string result(text);
    for (std::size_t i = 0; i < result.size(); ++i) {
        char& c = result[i];
        if (isHyphenPosition(i)) {
            if (c != '-') return std::nullopt;
        } else if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return std::nullopt;
        }
    }
    return Uuid{std::move(result)};
}

}  // namespace zentrabo::platform
