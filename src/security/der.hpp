#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/crypto/bytes.hpp"

// A DER encoder for exactly what our self-signed certificates need: no
// parser, no general ASN.1 support.
namespace zentrabo::DER {

using platform::Bytes;
using platform::ByteView;

// The tags this encoder writes.
enum Tag : std::uint8_t {
    tagBoolean = 0x01,
    tagInteger = 0x02,
    tagBitString = 0x03,
    tagOctetString = 0x04,
    tagObjectIdentifier = 0x06,
    tagUtf8String = 0x0C,
    tagUtcTime = 0x17,
    tagGeneralizedTime = 0x18,
    tagSequence = 0x30,
    tagSet = 0x31,
    tagContext0 = 0xA0,
    tagContext3 = 0xA3,
};

// Length octets: short form below 128, else 0x80 | count, then big-endian.
Bytes length(std::size_t value);

// Tag, length octets, content.
Bytes tlv(std::uint8_t tag, ByteView content);

// INTEGER of an unsigned big-endian magnitude: redundant leading zeros are
// dropped and a zero is put in front when the top bit would read as a sign.
Bytes integer(ByteView magnitude);

// INTEGER of a non-negative whole number.
Bytes integer(std::uint64_t value);

// OBJECT IDENTIFIER from dotted text ("2.5.4.3"); parts that are empty or
// not numbers are skipped; fewer than two arcs give 06 00.
Bytes objectIdentifier(std::string_view dotted);

// The elements in order, wrapped with the tag (SEQUENCE unless given).
Bytes constructed(std::initializer_list<ByteView> elements, std::uint8_t tag = tagSequence);

// BIT STRING with no unused bits: 0x00 followed by the bytes.
Bytes bitString(ByteView bytes);

}  // namespace zentrabo::DER
