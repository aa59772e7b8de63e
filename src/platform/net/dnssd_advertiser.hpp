#pragma once

#include "platform/net/dnssd_handle.hpp"
#include "platform/net/dnssd_txt.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace zentrabo::platform {

// What a DNS-SD advertisement announces, in the default domain on every
// interface.
struct DnsServiceAdvertisement {
    std::string name;  // empty: the daemon's host name
    std::string type;  // for example "_http._tcp"
    std::uint16_t port = 0;
    DnsServiceTxt txt;
};

// Advertises one service through the system's DNS-SD daemon for as long as
// it runs, also across restarts of the daemon. It never throws and never
// waits for the daemon: every outcome reaches the handler on the executor,
// later than the call that caused it. Use it from its executor only (one
// thread, or a strand).
class DnsServiceAdvertiser : public DnsServiceHandle {
public:
    // Called with no error and the name the service is known by each time it
    // is registered (again after the daemon restarted, or under another name
    // after a conflict), or with an error when it is not (yet) advertised: a
    // daemon that is missing or went away, after which the advertiser waits
    // for it and reports again once registered. An advertisement the daemon
    // refuses (an invalid TXT record, every name taken) ends with its error.
    using Handler = std::function<void(std::error_code error, const std::string& registeredName)>;

    using DnsServiceHandle::DnsServiceHandle;

    // Replaces any advertisement that is running; stop() withdraws it. A name
    // longer than a DNS label (63 bytes) is shortened at a character boundary,
    // since the daemon would refuse it whole. A name that another service
    // holds gives way to "Name (2)", "Name (3)" and so on; the handler learns
    // the name that was registered.
    void start(const DnsServiceAdvertisement& advertisement, Handler handler);

private:
    class Registration;
};

}  // namespace zentrabo::platform
