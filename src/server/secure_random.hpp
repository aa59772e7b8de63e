#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentrabo {

// `count` random bytes for identifiers and secrets. Drawn from the secure
// generator; should that fail, from the system's random device instead, so
// the call never fails.
std::vector<std::uint8_t> secureRandomBytes(std::size_t count);

}  // namespace zentrabo
