#pragma once

#include <cstdint>
#include <system_error>

namespace zentrabo::platform {

// The error category of the DNS-SD library's error numbers
// (DNSServiceErrorType); its messages name the case.
const std::error_category& dnsServiceErrorCategory();

std::error_code makeDnsServiceError(std::int32_t dnsServiceErrorNumber);

}  // namespace zentrabo::platform
