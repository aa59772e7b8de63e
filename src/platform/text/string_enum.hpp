#pragma once
// Enumerations that travel as text. An enumeration opts in by specialising
// StringEnumTraits with the raw value of each case, in declaration order
// (cases numbered from 0), most simply as RawValues:
//   enum class Mode { view, control };
//   template <>
//   struct StringEnumTraits<Mode> : RawValues<"view", "control"> {};
// rawValue, fromRawValue and allCases follow.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

namespace zentrabo::platform {

template <typename E>
struct StringEnumTraits;

// A string literal as a template argument.
template <std::size_t N>
struct RawValueLiteral {
    consteval RawValueLiteral(const char (&literal)[N]) { std::copy_n(literal, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
    char text[N];
};

// The raw values, counted from the list itself, so no case can be left with
// an empty raw value by a count written too large.
template <RawValueLiteral... values>
struct RawValues {
    static constexpr std::array<std::string_view, sizeof...(values)> rawValues = {values.view()...};
};

template <typename E>
concept StringEnum = std::is_enum_v<E> && requires {
    StringEnumTraits<E>::rawValues;
};

template <StringEnum E>
constexpr std::string_view rawValue(E value) {
    return StringEnumTraits<E>::rawValues[static_cast<std::size_t>(value)];
}

// The case whose raw value is exactly text (case-sensitive); false for any
// other text, leaving value unchanged.
template <StringEnum E>
constexpr bool fromRawValue(std::string_view text, E& value) {
    const auto& rawValues = StringEnumTraits<E>::rawValues;
    for (std::size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == text) {
            value = static_cast<E>(i);
            return true;
        }
    }
    return false;
}

// Every case in declaration order.
template <StringEnum E>
constexpr auto allCases() {
    constexpr std::size_t count = StringEnumTraits<E>::rawValues.size();
    std::array<E, count> cases{};
    for (std::size_t i = 0; i < count; ++i) cases[i] = static_cast<E>(i);
    return cases;
}

}  // namespace zentrabo::platform
