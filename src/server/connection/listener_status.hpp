#pragma once
// What the listener shows the user and tells a device: whether it listens,
// on which port (or why not), under which service name and with which
// certificate, and whether devices can find it by DNS-SD. The request road
// writes it; pairing links, relay configurations, every reply and the
// terminal read it.
#include <cstdint>
#include <optional>
#include <string>

#include "server/published.hpp"

namespace zentrabo {

// The DNS-SD advertisement as the user sees it.
struct ServiceAdvertisementState {
    enum class Phase {
        // Nothing is advertised: the server does not listen, or does not advertise.
        off,
        // Registering, not yet confirmed by the daemon.
        registering,
        advertised,
        // Failed or lost; the advertiser keeps trying and reports when it recovers.
        failed,
    };
    Phase phase = Phase::off;
    // Why it failed, for `failed`.
    std::string failure;

    bool operator==(const ServiceAdvertisementState&) const = default;
};

class ListenerStatus {
public:
    // Named after this computer, not yet listening.
    ListenerStatus();
    ListenerStatus(const ListenerStatus&) = delete;
    ListenerStatus& operator=(const ListenerStatus&) = delete;

    const Published<bool>& isRunning() const { return isRunning_; }
    // Why the server does not listen, after the listener failed (or could
    // not be made); none while it listens or once it stopped on purpose.
    const Published<std::optional<std::string>>& notListeningReason() const { return notListeningReason_; }
    const Published<std::string>& serviceName() const { return serviceName_; }
    const Published<std::optional<std::uint16_t>>& port() const { return port_; }
    const Published<std::optional<std::string>>& serverCertificateFingerprint() const {
        return serverCertificateFingerprint_;
    }
    const Published<ServiceAdvertisementState>& advertisement() const { return advertisement_; }

    // The listener's status, assigned on every report of the listener.
    void setListenerStatus(bool isRunning, std::optional<std::uint16_t> port);
    // Not listening, and why.
    void setListenerFailed(std::string reason);
    // The computer's name followed by " Zentrabo", read again: a computer
    // renamed since the last start is announced under its new name.
    void refreshServiceName();
    // The name the DNS-SD daemon registered, which differs from the computer's
    // when another service held that one ("Name (2)").
    void setRegisteredServiceName(std::string name);
    void setServerCertificateFingerprint(std::string fingerprint);
    // Assigned only when it changes, so observers see each change once.
    void setAdvertisement(ServiceAdvertisementState state);

private:
    Published<bool> isRunning_{false};
    Published<std::optional<std::string>> notListeningReason_;
    Published<std::string> serviceName_;
    Published<std::optional<std::uint16_t>> port_;
    Published<std::optional<std::string>> serverCertificateFingerprint_;
    Published<ServiceAdvertisementState> advertisement_;
};

}  // namespace zentrabo
