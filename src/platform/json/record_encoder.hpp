#pragma once

#include <span>
#include <string>

#include "platform/json/field_table.hpp"
#include "platform/json/json_writer.hpp"

namespace zentrabo::platform {
namespace json_detail {

struct EncodeContext {
    std::size_t treeDepth = 0;
};

[[noreturn]] void throwTreeTooDeepToWrite();

template <Record R>
void encodeRecord(JsonWriter& writer, const R& record, EncodeContext& context);

template <class T>
void encodeValue(JsonWriter& writer, const T& value, EncodeContext& context) {
    if constexpr (HasJsonValueForm<T>) {
        JsonValueForm<T>::write(writer, value);
    } else if constexpr (std::is_same_v<T, std::string>) {
        writer.string(value);
    } else if constexpr (std::is_same_v<T, bool>) {
        writer.boolean(value);
    } else if constexpr (std::is_same_v<T, double>) {
        writer.number(value);
    } else if constexpr (isBytes<T>) {
        writer.base64(std::span<const std::uint8_t>(value));
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        writer.integer(value);
    } else if constexpr (std::is_integral_v<T>) {
        writer.unsignedInteger(value);
    } else if constexpr (WireEnum<T>) {
        writer.string(rawValue(value));
    } else if constexpr (isOptional<T>) {
        // Only reached inside arrays (pathMatchValues); optional members are
        // left out instead.
        if (value) {
            encodeValue(writer, *value, context);
        } else {
            writer.null();
        }
    } else if constexpr (isVector<T>) {
        writer.beginArray();
        for (const auto& element : value) encodeValue(writer, element, context);
        writer.endArray();
    } else if constexpr (Record<T>) {
        encodeRecord(writer, value, context);
    } else {
        static_assert(sizeof(T) == 0, "no JSON form for this member type");
    }
}

template <class Form, class T>
void encodeInForm(JsonWriter& writer, const T& value, EncodeContext& context) {
    if constexpr (std::is_same_v<Form, TypeForm>) {
        encodeValue(writer, value, context);
    } else {
        Form::write(writer, value);
    }
}

template <class R, class Member, class Form>
void encodeMember(JsonWriter& writer, const R& record, const Field<R, Member, Form>& field, EncodeContext& context) {
    const Member& value = record.*field.member;
    if constexpr (isOptional<Member>) {
        if (!value) return;
        writer.key(field.key);
        encodeInForm<Form>(writer, *value, context);
    } else {
        writer.key(field.key);
        encodeInForm<Form>(writer, value, context);
    }
}

template <class R, class Member, class Fallback, class Form>
void encodeMember(JsonWriter& writer, const R& record, const DefaultedField<R, Member, Fallback, Form>& field,
                  EncodeContext& context) {
    writer.key(field.key);
    encodeInForm<Form>(writer, record.*field.member, context);
}

template <Record R>
void encodeRecord(JsonWriter& writer, const R& record, EncodeContext& context) {
    if constexpr (RecursiveRecord<R>) {
        // A tree deeper than readers accept is refused here rather than sent.
        if (context.treeDepth >= R::maximumTreeDepth) throwTreeTooDeepToWrite();
        ++context.treeDepth;
    }
    writer.beginObject();
    forEachField<R>([&](const auto& field) { encodeMember(writer, record, field, context); });
    writer.endObject();
    if constexpr (RecursiveRecord<R>) --context.treeDepth;
}

}  // namespace json_detail

// Writes the JSON object of a record where the writer stands. Throws
// JsonWriteError for a non-finite number or a too deep tree.
template <Record R>
void encodeRecord(const R& record, JsonWriter& writer) {
    json_detail::EncodeContext context;
    json_detail::encodeRecord(writer, record, context);
}

// Appends the compact JSON object of a record to out.
template <Record R>
void encodeRecord(const R& record, std::string& out) {
    JsonWriter writer(out);
    encodeRecord(record, writer);
}

template <Record R>
std::string encodeRecord(const R& record) {
    std::string out;
    encodeRecord(record, out);
    return out;
}

}  // namespace zentrabo::platform
