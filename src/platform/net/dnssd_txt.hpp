#pragma once

#include <map>
#include <string>
#include <string_view>
#include <system_error>

namespace zentrabo::platform {

// The key/value entries of a DNS-SD TXT record.
using DnsServiceTxt = std::map<std::string, std::string>;

// Encodes `entries` in the TXT record wire form. A key must be 1 or more
// printable ASCII characters other than '=', and key, '=' and value together
// at most 255 bytes; otherwise the result is an error and `bytes` is left
// unchanged.
std::error_code encodeDnsServiceTxt(const DnsServiceTxt& entries, std::string& bytes);

// Decodes a TXT record as received from the network, in linear time.
// Entries without a key are skipped and, as DNS-SD asks, only the first of
// repeated keys counts; a malformed record yields the entries before the
// fault.
DnsServiceTxt decodeDnsServiceTxt(std::string_view bytes);

}  // namespace zentrabo::platform
