#include "platform/text/base64.hpp"

#include <array>
#include <cstring>

namespace zentrabo::platform {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit group, so three input bytes cost
// two table loads and two 16-bit stores.
constexpr std::array<std::array<char, 2>, 4096> makePairTable() {
    std::array<std::array<char, 2>, 4096> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = {kAlphabet[i >> 6], kAlphabet[i & 0x3F]};
    }
    return table;
}
constexpr auto kPairs = makePairTable();

// Decoding tables: each holds the 6-bit value already shifted into its place
// in the 24-bit group; an invalid character sets bit 24 so one test per
// group (or per run of groups) catches it.
constexpr std::uint32_t kInvalid = 0x01000000;

constexpr std::array<std::uint32_t, 256> makeDecodeTable(int shift) {
    std::array<std::uint32_t, 256> table{};
    for (auto& entry : table) entry = kInvalid;
    for (std::uint32_t i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = i << shift;
    }
    return table;
}
constexpr auto kDecode0 = makeDecodeTable(18);
constexpr auto kDecode1 = makeDecodeTable(12);
constexpr auto kDecode2 = makeDecodeTable(6);
constexpr auto kDecode3 = makeDecodeTable(0);

inline std::uint32_t decodeGroup(const unsigned char* in) noexcept {
    return kDecode0[in[0]] | kDecode1[in[1]] | kDecode2[in[2]] | kDecode3[in[3]];
}

}  // namespace

void base64EncodeInto(std::span<const std::uint8_t> bytes, char* out) noexcept {
    const std::uint8_t* in = bytes.data();
    std::size_t remaining = bytes.size();
    while (remaining >= 3) {
        const std::uint32_t group = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
        std::memcpy(out, kPairs[group >> 12].data(), 2);
        std::memcpy(out + 2, kPairs[group & 0xFFF].data(), 2);
        in += 3;
        out += 4;
        remaining -= 3;
    }
    if (remaining == 1) {
        out[0] = kAlphabet[in[0] >> 2];
        out[1] = kAlphabet[(in[0] & 0x03) << 4];
        out[2] = '=';
        out[3] = '=';
    } else if (remaining == 2) {
        out[0] = kAlphabet[in[0] >> 2];
        out[1] = kAlphabet[((in[0] & 0x03) << 4) | (in[1] >> 4)];
        out[2] = kAlphabet[(in[1] & 0x0F) << 2];
        out[3] = '=';
    }
}

std::string base64Encode(std::span<const std::uint8_t> bytes) {
    std::string text(base64EncodedLength(bytes.size()), '\0');
    base64EncodeInto(bytes, text.data());
    return text;
}

bool base64Decode(std::string_view text, std::vector<std::uint8_t>& out) {
    if (text.size() % 4 != 0) return false;
    out.clear();
    if (text.empty()) return true;

    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t padding = 0;
    if (in[text.size() - 1] == '=') padding = in[text.size() - 2] == '=' ? 2 : 1;
    const std::size_t fullGroups = text.size() / 4 - (padding ? 1 : 0);
    out.resize(fullGroups * 3 + (padding ? 3 - padding : 0));

    std::uint8_t* dest = out.data();
    std::uint32_t errors = 0;
    for (std::size_t group = 0; group < fullGroups; ++group, in += 4, dest += 3) {
        const std::uint32_t value = decodeGroup(in);
        errors |= value;
        dest[0] = static_cast<std::uint8_t>(value >> 16);
        dest[1] = static_cast<std::uint8_t>(value >> 8);
        dest[2] = static_cast<std::uint8_t>(value);
    }
    if (errors & kInvalid) return false;

    if (padding == 2) {
        const std::uint32_t value = kDecode0[in[0]] | kDecode1[in[1]];
        if (value & kInvalid) return false;
        dest[0] = static_cast<std::uint8_t>(value >> 16);
    } else if (padding == 1) {
        const std::uint32_t value = kDecode0[in[0]] | kDecode1[in[1]] | kDecode2[in[2]];
        if (value & kInvalid) return false;
        dest[0] = static_cast<std::uint8_t>(value >> 16);
        dest[1] = static_cast<std::uint8_t>(value >> 8);
    }
    return true;
}

}  // namespace zentrabo::platform
