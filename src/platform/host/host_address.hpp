#pragma once
// Where this computer is reached: its local network address, and whether a
// peer's address is this computer itself.
#include <asio/ip/tcp.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// One entry of the system's interface list.
struct NetworkInterfaceAddress {
    std::string name;
    unsigned int flags = 0;   // IFF_UP, IFF_LOOPBACK, ...
    int family = 0;           // the address's AF_* family; AF_UNSPEC when it has none
    std::string numericHost;  // the address in numeric form; empty when it has none
};

// The address other devices on the local network most likely reach this
// computer by, in dotted decimal form, or none.
std::optional<std::string> primaryLocalIPv4Address();

// primaryLocalIPv4Address(), looked up again at most once a second.
std::optional<std::string> recentPrimaryLocalIPv4Address();

// The choice behind primaryLocalIPv4Address() over a listed set of
// interfaces: up, not loopback, IPv4, not a tunnel or virtual interface;
// "en0" first, then other "en" names, then "bridge" names, then the rest,
// each group in the order listed.
std::optional<std::string> primaryLocalIPv4Address(std::span<const NetworkInterfaceAddress> interfaces);

// Whether a peer's host, as text (square brackets and letter case do not
// matter), is this computer's loopback: "127.0.0.1", "::1", "localhost" or
// "ip6-localhost". An IPv4-mapped IPv6 address counts as the IPv4 address
// it carries.
bool isLoopbackHost(std::string_view host);

// The same test for a connection's remote endpoint.
bool isLoopbackHost(const asio::ip::tcp::endpoint& endpoint);

}  // namespace zentrabo::platform
