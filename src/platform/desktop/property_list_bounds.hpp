#pragma once
// What a property list must keep before libplist may read it. libplist
// recurses once per level of nesting (a deep file overflows the stack),
// expands every reference of a binary list into a copy of its own (a few
// hundred bytes of shared references become billions of values), and aborts
// when asked for a text in which its binary reader left a U+0000. None of
// that is refused by libplist itself, so these checks come first.
#include <cstddef>
#include <cstdint>
#include <span>

namespace zentrabo::platform {

struct PropertyListBounds {
    // Levels of nesting below the root value.
    int maximumDepth = 64;
    // Values (a dictionary's keys among them) and the bytes of their texts
    // and data, counted as libplist builds them: each reference to a shared
    // value counts that value again. libplist takes time quadratic in the
    // values of a binary list (160000 take half a minute); information
    // dictionaries hold a few hundred.
    std::uint64_t maximumValueCount = std::uint64_t{1} << 14;
    std::uint64_t maximumPayloadBytes = std::uint64_t{64} << 20;
};

// Whether the bytes may be handed to libplist. A binary list ("bplist00")
// must be readable as one: its trailer, offset table and references inside
// the bytes, no value containing itself, its texts free of U+0000 and its
// tree within the bounds. Any other text (XML) must hold no U+0000, and
// neither nest its elements deeper nor hold more of them than the bounds
// allow, counted from its tags alone.
bool propertyListWithinBounds(std::span<const std::uint8_t> bytes, const PropertyListBounds& bounds);

}  // namespace zentrabo::platform
