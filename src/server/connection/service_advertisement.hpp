#pragma once
// The listener's DNS-SD advertisement: its service type, name and TXT
// record. Clients on the same network find the server by it; without it
// they still reach it by address, so a failure never stops the listener. It
// shows in the listener status: registering, advertised (under the name
// the daemon registered, which the status then publishes) or failed, and
// the advertiser keeps trying after a failure.
#include <cstdint>
#include <memory>

#include <asio/any_io_executor.hpp>

#include "platform/net/dnssd_advertiser.hpp"
#include "server/connection/listener_status.hpp"

namespace zentrabo {

// On the main loop.
class ServiceAdvertisement {
public:
    // The listener status names the service and the certificate, and is
    // told how the advertisement goes; it must outlive the advertisement.
    ServiceAdvertisement(asio::any_io_executor mainLoop, ListenerStatus& listener)
        : mainLoop_(std::move(mainLoop)), listener_(listener) {}

    // Advertises the listener on the port, replacing any advertisement;
    // nothing without a server certificate.
    void advertise(std::uint16_t port);
    // Withdraws the advertisement.
    void stop();

private:
    asio::any_io_executor mainLoop_;
    ListenerStatus& listener_;
    std::unique_ptr<platform::DnsServiceAdvertiser> advertiser_;
};

}  // namespace zentrabo
