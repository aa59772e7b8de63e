#include "server/connection/listener_status.hpp"

#include <utility>

#include "server/mac_name.hpp"

namespace zentrabo {

ListenerStatus::ListenerStatus() { refreshServiceName(); }

void ListenerStatus::setListenerStatus(bool isRunning, std::optional<std::uint16_t> port) {
    if (*notListeningReason_) notListeningReason_.set(std::nullopt);
    isRunning_.set(isRunning);
    port_.set(port);
}

void ListenerStatus::setListenerFailed(std::string reason) {
    notListeningReason_.set(std::move(reason));
    isRunning_.set(false);
    port_.set(std::nullopt);
}

void ListenerStatus::refreshServiceName() { serviceName_.set(macName() + " Zentrabo"); }

void ListenerStatus::setRegisteredServiceName(std::string name) {
    if (*serviceName_ != name) serviceName_.set(std::move(name));
}

void ListenerStatus::setServerCertificateFingerprint(std::string fingerprint) {
    serverCertificateFingerprint_.set(std::move(fingerprint));
}

void ListenerStatus::setAdvertisement(ServiceAdvertisementState state) {
    if (*advertisement_ != state) advertisement_.set(std::move(state));
}

}  // namespace zentrabo
