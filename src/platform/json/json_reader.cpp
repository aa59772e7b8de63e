#include "platform/json/json_reader.hpp"

#include "platform/json/json_network_checks.hpp"

#include <simdjson.h>

#include <bit>
#include <cmath>

namespace zentrabo::platform {
namespace {

namespace dom = simdjson::dom;

// Views and iterators of the parsed tape are a document pointer and a tape
// index; our handles carry exactly those, so simdjson stays out of headers.
static_assert(sizeof(dom::element) == sizeof(JsonValue::Handle));
static_assert(sizeof(dom::object::iterator) == sizeof(JsonValue::Handle));
static_assert(sizeof(dom::array::iterator) == sizeof(JsonValue::Handle));
static_assert(std::is_trivially_copyable_v<dom::element>);
static_assert(std::is_trivially_copyable_v<dom::object::iterator>);
static_assert(std::is_trivially_copyable_v<dom::array::iterator>);
static_assert(JsonInputBuffer::padding >= simdjson::SIMDJSON_PADDING);

template <class T>
T fromHandle(JsonValue::Handle handle) noexcept {
    return std::bit_cast<T>(handle);
}

template <class T>
JsonValue::Handle toHandle(T value) noexcept {
    return std::bit_cast<JsonValue::Handle>(value);
}

// The element as T, or none when it holds a value of another kind.
template <class T>
std::optional<T> elementAs(JsonValue::Handle handle) noexcept {
    T value{};
    if (fromHandle<dom::element>(handle).get<T>().get(value)) return std::nullopt;
    return value;
}

JsonParseError::Kind kindOf(simdjson::error_code code) {
    using simdjson::error_code;
    switch (code) {
    case error_code::DEPTH_ERROR:
        return JsonParseError::Kind::tooDeep;
    case error_code::UTF8_ERROR:
        return JsonParseError::Kind::invalidUtf8;
    case error_code::STRING_ERROR:
    case error_code::UNCLOSED_STRING:
    case error_code::UNESCAPED_CHARS:
        return JsonParseError::Kind::invalidString;
    case error_code::NUMBER_ERROR:
    case error_code::NUMBER_OUT_OF_RANGE:
        return JsonParseError::Kind::invalidNumber;
    case error_code::CAPACITY:
        return JsonParseError::Kind::tooLarge;
    case error_code::MEMALLOC:
        return JsonParseError::Kind::outOfMemory;
    default:
        return JsonParseError::Kind::malformed;
    }
}

const char* messageOf(JsonParseError::Kind kind) {
    switch (kind) {
    case JsonParseError::Kind::malformed:
        return "The JSON text is malformed.";
    case JsonParseError::Kind::tooDeep:
        return "The JSON text is nested too deeply.";
    case JsonParseError::Kind::invalidUtf8:
        return "The JSON text is not valid UTF-8.";
    case JsonParseError::Kind::invalidString:
        return "The JSON text holds an invalid string.";
    case JsonParseError::Kind::invalidNumber:
        return "The JSON text holds an invalid or out-of-range number.";
    case JsonParseError::Kind::tooLarge:
        return "The JSON text is too large.";
    case JsonParseError::Kind::outOfMemory:
        return "There is not enough memory to read the JSON text.";
    }
    return "The JSON text cannot be read.";
}

bool isWhole(double value) noexcept { return std::isfinite(value) && std::trunc(value) == value; }

}  // namespace

JsonParseError::JsonParseError(Kind kind) : std::runtime_error(messageOf(kind)), kind_(kind) {}

// ---- JsonValue

JsonType JsonValue::type() const noexcept {
    switch (fromHandle<dom::element>(handle_).type()) {
    case dom::element_type::ARRAY:
        return JsonType::array;
    case dom::element_type::OBJECT:
        return JsonType::object;
    case dom::element_type::INT64:
        return JsonType::signedInteger;
    case dom::element_type::UINT64:
        return JsonType::unsignedInteger;
    case dom::element_type::DOUBLE:
        return JsonType::floating;
    case dom::element_type::STRING:
        return JsonType::string;
    case dom::element_type::BOOL:
        return JsonType::boolean;
    case dom::element_type::NULL_VALUE:
        return JsonType::null;
    }
    return JsonType::null;
}

std::optional<bool> JsonValue::asBool() const noexcept { return elementAs<bool>(handle_); }

std::optional<std::string_view> JsonValue::asString() const noexcept { return elementAs<std::string_view>(handle_); }

// A double is read from either integer kind as well.
std::optional<double> JsonValue::asDouble() const noexcept { return elementAs<double>(handle_); }

std::optional<JsonObject> JsonValue::asObject() const noexcept {
    if (type() != JsonType::object) return std::nullopt;
    return JsonObject(handle_);
}

std::optional<JsonArray> JsonValue::asArray() const noexcept {
    if (type() != JsonType::array) return std::nullopt;
    return JsonArray(handle_);
}

JsonIntegerStatus JsonValue::getInt64(std::int64_t& out) const noexcept {
    const auto element = fromHandle<dom::element>(handle_);
    switch (type()) {
    case JsonType::signedInteger:
        out = element.get_int64().value_unsafe();
        return JsonIntegerStatus::ok;
    case JsonType::unsignedInteger:
        return JsonIntegerStatus::outOfRange;
    case JsonType::floating: {
        const double value = element.get_double().value_unsafe();
        if (!isWhole(value)) return JsonIntegerStatus::notWhole;
        // -2^63 is exact as a double; 2^63 is the first value past the range.
        if (value < -9223372036854775808.0 || value >= 9223372036854775808.0) {
            return JsonIntegerStatus::outOfRange;
        }
        out = static_cast<std::int64_t>(value);
        return JsonIntegerStatus::ok;
    }
    default:
        return JsonIntegerStatus::notNumber;
    }
}

JsonIntegerStatus JsonValue::getUInt64(std::uint64_t& out) const noexcept {
    const auto element = fromHandle<dom::element>(handle_);
    switch (type()) {
    case JsonType::signedInteger: {
        const std::int64_t value = element.get_int64().value_unsafe();
        if (value < 0) return JsonIntegerStatus::outOfRange;
        out = static_cast<std::uint64_t>(value);
        return JsonIntegerStatus::ok;
    }
    case JsonType::unsignedInteger:
        out = element.get_uint64().value_unsafe();
        return JsonIntegerStatus::ok;
    case JsonType::floating: {
        const double value = element.get_double().value_unsafe();
        if (!isWhole(value)) return JsonIntegerStatus::notWhole;
        if (value < 0 && value != 0) return JsonIntegerStatus::outOfRange;
        if (value >= 18446744073709551616.0) return JsonIntegerStatus::outOfRange;
        out = static_cast<std::uint64_t>(value);
        return JsonIntegerStatus::ok;
    }
    default:
        return JsonIntegerStatus::notNumber;
    }
}

// ---- JsonObject and JsonArray

namespace {

// The parser's types behind a container of Element.
template <class Element>
struct Parsed;

template <>
struct Parsed<JsonField> {
    using Iterator = dom::object::iterator;
    static dom::object container(JsonValue::Handle handle) noexcept {
        return fromHandle<dom::element>(handle).get_object().value_unsafe();
    }
};

template <>
struct Parsed<JsonValue> {
    using Iterator = dom::array::iterator;
    static dom::array container(JsonValue::Handle handle) noexcept {
        return fromHandle<dom::element>(handle).get_array().value_unsafe();
    }
};

}  // namespace

template <>
JsonField JsonIterator<JsonField>::operator*() const noexcept {
    const auto pair = *fromHandle<dom::object::iterator>(position_);
    return JsonField{pair.key, JsonValue(toHandle(pair.value))};
}

template <>
JsonValue JsonIterator<JsonValue>::operator*() const noexcept {
    return JsonValue(toHandle(*fromHandle<dom::array::iterator>(position_)));
}

template <class Element>
JsonIterator<Element>& JsonIterator<Element>::operator++() noexcept {
    auto iterator = fromHandle<typename Parsed<Element>::Iterator>(position_);
    ++iterator;
    position_ = toHandle(iterator);
    return *this;
}

template <class Element>
typename JsonContainer<Element>::Iterator JsonContainer<Element>::begin() const noexcept {
    return Iterator(toHandle(Parsed<Element>::container(handle_).begin()));
}

template <class Element>
typename JsonContainer<Element>::Iterator JsonContainer<Element>::end() const noexcept {
    return Iterator(toHandle(Parsed<Element>::container(handle_).end()));
}

template <class Element>
std::size_t JsonContainer<Element>::size() const noexcept {
    return Parsed<Element>::container(handle_).size();
}

template class JsonIterator<JsonField>;
template class JsonIterator<JsonValue>;
template class JsonContainer<JsonField>;
template class JsonContainer<JsonValue>;

std::optional<JsonValue> JsonObject::find(std::string_view key) const noexcept {
    std::optional<JsonValue> found;
    for (const auto field : *this) {
        if (field.key == key) found = field.value;
    }
    return found;
}

// ---- JsonDocument

JsonDocument::JsonDocument() : parser_(std::make_unique<dom::parser>()) {}
JsonDocument::JsonDocument(JsonDocument&&) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&&) noexcept = default;
JsonDocument::~JsonDocument() = default;

void JsonDocument::parseInto(const char* data, std::size_t length, bool copy) {
    // Room for the document, and the depth limit that the parser enforces
    // while it builds the tape, without recursion.
    if (const auto error = parser_->allocate(length, kJsonMaximumDepth)) throw JsonParseError(kindOf(error));
    dom::element element;
    if (const auto error = parser_->parse(data, length, copy).get(element)) throw JsonParseError(kindOf(error));
    root_ = JsonValue(toHandle(element));
}

JsonDocument JsonDocument::parse(std::string_view text) {
    JsonDocument document;
    document.parseInto(text.data(), text.size(), true);
    return document;
}

JsonDocument JsonDocument::parseFromNetwork(std::string_view text, std::size_t maximumValueCount) {
    return parseFromNetwork(text, true, maximumValueCount);
}

JsonDocument JsonDocument::parseFromNetworkInPlace(const JsonInputBuffer& buffer, std::size_t maximumValueCount) {
    return parseFromNetwork(buffer.text(), false, maximumValueCount);
}

JsonDocument JsonDocument::parseFromNetwork(std::string_view text, bool copy, std::size_t maximumValueCount) {
    // Nothing at all is no document; an empty buffer has no memory to parse.
    if (text.empty() || !valueCountWithin(text, maximumValueCount)) {
        throw JsonParseError(JsonParseError::Kind::malformed);
    }
    JsonDocument document;
    document.parseInto(text.data(), text.size(), copy);
    if (hasRepeatedKey(document.root())) throw JsonParseError(JsonParseError::Kind::malformed);
    return document;
}

}  // namespace zentrabo::platform
