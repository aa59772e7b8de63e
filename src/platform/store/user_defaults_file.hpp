#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/store/user_defaults.hpp"

namespace zentrabo::platform::defaults {

using Values = std::map<std::string, DefaultsValue, std::less<>>;

// The JSON object of the settings file. Binary values are written as
// {"data": "<Base64>"} so they read back as bytes, not text.
std::string serialize(const Values& values);

// None when the text is not such an object.
std::optional<Values> parse(const std::string& text);

}  // namespace zentrabo::platform::defaults
