#include "platform/host/host_address.hpp"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>

#include <vector>

namespace zentrabo::platform {
namespace {

NetworkInterfaceAddress up(std::string name, std::string address) {
    return {std::move(name), IFF_UP | IFF_RUNNING | IFF_MULTICAST, AF_INET, std::move(address)};
}

TEST(PrimaryLocalIPv4Address, RanksEn0ThenEnThenBridgeThenOthers) {
    // Wi-Fi on en0 and a wired adapter on en5: en0, wherever it is listed.
    EXPECT_EQ(primaryLocalIPv4Address(std::vector{up("en5", "192.168.1.5"), up("en0", "192.168.1.2")}), "192.168.1.2");
    // Only bridge100 and en7: en7.
    EXPECT_EQ(primaryLocalIPv4Address(std::vector{up("bridge100", "192.168.2.1"), up("en7", "10.0.0.7")}), "10.0.0.7");
    // Two "en" names, neither en0: the system's order. Linux's enp3s0 is one.
    EXPECT_EQ(
        primaryLocalIPv4Address(std::vector{up("eth0", "10.0.0.1"), up("enp3s0", "10.0.0.3"), up("en1", "10.0.0.4")}),
        "10.0.0.3");
    // eth0 and wlan0 are "others": listed order, after bridges.
    EXPECT_EQ(primaryLocalIPv4Address(std::vector{up("wlan0", "10.0.1.1"), up("eth0", "10.0.1.2")}), "10.0.1.1");
    EXPECT_EQ(primaryLocalIPv4Address(std::vector{up("eth0", "10.0.1.2"), up("bridge0", "10.0.1.3")}), "10.0.1.3");
}

TEST(PrimaryLocalIPv4Address, SkipsTunnelsLoopbackDownIPv6AndUnconvertedEntries) {
    // Only on a tunnel interface: none.
    EXPECT_EQ(primaryLocalIPv4Address(std::vector{up("utun3", "10.8.0.2")}), std::nullopt);
    for (const char* name :
         {"lo0", "awdl0", "llw0", "utun0", "ipsec0", "ppp0", "tap0", "tun0", "wg0", "vmnet8", "vnic0"}) {
        EXPECT_EQ(primaryLocalIPv4Address(std::vector{up(name, "10.1.1.1")}), std::nullopt) << name;
    }
    NetworkInterfaceAddress loopback = up("en2", "127.0.0.1");
    loopback.flags |= IFF_LOOPBACK;
    NetworkInterfaceAddress down = up("en0", "192.168.1.2");
    down.flags &= ~static_cast<unsigned int>(IFF_UP);
    NetworkInterfaceAddress ipv6Only{"en0", IFF_UP, AF_INET6, "fe80::1"};
    NetworkInterfaceAddress noAddress{"en0", IFF_UP, AF_UNSPEC, ""};
    NetworkInterfaceAddress unconverted{"en0", IFF_UP, AF_INET, ""};
    EXPECT_EQ(
        primaryLocalIPv4Address(std::vector{loopback, down, ipv6Only, noAddress, unconverted, up("eth1", "10.2.2.2")}),
        "10.2.2.2");
    EXPECT_EQ(primaryLocalIPv4Address(std::vector<NetworkInterfaceAddress>{}), std::nullopt);
}

TEST(IsLoopbackHost, LoopbackNamesAndAddressesInAnySpelling) {
    for (const char* host : {"127.0.0.1", "::1", "[::1]", "localhost", "LOCALHOST", "ip6-localhost", "::ffff:127.0.0.1",
                             "[::FFFF:127.0.0.1]", "0:0:0:0:0:0:0:1"}) {
        EXPECT_TRUE(isLoopbackHost(host)) << host;
    }
    for (const char* host : {"127.0.0.2", "::ffff:127.0.0.2", "192.168.1.20", "::ffff:192.168.1.20", "fe80::1", "",
                             "local", "localhost.example", "[]"}) {
        EXPECT_FALSE(isLoopbackHost(host)) << host;
    }
}

TEST(IsLoopbackHost, ConnectionEndpoints) {
    using asio::ip::make_address;
    using asio::ip::tcp;
    EXPECT_TRUE(isLoopbackHost(tcp::endpoint(make_address("127.0.0.1"), 50000)));
    EXPECT_TRUE(isLoopbackHost(tcp::endpoint(make_address("::1"), 50000)));
    EXPECT_TRUE(isLoopbackHost(tcp::endpoint(make_address("::ffff:127.0.0.1"), 50000)));
    EXPECT_FALSE(isLoopbackHost(tcp::endpoint(make_address("192.168.1.20"), 50000)));
}

}  // namespace
}  // namespace zentrabo::platform
