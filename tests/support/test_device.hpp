#pragma once
// A phone as the binary tests and the benchmarks drive it: a key and a
// self-signed certificate of its own, made by the project's security code and
// kept in memory, so nothing of it lands in the server's key store; and the
// pairing it goes through, the terminal's "pair" window and its "pair" request.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "model/records/halvardine_request.hpp"
#include "security/halvardine_security.hpp"
#include "support/request_client.hpp"
#include "support/device_request.hpp"
#include "support/server_process.hpp"

namespace zentrabo::testing {

class TestDevice {
public:
    static constexpr auto replyDeadline = std::chrono::seconds(20);

    TestDevice()
        : key_(platform::EcPrivateKey::generate()),
          certificate_(HalvardineSecurity::makeSelfSignedCertificate(key_, "Zentrabo Test Device")),
          fingerprint_(HalvardineSecurity::fingerprint(certificate_)) {}

    const std::string& fingerprint() const { return fingerprint_; }

    // The device's TLS settings in a role: as a client pinning the server's
    // fingerprint, or as the server of a test that needs one.
    std::shared_ptr<platform::TlsContext> tlsContext(platform::TlsRole role,
                                                     std::optional<std::string_view> pin = std::nullopt) const {
        return HalvardineSecurity::tlsParameters(role, TlsIdentity{key_, certificate_, fingerprint_}, pin);
    }

    // Sends the bytes as they are to the server on the port, accepting only
    // the server of the pinned fingerprint, and returns everything the server
    // sent once `complete` accepts it; none when the server closes or the
    // deadline passes first.
    std::optional<std::string> exchangeBytes(std::uint16_t port, std::string_view pin, std::string bytes,
                                             const std::function<bool(std::string_view)>& complete) const {
        RequestClient client(port, tlsContext(platform::TlsRole::client, pin), {std::move(bytes)});
        const auto end = std::chrono::steady_clock::now() + replyDeadline;
        while (std::chrono::steady_clock::now() < end) {
            // Asked before the bytes are read, so that bytes arriving with the
            // close are still seen.
            const bool finished = client.finished();
            std::string received = client.exchange().received();
            if (complete(received)) return received;
            if (finished) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::nullopt;
    }

    // As exchangeBytes, complete once a line feed has come.
    std::optional<std::string> exchangeLine(std::uint16_t port, std::string_view pin, std::string bytes) const {
        return exchangeBytes(port, pin, std::move(bytes),
                             [](std::string_view received) { return received.find('\n') != std::string_view::npos; });
    }

private:
    platform::EcPrivateKey key_;
    platform::Certificate certificate_;
    std::string fingerprint_;
};

// The value of one item of a link's query, as written (our links'
// fingerprints, nonces and ports need no decoding); none when absent.
inline std::optional<std::string> queryValue(std::string_view link, std::string_view name) {
    const auto query = link.find('?');
    if (query == std::string_view::npos) return std::nullopt;
    std::string_view rest = link.substr(query + 1);
    while (!rest.empty()) {
        const auto end = rest.find('&');
        const std::string_view item = rest.substr(0, end);
        if (item.size() > name.size() && item.substr(0, name.size()) == name && item[name.size()] == '=') {
            return std::string(item.substr(name.size() + 1));
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

// What "pair" on the terminal shows: the code, and the link a phone scans,
// which names the nonce, the port and the server's fingerprint.
struct PairingWindow {
    std::string code;
    std::string link;
};

// Opens a pairing window through the server's terminal; none when it does
// not show one in time.
inline std::optional<PairingWindow> openPairingWindow(ServerProcess& process, std::chrono::milliseconds deadline) {
    constexpr std::string_view codePrefix = "Pairing code: ";
    constexpr std::string_view linkPrefix = "Pairing link: ";
    if (!process.writeLine("pair")) return std::nullopt;
    const auto code = process.readLineStartingWith(codePrefix, deadline);
    const auto link = process.readLineStartingWith(linkPrefix, deadline);
    if (!code || !link) return std::nullopt;
    return PairingWindow{code->substr(codePrefix.size()), link->substr(linkPrefix.size())};
}

// The "pair" request a phone sends after scanning the link.
inline HalvardineRequest pairingRequest(const PairingWindow& window, std::string id) {
    auto pairing = deviceRequest(std::move(id), "pair");
    pairing.pairingCode = window.code;
    pairing.pairingNonce = queryValue(window.link, "nonce");
    pairing.clientName = "Test Phone";
    return pairing;
}

}  // namespace zentrabo::testing
