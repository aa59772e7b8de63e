#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/json/field_table.hpp"
#include "platform/json/record_errors.hpp"
#include "platform/json/value_decoding.hpp"

namespace zentrabo::platform {

// How the members of an object are matched with a record's field table.
enum class RecordReading {
    // A peer's message: members are taken in document order, keys outside
    // the table are ignored (a newer peer may send more) and null reads as
    // an absent member.
    message,
    // A stored file: each field of the table is looked up in table order (of
    // repeated keys the last counts), keys outside the table are ignored,
    // and null is a value like any other, so a member that is there must
    // hold its type.
    stored,
    // As stored, and a key outside the table is a fault, named in the path,
    // so a misspelt key in a file somebody wrote is not silently ignored.
    strict,
};

namespace json_detail {

struct DecodeContext {
    RecordReading reading = RecordReading::message;
    // Levels of a recursive record (a tree) entered so far.
    std::size_t treeDepth = 0;

    bool nullIsAbsent() const noexcept { return reading == RecordReading::message; }
};

template <class T>
void decodeValue(JsonValue value, T& out, DecodeContext& context);

template <Record R>
void decodeRecord(JsonValue value, R& out, DecodeContext& context);

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
void decodeArray(JsonValue value, std::vector<T>& out, DecodeContext& context) {
    const auto array = value.asArray();
    if (!array) throwWrongType(RecordFault::notArray, "an array");
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
void decodeValue(JsonValue value, T& out, DecodeContext& context) {
    if constexpr (HasJsonValueForm<T>) {
        JsonValueForm<T>::read(value, out);
    } else if constexpr (std::is_same_v<T, std::string>) {
        decodeString(value, out);
    } else if constexpr (std::is_same_v<T, bool>) {
        decodeBool(value, out);
    } else if constexpr (std::is_same_v<T, double>) {
        decodeDouble(value, out);
    } else if constexpr (isBytes<T>) {
        decodeBytes(value, out);
    } else if constexpr (std::is_integral_v<T>) {
        decodeInteger(value, out);
    } else if constexpr (WireEnum<T>) {
        if (!fromRawValue(decodeEnumText(value), out)) throwUnknownEnumValue();
    } else if constexpr (isOptional<T>) {
        if (value.isNull() && context.nullIsAbsent()) {
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

template <class Form, class T>
void decodeInForm(JsonValue value, T& out, DecodeContext& context) {
    if constexpr (std::is_same_v<Form, TypeForm>) {
        decodeValue(value, out, context);
    } else {
        Form::read(value, out);
    }
}

template <class R, class Member, class Form>
void decodeMember(const Field<R, Member, Form>& field, JsonValue value, R& out, std::uint64_t& seen, std::uint64_t bit,
                  DecodeContext& context) {
    if constexpr (isOptional<Member>) {
        withKey(field.key, [&] { decodeInForm<Form>(value, out.*field.member, context); });
    } else {
        if (value.isNull() && context.nullIsAbsent()) {
            withKey(field.key, [] { throwMissing(); });
        }
        withKey(field.key, [&] { decodeInForm<Form>(value, out.*field.member, context); });
        seen |= bit;
    }
}

template <class R, class Member, class Fallback, class Form>
void decodeMember(const DefaultedField<R, Member, Fallback, Form>& field, JsonValue value, R& out, std::uint64_t& seen,
                  std::uint64_t bit, DecodeContext& context) {
    if (value.isNull() && context.nullIsAbsent()) {
        seen &= ~bit;
        return;
    }
    withKey(field.key, [&] { decodeInForm<Form>(value, out.*field.member, context); });
    seen |= bit;
}

template <class R, class Member, class Form>
void requirePresence(const Field<R, Member, Form>& field) {
    if constexpr (!isOptional<Member>) withKey(field.key, [] { throwMissing(); });
}

template <class R, class Member, class Fallback, class Form>
void requirePresence(const DefaultedField<R, Member, Fallback, Form>&) {}

template <class R, class Member, class Form>
void finishMember(const Field<R, Member, Form>& field, R&, bool seen) {
    if (!seen) requirePresence(field);
}

template <class R, class Member, class Fallback, class Form>
void finishMember(const DefaultedField<R, Member, Fallback, Form>& field, R& out, bool seen) {
    if (seen) return;
    if constexpr (std::is_same_v<Fallback, RecordDefault>) {
        // Left as the record was made.
    } else if constexpr (std::is_member_object_pointer_v<Fallback>) {
        out.*field.member = out.*field.fallback;
    } else {
        out.*field.member = Member(field.fallback);
    }
}

// Table order, by key: a required member that is missing is reported at
// its turn, before any member after it in the table.
template <Record R, std::size_t... I>
void decodeFieldsInTableOrder(JsonObject object, R& out, DecodeContext& context, std::uint64_t& seen,
                              std::index_sequence<I...>) {
    static constexpr auto fields = R::jsonFields();
    const auto decodeOne = [&](const auto& field, std::uint64_t bit) {
        if (const auto value = object.find(field.key)) {
            decodeMember(field, *value, out, seen, bit, context);
        } else {
            requirePresence(field);
        }
    };
    (decodeOne(std::get<I>(fields), std::uint64_t{1} << I), ...);
    if (context.reading == RecordReading::strict) {
        for (const auto member : object) {
            if (!((std::get<I>(fields).key == member.key) || ...)) withKey(member.key, [] { throwUnknownKey(); });
        }
    }
}

template <Record R, std::size_t... I>
void decodeFields(JsonObject object, R& out, DecodeContext& context, std::index_sequence<I...> indices) {
    static constexpr auto fields = R::jsonFields();
    static_assert(sizeof...(I) <= 64, "a record has at most 64 fields");
    std::uint64_t seen = 0;
    if (context.reading == RecordReading::message) {
        for (const auto member : object) {
            // Unknown keys match no field and are skipped.
            (void)((std::get<I>(fields).key == member.key
                        ? (decodeMember(std::get<I>(fields), member.value, out, seen, std::uint64_t{1} << I, context),
                           true)
                        : false) ||
                   ...);
        }
    } else {
        decodeFieldsInTableOrder(object, out, context, seen, indices);
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
void decodeRecord(JsonValue value, R& out, DecodeContext& context) {
    const auto object = value.asObject();
    if (!object) throwWrongType(RecordFault::notObject, "an object");
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
R decodeRecord(JsonValue value, RecordReading reading = RecordReading::message) {
    R record{};
    json_detail::DecodeContext context{reading};
    json_detail::decodeRecord(value, record, context);
    return record;
}

namespace json_detail {

// Reads the record from the root of the document the parse gives; text
// that is no valid JSON fails as a RecordDecodeError too.
template <Record R, class Parse>
R decodeDocument(Parse&& parse) {
    try {
        const JsonDocument document = parse();
        return platform::decodeRecord<R>(document.root());
    } catch (const JsonParseError& error) {
        throw RecordDecodeError(RecordFault::notJson, error.what());
    }
}

}  // namespace json_detail

// Reads a record from JSON text under the limits of every document (stored
// files; a client reading a reply). Throws RecordDecodeError.
template <Record R>
R decodeRecord(std::string_view json) {
    return json_detail::decodeDocument<R>([&] { return JsonDocument::parse(json); });
}

// Reads a record from a document that came from the network (a request
// line, a stream's JSON payload) under the network's limits: at most
// maximumValueCount values and no repeated key. Throws RecordDecodeError.
template <Record R>
R decodeRecordFromNetwork(std::string_view json, std::size_t maximumValueCount = kJsonNetworkMaximumValueCount) {
    return json_detail::decodeDocument<R>([&] { return JsonDocument::parseFromNetwork(json, maximumValueCount); });
}

// As above, parsing the buffer where it is (no copy of a large message).
template <Record R>
R decodeRecordFromNetworkInPlace(const JsonInputBuffer& json,
                                 std::size_t maximumValueCount = kJsonNetworkMaximumValueCount) {
    return json_detail::decodeDocument<R>(
        [&] { return JsonDocument::parseFromNetworkInPlace(json, maximumValueCount); });
}

}  // namespace zentrabo::platform
