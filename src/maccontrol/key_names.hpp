#pragma once
// Key names as callers send them: trimmed of white space and line breaks and
// lowercased by the Unicode rules of no language, so " Return " and "RETURN"
// name the same key.
#include <string>
#include <string_view>

#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

inline std::string normalizedKeyName(std::string_view name) {
    return platform::lowercased(platform::trimWhitespaceAndNewlines(name));
}

}  // namespace zentrabo
