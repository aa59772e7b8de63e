#pragma once
// The listener's DNS-SD advertisement: its service type, name and TXT
// record. Clients on the same network find the server by it; without it
// they still reach it by address, so a failure only goes to the log.
#include <cstdint>
#include <memory>

#include <asio/any_io_executor.hpp>

#include "platform/net/dnssd_advertiser.hpp"
#include "server/connection/listener_status.hpp"

namespace zentrabo {

// On the main loop.
class ServiceAdvertisement {
public:
    // The listener status names the service and the certificate; it must
    // outlive the advertisement.
    ServiceAdvertisement(asio::any_io_executor mainLoop, const ListenerStatus& listener)
        : mainLoop_(std::move(mainLoop)), listener_(listener) {}

    // Advertises the listener on the port, replacing any advertisement;
    // nothing without a server certificate.
    void advertise(std::uint16_t port);
    // Withdraws the advertisement.
    void stop() { advertiser_.reset(); }

private:
    asio::any_io_executor mainLoop_;
    const ListenerStatus& listener_;
    std::unique_ptr<platform::DnsServiceAdvertiser> advertiser_;
};

}  // namespace zentrabo
