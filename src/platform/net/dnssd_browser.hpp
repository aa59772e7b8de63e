#pragma once

#include "platform/net/dnssd_handle.hpp"
#include "platform/net/dnssd_txt.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace zentrabo::platform {

// One advertised service instance as a browse reports it.
struct DnsServiceInstance {
    std::string name;
    std::string type;
    std::string domain;
    std::uint32_t interfaceIndex = 0;
};

// Where an instance can be reached and what its TXT record says.
struct ResolvedDnsService {
    std::string fullName;
    std::string hostTarget;
    std::uint16_t port = 0;
    DnsServiceTxt txt;
};

// Browses the default domain for the instances of one service type. Same
// rules as DnsServiceAdvertiser: no throws, no waits, every outcome reaches
// the handler later on the executor, used from its executor only.
class DnsServiceBrowser : public DnsServiceHandle {
public:
    // Called for each instance that appears (`added` true) or goes away, or
    // with an error, after which browsing has stopped.
    using Handler = std::function<void(std::error_code error, const DnsServiceInstance& instance, bool added)>;

    using DnsServiceHandle::DnsServiceHandle;

    void start(const std::string& type, Handler handler);

private:
    class Browse;
};

// Resolves one browsed instance to its host, port and TXT record, under the
// same rules.
class DnsServiceResolver : public DnsServiceHandle {
public:
    // Called with each answer, or with an error, after which resolving has
    // stopped.
    using Handler = std::function<void(std::error_code error, const ResolvedDnsService& service)>;

    using DnsServiceHandle::DnsServiceHandle;

    void start(const DnsServiceInstance& instance, Handler handler);

private:
    class Resolve;
};

}  // namespace zentrabo::platform
