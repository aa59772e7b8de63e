#include "platform/net/dnssd_error.hpp"

#include <dns_sd.h>

#include <string>

namespace zentrabo::platform {
namespace {

class DnsServiceErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "dnssd"; }

    std::string message(int value) const override {
        switch (value) {
        case kDNSServiceErr_NoError:
            return "no error";
        case kDNSServiceErr_Unknown:
            return "DNS-SD daemon unreachable or unknown failure";
        case kDNSServiceErr_NoSuchName:
            return "no such name";
        case kDNSServiceErr_NoMemory:
            return "out of memory";
        case kDNSServiceErr_BadParam:
            return "invalid parameter";
        case kDNSServiceErr_BadReference:
            return "invalid reference";
        case kDNSServiceErr_BadState:
            return "invalid state";
        case kDNSServiceErr_BadFlags:
            return "invalid flags";
        case kDNSServiceErr_Unsupported:
            return "unsupported operation";
        case kDNSServiceErr_NotInitialized:
            return "not initialized";
        case kDNSServiceErr_AlreadyRegistered:
            return "already registered";
        case kDNSServiceErr_NameConflict:
            return "name conflict";
        case kDNSServiceErr_Invalid:
            return "invalid value";
        case kDNSServiceErr_Firewall:
            return "blocked by a firewall";
        case kDNSServiceErr_Incompatible:
            return "client library incompatible with the daemon";
        case kDNSServiceErr_BadInterfaceIndex:
            return "invalid interface index";
        case kDNSServiceErr_Refused:
            return "refused";
        case kDNSServiceErr_NoSuchRecord:
            return "no such record";
        case kDNSServiceErr_NoAuth:
            return "not authorized";
        case kDNSServiceErr_NoSuchKey:
            return "no such key";
        case kDNSServiceErr_NATTraversal:
            return "NAT traversal failed";
        case kDNSServiceErr_DoubleNAT:
            return "double NAT";
        case kDNSServiceErr_BadTime:
            return "invalid time";
        default:
            return "DNS-SD error " + std::to_string(value);
        }
    }
};

}  // namespace

const std::error_category& dnsServiceErrorCategory() {
    static const DnsServiceErrorCategory category;
    return category;
}

std::error_code makeDnsServiceError(std::int32_t dnsServiceErrorNumber) {
    return {static_cast<int>(dnsServiceErrorNumber), dnsServiceErrorCategory()};
}

}  // namespace zentrabo::platform
