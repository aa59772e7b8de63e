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
    std::int32_t interfaceIndex = -1;  // -1: any
    std::int32_t protocol = -1;        // the address family it was seen on; -1: any
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
    // with an error. When the daemon is missing or goes away, the error says
    // so and browsing resumes once it is back (the instances it finds then
    // are reported as appearing); any other error ends the browse.
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
