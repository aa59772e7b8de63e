// The server's security audit log and its paired-device list: recording
// events, saving the list and revoking a device.
#include <algorithm>

#include "model/diagnostic_log.hpp"
#include "security/halvardine_security.hpp"
#include "server/halvardine_server.hpp"
#include "server/paired_device_store.hpp"

namespace zentrabo {

void HalvardineServer::recordSecurityEvent(std::string message, std::optional<std::string> action,
                                           std::optional<std::string_view> fingerprint) {
    auto event = makeSecurityAuditEvent(std::move(message), std::move(action), fingerprint, environment_.clock.now());
    const std::string line = securityAuditLogLine(event);
    auto events = *securityAuditEvents_;
    insertNewestFirst(events, std::move(event));
    securityAuditEvents_.set(std::move(events));
    ZENTRABO_LOG(line);
}

void HalvardineServer::saveAuthorizedClientDevices(platform::DefaultsWrite write) {
    zentrabo::saveAuthorizedClientDevices(*environment_.userDefaults, *pairedDevices_, write);
}

void HalvardineServer::revokePairedDevice(std::string_view fingerprint) {
    const auto normalized = HalvardineSecurity::normalizedFingerprint(fingerprint);
    if (!normalized) return;
    auto devices = *pairedDevices_;
    if (std::erase_if(devices, [&](const auto& device) { return device.certificateFingerprint == *normalized; }) == 0) {
        return;
    }
    pairedDevices_.set(std::move(devices));
    clearClientActivity(*normalized);
    // The stream itself runs on until it ends; only the mark goes.
    if (streamingClientCertificateFingerprints_->contains(*normalized)) {
        auto streaming = *streamingClientCertificateFingerprints_;
        streaming.erase(*normalized);
        streamingClientCertificateFingerprints_.set(std::move(streaming));
    }
    saveAuthorizedClientDevices(platform::DefaultsWrite::immediate);
    ZENTRABO_LOG("Revoked paired device " + *normalized);
}

}  // namespace zentrabo
