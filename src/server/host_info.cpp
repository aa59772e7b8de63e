#include "server/host_info.hpp"

#include "platform/text/trim.hpp"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>

namespace zentrabo {
namespace {

// Both name files hold a few short lines; what lies past this is ignored.
constexpr std::size_t maximumNameFileBytes = 4096;

std::string readNameFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::string contents(maximumNameFileBytes, '\0');
    file.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    return contents;
}

std::string kernelHostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

// Calls `visit` with each line of `contents`, without its line feed.
template <typename Visit>
void forEachLine(std::string_view contents, Visit visit) {
    while (!contents.empty()) {
        const std::size_t end = contents.find('\n');
        visit(contents.substr(0, end));
        contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
    }
}

// A value as the shell would read it: '…' literal, "…" with \ escaping
// \ " $ and `, bare text with \ escaping any character.
std::string unquoteShellValue(std::string_view text) {
    std::string value;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote == '\'') {
            if (c == '\'') {
                quote = 0;
            } else {
                value += c;
            }
        } else if (c == '\\' && i + 1 < text.size() &&
                   (quote == 0 || std::string_view("\\\"$`").find(text[i + 1]) != std::string_view::npos)) {
            value += text[++i];
        } else if (quote == '"' && c == '"') {
            quote = 0;
        } else if (quote == 0 && (c == '"' || c == '\'')) {
            quote = c;
        } else if (quote == 0 && (c == ' ' || c == '\t' || c == '\r')) {
            break;  // an unquoted blank ends the value
        } else {
            value += c;
        }
    }
    return value;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Tunnels, VPNs and virtual machines' interfaces: no one on the local network
// reaches this computer through them.
constexpr std::array<std::string_view, 11> ignoredInterfacePrefixes{"lo",  "awdl", "llw", "utun",  "ipsec", "ppp",
                                                                    "tap", "tun",  "wg",  "vmnet", "vnic"};

int interfaceRank(std::string_view name) {
    if (name == "en0") {
        return 0;
    }
    if (startsWith(name, "en")) {
        return 1;
    }
    if (startsWith(name, "bridge")) {
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

std::string macName() {
    const std::array<std::string, 3> candidates{prettyHostNameFromMachineInfo(readNameFile("/etc/machine-info")),
                                                hostNameFromHostnameFile(readNameFile("/etc/hostname")),
                                                kernelHostName()};
    return chooseMacName(candidates);
}

std::string chooseMacName(std::span<const std::string> candidates) {
    for (const std::string& candidate : candidates) {
        std::string trimmed = platform::trimWhitespaceAndNewlines(candidate);
        if (!trimmed.empty()) {
            return trimmed;
        }
    }
    return "Mac";
}

std::string prettyHostNameFromMachineInfo(std::string_view contents) {
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    std::string value;
    // As in the shell, a later assignment wins.
    forEachLine(contents, [&](std::string_view line) {
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        if (startsWith(line, key)) {
            value = unquoteShellValue(line.substr(key.size()));
        }
    });
    return value;
}

std::string hostNameFromHostnameFile(std::string_view contents) {
    std::string name;
    forEachLine(contents, [&](std::string_view line) {
        if (!name.empty()) {
            return;
        }
        std::string trimmed = platform::trimWhitespaceAndNewlines(line);
        if (!trimmed.empty() && trimmed.front() != '#') {
            name = std::move(trimmed);
        }
    });
    return name;
}

std::optional<std::string> primaryLocalIPv4Address() { return primaryLocalIPv4Address(listInterfaceAddresses()); }

std::optional<std::string> primaryLocalIPv4Address(std::span<const NetworkInterfaceAddress> interfaces) {
    const NetworkInterfaceAddress* best = nullptr;
    for (const NetworkInterfaceAddress& interface : interfaces) {
        const bool usable = (interface.flags & IFF_UP) != 0 && (interface.flags & IFF_LOOPBACK) == 0 &&
                            interface.family == AF_INET && !interface.numericHost.empty() &&
                            std::none_of(ignoredInterfacePrefixes.begin(), ignoredInterfacePrefixes.end(),
                                         [&](std::string_view prefix) { return startsWith(interface.name, prefix); });
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

}  // namespace zentrabo
