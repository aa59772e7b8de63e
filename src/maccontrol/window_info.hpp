#pragma once
// Typed reads of window-list values that never fail: a missing value, a value
// of another type and a number that does not fit are all none. A number may
// come as an integer or a floating-point value; each reader accepts both.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo {

// The value under key, or null when the entry has none.
const platform::WindowInfoValue* windowInfoValue(const platform::WindowListEntry& entry, const char* key);

// A floating-point number counts by its whole part.
std::optional<std::int64_t> windowInfoInt(const platform::WindowInfoValue* value);
std::optional<double> windowInfoDouble(const platform::WindowInfoValue* value);
// Only numbers from 0 to 4294967295: a negative or larger number is none,
// never a wrapped value that could pass for a real window number.
std::optional<std::uint32_t> windowInfoUInt32(const platform::WindowInfoValue* value);
std::optional<std::string> windowInfoString(const platform::WindowInfoValue* value);
// A number counts as true when it is not zero.
std::optional<bool> windowInfoBool(const platform::WindowInfoValue* value);
// The entry's bounds, when they are a dictionary with a finite "X", "Y",
// "Width" and "Height"; as given, not standardised.
std::optional<platform::Rect> windowInfoBounds(const platform::WindowListEntry& entry);

}  // namespace zentrabo
