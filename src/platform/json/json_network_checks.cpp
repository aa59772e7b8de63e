#include "platform/json/json_network_checks.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace zentrabo::platform {
namespace {

// The byte after the quote that closes a string, scanning from just after
// its opening quote; end when the string never closes.
const char* afterString(const char* at, const char* end) noexcept {
    for (const char* from = at;;) {
        const auto* quote = static_cast<const char*>(std::memchr(from, '"', static_cast<std::size_t>(end - from)));
        if (!quote) return end;
        // An odd run of backslashes before it escapes the quote.
        std::size_t backslashes = 0;
        for (const char* before = quote; before > at && before[-1] == '\\'; --before) ++backslashes;
        if (backslashes % 2 == 0) return quote + 1;
        from = quote + 1;
    }
}

bool isContainer(JsonValue value) noexcept {
    const JsonType type = value.type();
    return type == JsonType::object || type == JsonType::array;
}

}  // namespace

bool valueCountWithin(std::string_view text, std::size_t maximum) noexcept {
    // A value brings at most four tokens besides its own: its key, the
    // colon, a comma and, for a container, the closing bracket.
    constexpr std::size_t tokensPerValue = 5;
    const std::size_t maximumTokens = maximum > std::numeric_limits<std::size_t>::max() / tokensPerValue
                                          ? std::numeric_limits<std::size_t>::max()
                                          : maximum * tokensPerValue;
    // Strings are counted as values until a colon shows one was a key.
    std::size_t valuesAndKeys = 0;
    std::size_t keys = 0;
    std::size_t tokens = 0;
    bool inScalar = false;
    const char* const end = text.data() + text.size();
    for (const char* at = text.data(); at < end;) {
        const char byte = *at++;
        const bool wasInScalar = inScalar;
        inScalar = false;
        switch (byte) {
        case '"':
            at = afterString(at, end);
            ++valuesAndKeys;
            break;
        case '{':
        case '[':
            ++valuesAndKeys;
            break;
        case ':':
            ++keys;
            break;
        case '}':
        case ']':
        case ',':
            break;
        case ' ':
        case '\t':
        case '\n':
        case '\r':
            continue;
        default:
            // Numbers and literals: one value per run of other bytes.
            inScalar = true;
            if (wasInScalar) continue;
            ++valuesAndKeys;
            break;
        }
        // A key is always followed by its value, so counting it early never
        // refuses a text that holds no more than the maximum.
        if (++tokens > maximumTokens || valuesAndKeys - std::min(keys, valuesAndKeys) > maximum) return false;
    }
    return true;
}

bool hasRepeatedKey(JsonValue root) {
    // Containers still to visit: every value is looked at once, without
    // recursion.
    std::vector<JsonValue> pending{root};
    std::vector<std::string_view> keys;
    while (!pending.empty()) {
        const JsonValue value = pending.back();
        pending.pop_back();
        if (const auto object = value.asObject()) {
            keys.clear();
            for (const auto field : *object) {
                keys.push_back(field.key);
                if (isContainer(field.value)) pending.push_back(field.value);
            }
            std::sort(keys.begin(), keys.end());
            if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) return true;
        } else if (const auto array = value.asArray()) {
            for (const auto element : *array) {
                if (isContainer(element)) pending.push_back(element);
            }
        }
    }
    return false;
}

}  // namespace zentrabo::platform
