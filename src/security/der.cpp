#include "security/der.hpp"

#include <charconv>

namespace zentrabo::DER {
namespace {

// Big-endian bytes of the value without leading zeros (at least one byte).
Bytes bigEndian(std::uint64_t value) {
    Bytes bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    return bytes;
}

// Base 128, most significant group first, continuation bit on all but the last.
void appendBase128(Bytes& out, std::uint64_t value) {
    std::uint8_t groups[10];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(groups[--count] | 0x80);
    out.push_back(groups[0]);
}

}  // namespace

Bytes length(std::size_t value) {
    if (value < 128) return {static_cast<std::uint8_t>(value)};
    Bytes octets = bigEndian(value);
    octets.insert(octets.begin(), static_cast<std::uint8_t>(0x80 | octets.size()));
    return octets;
}

Bytes tlv(std::uint8_t tag, ByteView content) {
    Bytes out{tag};
    const Bytes lengthOctets = length(content.size());
    out.reserve(1 + lengthOctets.size() + content.size());
    out.insert(out.end(), lengthOctets.begin(), lengthOctets.end());
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes integer(ByteView magnitude) {
    std::size_t start = 0;
    while (magnitude.size() - start >= 2 && magnitude[start] == 0x00 && (magnitude[start + 1] & 0x80) == 0) {
        ++start;
    }
    Bytes content;
    if (magnitude.size() == start) {
        content.push_back(0x00);  // an empty magnitude is the number zero
    } else {
        if ((magnitude[start] & 0x80) != 0) content.push_back(0x00);
        content.insert(content.end(), magnitude.begin() + static_cast<std::ptrdiff_t>(start), magnitude.end());
    }
    return tlv(tagInteger, content);
}

Bytes integer(std::uint64_t value) { return integer(ByteView(bigEndian(value))); }

Bytes objectIdentifier(std::string_view dotted) {
    std::vector<std::uint64_t> arcs;
    while (!dotted.empty()) {
        const std::size_t dot = dotted.find('.');
        const std::string_view part = dotted.substr(0, dot);
        dotted = dot == std::string_view::npos ? std::string_view{} : dotted.substr(dot + 1);
        std::uint64_t arc = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), arc);
        if (!part.empty() && error == std::errc{} && end == part.data() + part.size()) {
            arcs.push_back(arc);
        }
    }
    if (arcs.size() < 2) return tlv(tagObjectIdentifier, {});
    Bytes content;
    // The first two arcs share one subidentifier; writing it in base 128 like
    // the others keeps the encoding valid even past 127.
    appendBase128(content, 40 * arcs[0] + arcs[1]);
    for (std::size_t index = 2; index < arcs.size(); ++index) appendBase128(content, arcs[index]);
    return tlv(tagObjectIdentifier, content);
}

Bytes constructed(std::initializer_list<ByteView> elements, std::uint8_t tag) {
    Bytes content;
    for (const ByteView element : elements) content.insert(content.end(), element.begin(), element.end());
    return tlv(tag, content);
}

Bytes bitString(ByteView bytes) {
    Bytes content{0x00};
    content.insert(content.end(), bytes.begin(), bytes.end());
    return tlv(tagBitString, content);
}

}  // namespace zentrabo::DER
