#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "platform/json/json_reader.hpp"
#include "platform/text/string_enum.hpp"

// One table per record lists its JSON members: key, member and whether the
// member is required, optional (a std::optional member, left out when
// absent) or defaulted while reading. Decoding, encoding, equality and
// hashing all walk the same table, so they cannot drift apart.
//
//   struct RemoteApplicationRecovery {
//       std::string localizedName;
//       std::string bundleIdentifier;
//       static constexpr auto jsonFields() {
//           return std::tuple{field("localizedName", &RemoteApplicationRecovery::localizedName),
//                             field("bundleIdentifier", &RemoteApplicationRecovery::bundleIdentifier)};
//       }
//   };

namespace zentrabo::platform {

template <class T>
inline constexpr bool isOptional = false;
template <class T>
inline constexpr bool isOptional<std::optional<T>> = true;

template <class T>
inline constexpr bool isVector = false;
template <class T>
inline constexpr bool isVector<std::vector<T>> = true;

// Bytes travel as Base64 text.
template <class T>
inline constexpr bool isBytes = std::is_same_v<T, std::vector<std::uint8_t>>;

// The form a member is read and written in when its field names none: the
// one of its type.
struct TypeForm {};

// A member read and written under its key: required unless it is a
// std::optional, in which case a missing key (and in a message a null) means
// "absent".
template <class Record, class Member, class Form = TypeForm>
struct Field {
    std::string_view key;
    Member Record::*member;

    // The same field in a form of its own: Form has static read(JsonValue,
    // Member&), throwing RecordDecodeError, and write(JsonWriter&, const
    // Member&).
    template <class OtherForm>
    constexpr Field<Record, Member, OtherForm> as() const {
        static_assert(!isOptional<Member>, "a form reads a value, not its absence");
        return {key, member};
    }
};

// A member that is always written but may be missing (or, in a message,
// null) when read; it then takes the fallback: a value, the value of another
// member of the same record after every member has been read, or, with
// `recordDefault`, the value the record is made with.
template <class Record, class Member, class Fallback, class Form = TypeForm>
struct DefaultedField {
    std::string_view key;
    Member Record::*member;
    Fallback fallback;

    template <class OtherForm>
    constexpr DefaultedField<Record, Member, Fallback, OtherForm> as() const {
        return {key, member, fallback};
    }
};

struct RecordDefault {};
inline constexpr RecordDefault recordDefault{};

template <class Record, class Member>
constexpr Field<Record, Member> field(std::string_view key, Member Record::*member) {
    return {key, member};
}

template <class Record, class Member, class Fallback>
constexpr DefaultedField<Record, Member, Fallback> field(std::string_view key, Member Record::*member,
                                                         Fallback fallback) {
    return {key, member, fallback};
}

template <class T>
concept Record = requires {
    T::jsonFields();
};

// A record whose members hold more records of its own type (a tree). Its
// depth is bounded while reading and writing, and equality and hashing
// walk it without recursion.
template <class T>
concept RecursiveRecord = Record<T> && requires {
    { T::maximumTreeDepth } -> std::convertible_to<std::size_t>;
};

// A string enumeration: its StringEnumTraits (string_enum.hpp, visible
// here for every namespace's enumerations) or rawValue / fromRawValue of its
// own found by ADL.
template <class T>
concept WireEnum = std::is_enum_v<T> && requires(T value, std::string_view text) {
    { rawValue(value) } -> std::convertible_to<std::string_view>;
    { fromRawValue(text, value) } -> std::same_as<bool>;
};

// A type whose JSON form is none of the built-in ones (text, numbers, true
// and false, Base64 bytes, arrays, records) specialises JsonValueForm with
// static read(JsonValue, T&), throwing RecordDecodeError, write(JsonWriter&,
// const T&) and, when records holding it are hashed, hash(const T&). A
// record with such a form is read and written in it wherever it is a member;
// decodeRecord and encodeRecord still take it as a record.
template <class T>
struct JsonValueForm {};

template <class T>
concept HasJsonValueForm = requires(JsonValue value, T& out) {
    JsonValueForm<T>::read(value, out);
};

// Calls visit(fieldDescriptor) for every field of R, in table order.
template <Record R, class Visitor>
constexpr void forEachField(Visitor&& visit) {
    std::apply([&](const auto&... fields) { (visit(fields), ...); }, R::jsonFields());
}

template <class R, class Member>
inline constexpr bool isChildList = std::is_same_v<Member, std::vector<R>>;

}  // namespace zentrabo::platform
