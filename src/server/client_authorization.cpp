// Client authorization by certificate fingerprint, the shared failure
// limiter, and the recent-activity marks of authorized clients.
#include <algorithm>

#include "security/halvardine_security.hpp"
#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view missingClientCertificateKey = "missing-client-certificate";

}  // namespace

std::optional<std::string> HalvardineServer::authorizeClient(const std::optional<std::string>& fingerprint,
                                                             HalvardineExtraAuthorizationChannel channel) {
    const platform::Date now = environment_.clock.now();
    const auto normalized = fingerprint ? HalvardineSecurity::normalizedFingerprint(*fingerprint) : std::nullopt;
    const std::string key = normalized.value_or(std::string(missingClientCertificateKey));

    if (isSecurityFailureBlocked(key, now)) {
        recordSecurityEvent("Blocked request after repeated authorization failures.", std::nullopt, normalized);
        return std::nullopt;
    }
    if (!normalized) {
        const std::size_t count = recordSecurityFailure(key, now);
        recordSecurityEvent(
            SecurityFailureLimiter::withBlockNotice("Rejected request without a client certificate.", count),
            std::nullopt, std::nullopt);
        return std::nullopt;
    }
    auto devices = *pairedDevices_;
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const auto& each) { return each.certificateFingerprint == *normalized; });
    if (device == devices.end()) {
        const std::size_t count = recordSecurityFailure(key, now);
        recordSecurityEvent(
            SecurityFailureLimiter::withBlockNotice(
                "Rejected request from unpaired client " + displayFingerprint(*normalized) + ".", count),
            std::nullopt, normalized);
        return std::nullopt;
    }
    // A success forgives this certificate's earlier failures.
    securityFailures_.forget(key);
    device->lastSeenAt = environment_.clock.now();
    device->lastConnectionChannel = channel;
    pairedDevices_.set(std::move(devices));
    // Every authorized request updates the stored list; batched, so a busy
    // client never costs a disk flush per request.
    saveAuthorizedClientDevices(platform::DefaultsWrite::coalescible);
    markClientActivity(*normalized, channel);
    return normalized;
}

bool HalvardineServer::isSecurityFailureBlocked(std::string_view key, platform::Date now) {
    return securityFailures_.isBlocked(key, now);
}

std::size_t HalvardineServer::recordSecurityFailure(std::string_view key, platform::Date now) {
    return securityFailures_.recordFailure(key, now);
}

void HalvardineServer::forgetSecurityFailures(std::string_view key) { securityFailures_.forget(key); }

void HalvardineServer::markClientActivity(const std::string& fingerprint,
                                          std::optional<HalvardineExtraAuthorizationChannel> channel) {
    clientActivity_.mark(fingerprint, channel);
}

void HalvardineServer::clearClientActivity(const std::string& fingerprint) { clientActivity_.clear(fingerprint); }

void HalvardineServer::publishClientActivity() {
    activeClientCertificateFingerprints_.set(clientActivity_.activeFingerprints());
    activeClientConnectionChannels_.set(clientActivity_.channels());
    hasRecentAuthorizedClientActivity_.set(!clientActivity_.activeFingerprints().empty());
}

}  // namespace zentrabo
