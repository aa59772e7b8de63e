#pragma once

#include <asio/ip/tcp.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo {

// The computer's user-visible name, read afresh from the system on each call:
// the pretty host name (PRETTY_HOSTNAME in /etc/machine-info), else the static
// host name (/etc/hostname), else the kernel's host name; never empty.
std::string macName();

// The first of `candidates` that is not blank, trimmed of white space and line
// breaks; "Mac" when every one is blank.
std::string chooseMacName(std::span<const std::string> candidates);

// The value of PRETTY_HOSTNAME in the contents of /etc/machine-info, with the
// shell quoting that file uses removed; empty when it is not set.
std::string prettyHostNameFromMachineInfo(std::string_view contents);

// The host name in the contents of /etc/hostname: its first line that is
// neither blank nor a comment.
std::string hostNameFromHostnameFile(std::string_view contents);

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

}  // namespace zentrabo
