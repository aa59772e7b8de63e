#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "model/json/field_table.hpp"
#include "model/json/record_errors.hpp"
#include "model/json/value_decoding.hpp"

namespace zentrabo {
namespace json_detail {

struct DecodeContext {
    // Levels of a recursive record (a tree) entered so far.
    std::size_t treeDepth = 0;
};

template <class T>
void decodeValue(platform::JsonValue value, T& out, DecodeContext& context);

template <Record R>
void decodeRecord(platform::JsonValue value, R& out, DecodeContext& context);

// Builds the error path on the way out of a member or element.
template <class Decode>
void withKey(std::string_view key, Decode&& decode) {
    try {
        decode();
    } catch (RecordDecodeError& error) {
        error.prependKey(key);
        throw;
    }
}

template <class T>
void decodeArray(platform::JsonValue value, std::vector<T>& out, DecodeContext& context) {
    const auto array = value.asArray();
    if (!array) throwWrongType("an array");
    out.clear();
    // A hint only: a hostile count must not reserve memory out of
    // proportion to the input.
    out.reserve(std::min<std::size_t>(array->size(), 1024));
    std::size_t index = 0;
    for (const auto element : *array) {
        try {
            decodeValue(element, out.emplace_back(), context);
        } catch (RecordDecodeError& error) {
            error.prependIndex(index);
            throw;
        }
        ++index;
    }
}

template <class T>
void decodeValue(platform::JsonValue value, T& out, DecodeContext& context) {
    if constexpr (std::is_same_v<T, std::string>) {
        decodeString(value, out);
    } else if constexpr (std::is_same_v<T, bool>) {
        decodeBool(value, out);
    } else if constexpr (std::is_same_v<T, double>) {
        decodeDouble(value, out);
    } else if constexpr (std::is_same_v<T, Date>) {
        decodeDate(value, out);
    } else if constexpr (std::is_same_v<T, Data>) {
        decodeData(value, out);
    } else if constexpr (std::is_same_v<T, Uuid>) {
        decodeUuid(value, out);
    } else if constexpr (std::is_integral_v<T>) {
        decodeInteger(value, out);
    } else if constexpr (WireEnum<T>) {
        if (!fromRawValue(decodeEnumText(value), out)) throwUnknownEnumValue();
    } else if constexpr (isOptional<T>) {
        if (value.isNull()) {
            out.reset();
        } else {
            decodeValue(value, out.emplace(), context);
        }
    } else if constexpr (isVector<T>) {
        decodeArray(value, out, context);
    } else if constexpr (Record<T>) {
        decodeRecord(value, out, context);
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this member type");
    }
}

template <class R, class Member>
void decodeMember(const Field<R, Member>& field, platform::JsonValue value, R& out, std::uint64_t& seen,
                  std::uint64_t bit, DecodeContext& context) {
    if constexpr (isOptional<Member>) {
        withKey(field.key, [&] { decodeValue(value, out.*field.member, context); });
    } else {
        if (value.isNull()) {
            withKey(field.key, [] { throwMissing(); });
        }
        withKey(field.key, [&] { decodeValue(value, out.*field.member, context); });
        seen |= bit;
    }
}

template <class R, class Member, class Fallback>
void decodeMember(const DefaultedField<R, Member, Fallback>& field, platform::JsonValue value, R& out,
                  std::uint64_t& seen, std::uint64_t bit, DecodeContext& context) {
    if (value.isNull()) {
        seen &= ~bit;
        return;
    }
    withKey(field.key, [&] { decodeValue(value, out.*field.member, context); });
    seen |= bit;
}

template <class R, class Member>
void finishMember(const Field<R, Member>& field, R&, bool seen) {
    if (!isOptional<Member> && !seen) withKey(field.key, [] { throwMissing(); });
}

template <class R, class Member, class Fallback>
void finishMember(const DefaultedField<R, Member, Fallback>& field, R& out, bool seen) {
    if (seen) return;
    if constexpr (std::is_member_object_pointer_v<Fallback>) {
        out.*field.member = out.*field.fallback;
    } else {
        out.*field.member = Member(field.fallback);
    }
}

template <Record R, std::size_t... I>
void decodeFields(platform::JsonObject object, R& out, DecodeContext& context, std::index_sequence<I...>) {
    static constexpr auto fields = R::jsonFields();
    static_assert(sizeof...(I) <= 64, "a record has at most 64 fields");
    std::uint64_t seen = 0;
    for (const auto member : object) {
        // Unknown keys match no field and are skipped.
        (void)((std::get<I>(fields).key == member.key
                    ? (decodeMember(std::get<I>(fields), member.value, out, seen, std::uint64_t{1} << I, context), true)
                    : false) ||
               ...);
    }
    (finishMember(std::get<I>(fields), out, (seen >> I) & 1), ...);
}

// Counts the levels of a tree while one of its records is being read.
class TreeLevel {
public:
    TreeLevel(DecodeContext& context, std::size_t maximum) : context_(context) {
        if (++context_.treeDepth > maximum) {
            --context_.treeDepth;
            throwTooDeep();
        }
    }
    ~TreeLevel() { --context_.treeDepth; }
    TreeLevel(const TreeLevel&) = delete;
    TreeLevel& operator=(const TreeLevel&) = delete;

private:
    DecodeContext& context_;
};

template <Record R>
void decodeRecord(platform::JsonValue value, R& out, DecodeContext& context) {
    const auto object = value.asObject();
    if (!object) throwWrongType("an object");
    constexpr auto count = std::tuple_size_v<decltype(R::jsonFields())>;
    if constexpr (RecursiveRecord<R>) {
        TreeLevel level(context, R::maximumTreeDepth);
        decodeFields(*object, out, context, std::make_index_sequence<count>{});
    } else {
        decodeFields(*object, out, context, std::make_index_sequence<count>{});
    }
}

}  // namespace json_detail

// Reads a record from a value of a parsed document (stores embed records in
// larger documents). Throws RecordDecodeError.
template <Record R>
R decodeRecord(platform::JsonValue value) {
    R record{};
    json_detail::DecodeContext context;
    json_detail::decodeRecord(value, record, context);
    return record;
}

namespace json_detail {

// Reads the record from the root of the document the parse gives; text
// that is no valid JSON fails as a RecordDecodeError too.
template <Record R, class Parse>
R decodeDocument(Parse&& parse) {
    try {
        const platform::JsonDocument document = parse();
        return zentrabo::decodeRecord<R>(document.root());
    } catch (const platform::JsonParseError& error) {
        throw RecordDecodeError(error.what());
    }
}

}  // namespace json_detail

// Reads a record from JSON text under the limits of every document (stored
// files; a client reading a reply). Throws RecordDecodeError.
template <Record R>
R decodeRecord(std::string_view json) {
    return json_detail::decodeDocument<R>([&] { return platform::JsonDocument::parse(json); });
}

// Reads a record from a document that came from the network (a request
// line, a stream's JSON payload) under the network's limits: at most
// maximumValueCount values and no repeated key. Throws RecordDecodeError.
template <Record R>
R decodeRecordFromNetwork(std::string_view json,
                          std::size_t maximumValueCount = platform::kJsonNetworkMaximumValueCount) {
    return json_detail::decodeDocument<R>(
        [&] { return platform::JsonDocument::parseFromNetwork(json, maximumValueCount); });
}

// As above, parsing the buffer where it is (no copy of a large message).
template <Record R>
R decodeRecordFromNetworkInPlace(const platform::JsonInputBuffer& json,
                                 std::size_t maximumValueCount = platform::kJsonNetworkMaximumValueCount) {
    return json_detail::decodeDocument<R>(
        [&] { return platform::JsonDocument::parseFromNetworkInPlace(json, maximumValueCount); });
}

}  // namespace zentrabo
