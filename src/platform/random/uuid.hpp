#pragma once
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// A UUID in its upper-case 8-4-4-4-12 text form, e.g.
// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F": the form records carry on the wire
// and in the stores. Reading accepts either case.
struct Uuid {
    std::string uuidString;

    // A new random (version 4) identifier, from the never-failing source.
    static Uuid random();
    // None for text that is not a UUID.
    static std::optional<Uuid> parse(std::string_view text);

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

}  // namespace zentrabo::platform
