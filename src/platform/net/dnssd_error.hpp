#pragma once

#include <system_error>

namespace zentrabo::platform {

// The error category of the DNS-SD daemon's client library (its AVAHI_ERR_*
// numbers); its messages are the library's own texts.
const std::error_category& dnsServiceErrorCategory();

std::error_code makeDnsServiceError(int avahiErrorNumber);

}  // namespace zentrabo::platform
