#include "server/connection/listener_status.hpp"

#include <utility>

#include "server/mac_name.hpp"

namespace zentrabo {

ListenerStatus::ListenerStatus() { refreshServiceName(); }

void ListenerStatus::setListenerStatus(bool isRunning, std::optional<std::uint16_t> port) {
    isRunning_.set(isRunning);
    port_.set(port);
}

void ListenerStatus::refreshServiceName() { serviceName_.set(macName() + " Zentrabo"); }

void ListenerStatus::setServerCertificateFingerprint(std::string fingerprint) {
    serverCertificateFingerprint_.set(std::move(fingerprint));
}

}  // namespace zentrabo
