#include "platform/text/utf8.hpp"

#include <climits>

#include <unicode/utf8.h>

namespace zentrabo::platform {

bool isValidUtf8(std::string_view bytes) noexcept {
    if (bytes.size() > INT32_MAX) return false;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    int32_t index = 0;
    while (index < length) {
        UChar32 character = 0;
        U8_NEXT(data, index, length, character);
        if (character < 0) return false;
    }
    return true;
}

}  // namespace zentrabo::platform
