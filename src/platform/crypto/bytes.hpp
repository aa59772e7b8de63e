#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

// Owned binary data, and a read-only view of it.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The bytes of a text, without a copy.
inline ByteView bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace zentrabo::platform
