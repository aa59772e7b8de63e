#pragma once
// What a document from the network must pass beyond the limits of every
// document; the reader applies these checks in JsonDocument::parseFromNetwork.
#include <cstddef>
#include <string_view>

#include "platform/json/json_reader.hpp"

namespace zentrabo::platform {

// Whether the text holds at most maximum values (each string, number,
// literal, array and object counts one; a key does not), counted in one pass
// over the bytes without parsing them. Text with far more punctuation than
// that many values could carry fails too, so whatever passes costs the
// parser work and memory in proportion to the cap, not to its length.
bool valueCountWithin(std::string_view text, std::size_t maximum) noexcept;

// Whether some object of the document, at any depth, names a key twice.
bool hasRepeatedKey(JsonValue root);

}  // namespace zentrabo::platform
