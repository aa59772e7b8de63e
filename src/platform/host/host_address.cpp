#include "platform/host/host_address.hpp"

#include "platform/host/recent_value.hpp"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace zentrabo::platform {
namespace {

// Tunnels, VPNs and virtual machines' interfaces: no one on the local network
// reaches this computer through them.
constexpr std::array<std::string_view, 11> ignoredInterfacePrefixes{"lo",  "awdl", "llw", "utun",  "ipsec", "ppp",
                                                                    "tap", "tun",  "wg",  "vmnet", "vnic"};

int interfaceRank(std::string_view name) {
    if (name == "en0") {
        return 0;
    }
    if (name.starts_with("en")) {
        return 1;
    }
    if (name.starts_with("bridge")) {
        return 2;
    }
    return 3;
}

std::vector<NetworkInterfaceAddress> listInterfaceAddresses() {
    std::vector<NetworkInterfaceAddress> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return interfaces;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        NetworkInterfaceAddress interface {
            entry->ifa_name != nullptr ? entry->ifa_name : "", entry->ifa_flags, AF_UNSPEC, {}
        };
        if (entry->ifa_addr != nullptr) {
            interface.family = entry->ifa_addr->sa_family;
        }
        // Only IPv4 addresses are ever chosen, so only they are converted.
        if (interface.family == AF_INET) {
            std::array<char, NI_MAXHOST> host{};
            if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), host.data(), host.size(), nullptr, 0,
                            NI_NUMERICHOST) == 0) {
                interface.numericHost = host.data();
            }
        }
        interfaces.push_back(std::move(interface));
    }
    freeifaddrs(list);
    return interfaces;
}

}  // namespace

std::optional<std::string> primaryLocalIPv4Address() { return primaryLocalIPv4Address(listInterfaceAddresses()); }

std::optional<std::string> recentPrimaryLocalIPv4Address() {
    static RecentValue<std::optional<std::string>> address([] { return primaryLocalIPv4Address(); },
                                                           recentHostFactsAge);
    return address.get();
}

std::optional<std::string> primaryLocalIPv4Address(std::span<const NetworkInterfaceAddress> interfaces) {
    const NetworkInterfaceAddress* best = nullptr;
    for (const NetworkInterfaceAddress& interface : interfaces) {
        const bool usable = (interface.flags & IFF_UP) != 0 && (interface.flags & IFF_LOOPBACK) == 0 &&
                            interface.family == AF_INET && !interface.numericHost.empty() &&
                            std::none_of(ignoredInterfacePrefixes.begin(), ignoredInterfacePrefixes.end(),
                                         [&](std::string_view prefix) { return interface.name.starts_with(prefix); });
        // Strictly better only: of equal ranks the first listed stays.
        if (usable && (best == nullptr || interfaceRank(interface.name) < interfaceRank(best->name))) {
            best = &interface;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return best->numericHost;
}

bool isLoopbackHost(std::string_view host) {
    while (!host.empty() && (host.front() == '[' || host.front() == ']')) {
        host.remove_prefix(1);
    }
    while (!host.empty() && (host.back() == '[' || host.back() == ']')) {
        host.remove_suffix(1);
    }
    std::string text(host);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

    // An address is compared in its canonical text, so that a dual-stack
    // listener's "::ffff:127.0.0.1" is the IPv4 loopback it carries.
    std::error_code error;
    const asio::ip::address address = asio::ip::make_address(text, error);
    if (!error) {
        if (address.is_v6() && address.to_v6().is_v4_mapped()) {
            text = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
        } else {
            text = address.to_string();
        }
    }
    return text == "127.0.0.1" || text == "::1" || text == "localhost" || text == "ip6-localhost";
}

bool isLoopbackHost(const asio::ip::tcp::endpoint& endpoint) { return isLoopbackHost(endpoint.address().to_string()); }

}  // namespace zentrabo::platform
