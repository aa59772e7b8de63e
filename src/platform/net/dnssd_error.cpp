#include "platform/net/dnssd_error.hpp"

#include <avahi-common/error.h>

#include <string>

namespace zentrabo::platform {
namespace {

class DnsServiceErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "dnssd"; }

    std::string message(int value) const override { return avahi_strerror(value); }
};

}  // namespace

const std::error_category& dnsServiceErrorCategory() {
    static const DnsServiceErrorCategory category;
    return category;
}

std::error_code makeDnsServiceError(int avahiErrorNumber) { return {avahiErrorNumber, dnsServiceErrorCategory()}; }

}  // namespace zentrabo::platform
