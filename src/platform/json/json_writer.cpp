#include "platform/json/json_writer.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include <sys/mman.h>

#include "platform/text/base64.hpp"

namespace zentrabo::platform {
namespace {

// After a large Base64 field only the few members that follow it are still
// to come; this much room keeps them from moving the whole buffer again.
constexpr std::size_t kTrailingRoom = 64 * 1024;

// A Base64 field at least this large is written into memory backed by huge
// pages where the kernel allows it: faulting in a fresh 33 MB buffer page by
// page costs more than encoding into it.
constexpr std::size_t kHugePageThreshold = 4 * 1024 * 1024;
constexpr std::uintptr_t kHugePageSize = 2 * 1024 * 1024;

void adviseHugePages(char* begin, std::size_t length) {
    const auto first = (reinterpret_cast<std::uintptr_t>(begin) + kHugePageSize - 1) & ~(kHugePageSize - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(begin) + length) & ~(kHugePageSize - 1);
    // Advice only: where it is refused, pages are faulted in as usual.
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// 0: copy as it is; 1: needs an escape; 2: first byte of a multi-byte
// UTF-8 sequence (or a byte that cannot start one).
constexpr std::array<std::uint8_t, 256> makeClassTable() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t c = 0; c < 0x20; ++c) table[c] = 1;
    table['"'] = 1;
    table['\\'] = 1;
    for (std::size_t c = 0x80; c < 0x100; ++c) table[c] = 2;
    return table;
}
constexpr auto kClass = makeClassTable();

// The letter of JSON's two-character escape of a byte, 0 for the control
// characters that have none (they are written \u00XX).
constexpr std::array<char, 0x80> makeEscapeLetterTable() {
    std::array<char, 0x80> letters{};
    letters['"'] = '"';
    letters['\\'] = '\\';
    letters['\n'] = 'n';
    letters['\r'] = 'r';
    letters['\t'] = 't';
    letters['\b'] = 'b';
    letters['\f'] = 'f';
    return letters;
}
constexpr auto kEscapeLetter = makeEscapeLetterTable();

// Length of the valid UTF-8 sequence at text[i], or 0 when it is invalid
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t validSequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t left = text.size() - i;
    const auto continuation = [&](std::size_t k) { return (byte(k) & 0xC0) == 0x80; };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return left >= 2 && continuation(i + 1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !continuation(i + 1) || !continuation(i + 2)) return 0;
        const unsigned char second = byte(i + 1);
        if (lead == 0xE0 && second < 0xA0) return 0;
        if (lead == 0xED && second > 0x9F) return 0;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return 0;
        const unsigned char second = byte(i + 1);
        if (lead == 0xF0 && second < 0x90) return 0;
        if (lead == 0xF4 && second > 0x8F) return 0;
        return 4;
    }
    return 0;
}

}  // namespace

void JsonWriter::separate() {
    if (needsComma_) out_.push_back(',');
    needsComma_ = true;
}

void JsonWriter::open(char bracket) {
    separate();
    out_.push_back(bracket);
    needsComma_ = false;
}

void JsonWriter::close(char bracket) {
    out_.push_back(bracket);
    needsComma_ = true;
}

void JsonWriter::beginObject() { open('{'); }
void JsonWriter::endObject() { close('}'); }
void JsonWriter::beginArray() { open('['); }
void JsonWriter::endArray() { close(']'); }

void JsonWriter::key(std::string_view name) {
    separate();
    out_.push_back('"');
    writeEscaped(name);
    out_.append("\":", 2);
    needsComma_ = false;
}

void JsonWriter::null() {
    separate();
    out_.append("null", 4);
}

void JsonWriter::boolean(bool value) {
    separate();
    if (value) {
        out_.append("true", 4);
    } else {
        out_.append("false", 5);
    }
}

template <class Whole>
void JsonWriter::wholeNumber(Whole value) {
    separate();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void JsonWriter::integer(std::int64_t value) { wholeNumber(value); }
void JsonWriter::unsignedInteger(std::uint64_t value) { wholeNumber(value); }

void JsonWriter::number(double value) {
    if (!std::isfinite(value)) throw JsonWriteError("A number that is not finite cannot be written as JSON.");
    separate();
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    // The shortest form of a whole number beyond the 64-bit range is a bare digit
    // string, which a JSON reader takes for an integer it cannot hold: write it
    // with an exponent so it reads back as the double it is.
    if (std::fabs(value) >= 0x1p63 && std::find(buffer, result.ptr, 'e') == result.ptr) {
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    }
    out_.append(buffer, result.ptr);
}

void JsonWriter::string(std::string_view text) {
    separate();
    out_.push_back('"');
    writeEscaped(text);
    out_.push_back('"');
}

void JsonWriter::base64(std::span<const std::uint8_t> bytes) {
    separate();
    const std::size_t encodedLength = base64EncodedLength(bytes.size());
    const std::size_t start = out_.size() + 1;
    if (out_.capacity() < start + encodedLength + 1) {
        out_.reserve(start + encodedLength + kTrailingRoom);
        if (encodedLength >= kHugePageThreshold) adviseHugePages(out_.data() + start, encodedLength);
    }
    out_.push_back('"');
    out_.resize(start + encodedLength);
    base64EncodeInto(bytes, out_.data() + start);
    out_.push_back('"');
}

void JsonWriter::writeEscaped(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::uint8_t kind = kClass[byte];
        if (kind == 0) {
            ++i;
            continue;
        }
        if (kind == 2) {
            if (const std::size_t length = validSequenceLength(text, i)) {
                i += length;
                continue;
            }
        }
        out_.append(text.data() + runStart, i - runStart);
        if (kind == 2) {
            out_.append("\xEF\xBF\xBD", 3);
        } else if (const char letter = kEscapeLetter[byte]) {
            const char escape[2] = {'\\', letter};
            out_.append(escape, 2);
        } else {
            const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
            out_.append(escape, 6);
        }
        ++i;
        runStart = i;
    }
    out_.append(text.data() + runStart, text.size() - runStart);
}

}  // namespace zentrabo::platform
