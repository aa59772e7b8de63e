#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo {

// A 128-bit identifier; on the wire its standard text form of 36 characters
// (8-4-4-4-12 hexadecimal digits), written in upper case.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    // A new random (version 4) identifier.
    static Uuid random();
    // Accepts hexadecimal digits in either case; anything else gives none.
    static std::optional<Uuid> parse(std::string_view text);
    std::string uuidString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

} // namespace zentrabo
