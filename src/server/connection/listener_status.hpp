#pragma once
// What the listener shows the user and tells a device: whether it listens,
// on which port, under which service name and with which certificate. The
// request road writes it; pairing links, relay configurations and every reply
// read it.
#include <cstdint>
#include <optional>
#include <string>

#include "server/published.hpp"

namespace zentrabo {

class ListenerStatus {
public:
    // Named after this computer, not yet listening.
    ListenerStatus();
    ListenerStatus(const ListenerStatus&) = delete;
    ListenerStatus& operator=(const ListenerStatus&) = delete;

    const Published<bool>& isRunning() const { return isRunning_; }
    const Published<std::string>& serviceName() const { return serviceName_; }
    const Published<std::optional<std::uint16_t>>& port() const { return port_; }
    const Published<std::optional<std::string>>& serverCertificateFingerprint() const {
        return serverCertificateFingerprint_;
    }

    // The listener's status, assigned on every report of the listener.
    void setListenerStatus(bool isRunning, std::optional<std::uint16_t> port);
    // The computer's name followed by " Zentrabo", read again: a computer
    // renamed since the last start is announced under its new name.
    void refreshServiceName();
    void setServerCertificateFingerprint(std::string fingerprint);

private:
    Published<bool> isRunning_{false};
    Published<std::string> serviceName_;
    Published<std::optional<std::uint16_t>> port_;
    Published<std::optional<std::string>> serverCertificateFingerprint_;
};

}  // namespace zentrabo
