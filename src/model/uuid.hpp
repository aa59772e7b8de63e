#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo {

// A UUID member of a record. It holds the upper-case 8-4-4-4-12 text form,
// which is also its JSON form; any case is accepted when reading.
struct Uuid {
    std::string uuidString;

    // A new random (version 4) identifier.
    static Uuid random();
    // None for text that is not a UUID.
    static std::optional<Uuid> parse(std::string_view text);

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

}  // namespace zentrabo
