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
// it runs. It never throws and never waits for the daemon: every outcome
// reaches the handler on the executor, later than the call that caused it.
// Use it from its executor only (one thread, or a strand).
class DnsServiceAdvertiser : public DnsServiceHandle {
public:
    // Called with no error and the name the service is known by once it is
    // registered (again after the daemon renamed it to resolve a conflict), or
    // with an error, after which the advertisement has stopped.
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

    void startAttempt(const DnsServiceAdvertisement& advertisement, int attempt, std::shared_ptr<Handler> handler);
};

}  // namespace zentrabo::platform
