#include "platform/net/dnssd_txt.hpp"

#include "platform/net/dnssd_error.hpp"

#include <avahi-common/error.h>

#include <algorithm>
#include <cstdint>

namespace zentrabo::platform {
namespace {

// One TXT entry is a length byte followed by "key=value".
constexpr std::size_t maximumEntryBytes = 255;

bool isValidKey(std::string_view key) {
    return !key.empty() &&
           std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7E && c != '='; });
}

}  // namespace

std::error_code encodeDnsServiceTxt(const DnsServiceTxt& entries, std::string& bytes) {
    std::string encoded;
    for (const auto& [key, value] : entries) {
        const std::size_t entryBytes = key.size() + 1 + value.size();
        if (!isValidKey(key) || entryBytes > maximumEntryBytes) return makeDnsServiceError(AVAHI_ERR_INVALID_RECORD);
        encoded += static_cast<char>(entryBytes);
        encoded += key;
        encoded += '=';
        encoded += value;
    }
    bytes = std::move(encoded);
    return {};
}

DnsServiceTxt decodeDnsServiceTxt(std::string_view bytes) {
    // Parsed here in one pass: the library's accessors rescan the record for
    // each entry, quadratic in a hostile record of many empty entries.
    DnsServiceTxt entries;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::size_t length = static_cast<unsigned char>(bytes[offset]);
        ++offset;
        if (length > bytes.size() - offset) {
            break;
        }
        const std::string_view entry = bytes.substr(offset, length);
        offset += length;
        const std::size_t equals = entry.find('=');
        const std::string_view key = entry.substr(0, equals);
        if (key.empty()) {
            continue;
        }
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : entry.substr(equals + 1);
        entries.emplace(key, value);
    }
    return entries;
}

}  // namespace zentrabo::platform
