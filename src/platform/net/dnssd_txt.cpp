#include "platform/net/dnssd_txt.hpp"

#include "platform/net/dnssd_error.hpp"
#include "platform/net/dnssd_library.hpp"

#include <dns_sd.h>

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

// Owns a TXTRecordRef for the length of one encoding.
class TxtRecordBuilder {
public:
    TxtRecordBuilder() { TXTRecordCreate(&record_, 0, nullptr); }
    ~TxtRecordBuilder() { TXTRecordDeallocate(&record_); }
    TxtRecordBuilder(const TxtRecordBuilder&) = delete;
    TxtRecordBuilder& operator=(const TxtRecordBuilder&) = delete;

    DNSServiceErrorType set(const std::string& key, const std::string& value) {
        return TXTRecordSetValue(&record_, key.c_str(), static_cast<std::uint8_t>(value.size()), value.data());
    }

    std::string bytes() const {
        const auto* data = static_cast<const char*>(TXTRecordGetBytesPtr(&record_));
        return {data, TXTRecordGetLength(&record_)};
    }

private:
    TXTRecordRef record_;
};

}  // namespace

std::error_code encodeDnsServiceTxt(const DnsServiceTxt& entries, std::string& bytes) {
    detail::prepareDnsServiceLibrary();
    TxtRecordBuilder builder;
    for (const auto& [key, value] : entries) {
        if (!isValidKey(key) || key.size() + 1 + value.size() > maximumEntryBytes) {
            return makeDnsServiceError(kDNSServiceErr_Invalid);
        }
        if (DNSServiceErrorType error = builder.set(key, value); error != kDNSServiceErr_NoError) {
            return makeDnsServiceError(error);
        }
    }
    bytes = builder.bytes();
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
