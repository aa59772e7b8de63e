#pragma once
// Each encoder numbers its media frames from 1; 0 means "not a media
// frame", so after 0xFFFFFFFF the count starts again at 1.
#include <cstdint>
#include <limits>

namespace zentrabo {

inline constexpr std::uint32_t firstMediaSequenceNumber = 1;

// Returns the current number and moves the counter on.
inline std::uint32_t takeMediaSequenceNumber(std::uint32_t& next) {
    const std::uint32_t number = next;
    next = number == std::numeric_limits<std::uint32_t>::max() ? firstMediaSequenceNumber : number + 1;
    return number;
}

}  // namespace zentrabo
