#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/json/json_error.hpp"
#include "platform/json/json_input_buffer.hpp"

namespace simdjson::dom {
class parser;
}

namespace zentrabo::platform {

// Objects and arrays nested deeper than this fail the whole document.
inline constexpr std::size_t kJsonMaximumDepth = 256;
// Values a document from the network may hold: enough for any request, few
// enough that a text of tiny elements cannot make its parsed form, or the
// records read from it, many times larger than the text.
inline constexpr std::size_t kJsonNetworkMaximumValueCount = std::size_t{1} << 20;

// Numbers keep the exact kind the text had: a whole number that fits a
// signed 64-bit integer, one that only fits an unsigned one, or a floating
// number (anything with a fraction or an exponent).
enum class JsonType { null, boolean, signedInteger, unsignedInteger, floating, string, array, object };

// Result of reading a number into an integer type.
enum class JsonIntegerStatus { ok, notNumber, notWhole, outOfRange };

class JsonObject;
class JsonArray;

// A view of one value inside a JsonDocument; valid while the document lives.
class JsonValue {
public:
    JsonType type() const noexcept;
    bool isNull() const noexcept { return type() == JsonType::null; }

    std::optional<bool> asBool() const noexcept;
    std::optional<std::string_view> asString() const noexcept;
    // Any number, as the nearest double.
    std::optional<double> asDouble() const noexcept;
    std::optional<JsonObject> asObject() const noexcept;
    std::optional<JsonArray> asArray() const noexcept;

    // A whole number that fits T. A floating number counts when it has no
    // fraction (96.0, 1e2); 96.5, or -1 for an unsigned T, does not.
    template <class T>
    requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)JsonIntegerStatus getInteger(T& out) const noexcept {
        if constexpr (std::is_signed_v<T>) {
            std::int64_t wide = 0;
            const auto status = getInt64(wide);
            if (status != JsonIntegerStatus::ok) return status;
            if (wide < std::numeric_limits<T>::min() || wide > std::numeric_limits<T>::max()) {
                return JsonIntegerStatus::outOfRange;
            }
            out = static_cast<T>(wide);
        } else {
            std::uint64_t wide = 0;
            const auto status = getUInt64(wide);
            if (status != JsonIntegerStatus::ok) return status;
            if (wide > std::numeric_limits<T>::max()) return JsonIntegerStatus::outOfRange;
            out = static_cast<T>(wide);
        }
        return JsonIntegerStatus::ok;
    }

    struct Handle {
        const void* document = nullptr;
        std::size_t index = 0;
    };

private:
    friend class JsonDocument;
    friend class JsonObject;
    friend class JsonArray;
    template <class Element>
    friend class JsonIterator;
    explicit JsonValue(Handle handle) noexcept : handle_(handle) {}

    JsonIntegerStatus getInt64(std::int64_t& out) const noexcept;
    JsonIntegerStatus getUInt64(std::uint64_t& out) const noexcept;

    Handle handle_;
};

struct JsonField {
    std::string_view key;
    JsonValue value;
};

// Walks the members of an object (Element = JsonField) or the elements of an
// array (Element = JsonValue).
template <class Element>
class JsonIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Element;
    using reference = Element;
    using pointer = void;
    using difference_type = std::ptrdiff_t;

    Element operator*() const noexcept;
    JsonIterator& operator++() noexcept;
    JsonIterator operator++(int) noexcept {
        JsonIterator previous = *this;
        ++*this;
        return previous;
    }
    bool operator==(const JsonIterator& other) const noexcept { return position_.index == other.position_.index; }

private:
    template <class>
    friend class JsonContainer;
    explicit JsonIterator(JsonValue::Handle position) noexcept : position_(position) {}
    JsonValue::Handle position_;
};

template <>
JsonField JsonIterator<JsonField>::operator*() const noexcept;
template <>
JsonValue JsonIterator<JsonValue>::operator*() const noexcept;

// What JsonObject and JsonArray share: a walk over the members or elements
// that the parser holds, and their count.
template <class Element>
class JsonContainer {
public:
    using Iterator = JsonIterator<Element>;

    Iterator begin() const noexcept;
    Iterator end() const noexcept;
    std::size_t size() const noexcept;

protected:
    explicit JsonContainer(JsonValue::Handle handle) noexcept : handle_(handle) {}
    JsonValue::Handle handle_;
};

class JsonObject : public JsonContainer<JsonField> {
public:
    // The value of the last member with this key, if any.
    std::optional<JsonValue> find(std::string_view key) const noexcept;

private:
    friend class JsonValue;
    explicit JsonObject(JsonValue::Handle handle) noexcept : JsonContainer(handle) {}
};

class JsonArray : public JsonContainer<JsonValue> {
private:
    friend class JsonValue;
    explicit JsonArray(JsonValue::Handle handle) noexcept : JsonContainer(handle) {}
};

// One parsed document: valid UTF-8 throughout, at most kJsonMaximumDepth
// levels of nesting, every number in range of its kind. Parsing is not
// recursive, so hostile nesting cannot exhaust the stack.
class JsonDocument {
public:
    // A document of our own (a stored file). Copies the text into a padded
    // buffer first.
    static JsonDocument parse(std::string_view text);

    // A document that came from the network (a request line, a stream's JSON
    // payload). Besides the limits above it holds at most maximumValueCount
    // values (each string, number, literal, array and object counts one; a
    // key does not), counted before it is parsed, and no object names a key
    // twice, so every reader of the text sees the same members. Either fault
    // is malformed input. Copies the text first.
    static JsonDocument parseFromNetwork(std::string_view text,
                                         std::size_t maximumValueCount = kJsonNetworkMaximumValueCount);
    // The same, parsing the buffer where it is; it must outlive the document
    // and stay unchanged.
    static JsonDocument parseFromNetworkInPlace(const JsonInputBuffer& buffer,
                                                std::size_t maximumValueCount = kJsonNetworkMaximumValueCount);

    JsonDocument(JsonDocument&&) noexcept;
    JsonDocument& operator=(JsonDocument&&) noexcept;
    ~JsonDocument();

    JsonValue root() const noexcept { return root_; }

private:
    JsonDocument();
    void parseInto(const char* data, std::size_t length, bool copy);
    static JsonDocument parseFromNetwork(std::string_view text, bool copy, std::size_t maximumValueCount);

    std::unique_ptr<simdjson::dom::parser> parser_;
    JsonValue root_{JsonValue::Handle{}};
};

}  // namespace zentrabo::platform
