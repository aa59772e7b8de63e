#pragma once

#include <cstdint>
#include <vector>

namespace zentrabo {

// Binary content of a record (file bytes, images); Base64 text on the wire.
using Data = std::vector<std::uint8_t>;

}  // namespace zentrabo
