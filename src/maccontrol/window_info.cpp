#include "maccontrol/window_info.hpp"

#include <cmath>
#include <limits>
#include <variant>

namespace zentrabo {

using platform::WindowInfoValue;

namespace {

// The whole part of a finite number that lies within [low, high].
template <class Integer>
std::optional<Integer> wholePart(double number, double low, double high) {
    if (!std::isfinite(number) || number < low || number > high) return std::nullopt;
    return static_cast<Integer>(std::trunc(number));
}

}  // namespace

const WindowInfoValue* windowInfoValue(const platform::WindowListEntry& entry, const char* key) {
    const auto found = entry.find(key);
    return found == entry.end() ? nullptr : &found->second;
}

std::optional<std::int64_t> windowInfoInt(const WindowInfoValue* value) {
    if (!value) return std::nullopt;
    if (const auto* integer = std::get_if<std::int64_t>(value)) return *integer;
    // 2^63 itself is a double that no int64 holds; the bound stays below it.
    constexpr double limit = 9223372036854774784.0;
    if (const auto* number = std::get_if<double>(value)) return wholePart<std::int64_t>(*number, -limit, limit);
    return std::nullopt;
}

std::optional<double> windowInfoDouble(const WindowInfoValue* value) {
    if (!value) return std::nullopt;
    if (const auto* number = std::get_if<double>(value)) return *number;
    if (const auto* integer = std::get_if<std::int64_t>(value)) return static_cast<double>(*integer);
    return std::nullopt;
}

std::optional<std::uint32_t> windowInfoUInt32(const WindowInfoValue* value) {
    if (!value) return std::nullopt;
    constexpr auto maximum = std::numeric_limits<std::uint32_t>::max();
    if (const auto* integer = std::get_if<std::int64_t>(value)) {
        if (*integer < 0 || *integer > std::int64_t{maximum}) return std::nullopt;
        return static_cast<std::uint32_t>(*integer);
    }
    if (const auto* number = std::get_if<double>(value)) return wholePart<std::uint32_t>(*number, 0, maximum);
    return std::nullopt;
}

std::optional<std::string> windowInfoString(const WindowInfoValue* value) {
    const auto* text = value ? std::get_if<std::string>(value) : nullptr;
    return text ? std::optional(*text) : std::nullopt;
}

std::optional<bool> windowInfoBool(const WindowInfoValue* value) {
    if (!value) return std::nullopt;
    if (const auto* flag = std::get_if<bool>(value)) return *flag;
    if (const auto* integer = std::get_if<std::int64_t>(value)) return *integer != 0;
    if (const auto* number = std::get_if<double>(value)) return *number != 0;
    return std::nullopt;
}

std::optional<platform::Rect> windowInfoBounds(const platform::WindowListEntry& entry) {
    const auto* value = windowInfoValue(entry, platform::windowkey::bounds);
    const auto* dictionary = value ? std::get_if<platform::WindowInfoDictionary>(value) : nullptr;
    if (!dictionary) return std::nullopt;
    platform::Rect rect;
    for (auto [key, field] : {std::pair{"X", &rect.x}, std::pair{"Y", &rect.y}, std::pair{"Width", &rect.width},
                              std::pair{"Height", &rect.height}}) {
        const auto found = dictionary->find(key);
        if (found == dictionary->end() || !std::isfinite(found->second)) return std::nullopt;
        *field = found->second;
    }
    return rect;
}

}  // namespace zentrabo
