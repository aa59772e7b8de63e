// Client authorization by certificate fingerprint, the paired-device list it
// checks against, and the recent-activity marks of authorized clients.
#include "server/authorization/client_authorizer.hpp"

#include <algorithm>
#include <utility>

#include "model/diagnostic_log.hpp"
#include "platform/store/store_failure.hpp"
#include "security/halvardine_security.hpp"
#include "server/authorization/paired_device_store.hpp"

namespace zentrabo {
namespace {

constexpr std::string_view missingClientCertificateKey = "missing-client-certificate";

}  // namespace

ClientAuthorizer::ClientAuthorizer(platform::Clock& clock, asio::any_io_executor mainLoop,
                                   platform::UserDefaults& defaults, ScreenStreams& streams)
    : clock_(clock),
      defaults_(defaults),
      streams_(streams),
      pairedDevices_(loadAuthorizedClientDevices(defaults, clock.now())),
      auditLog_(clock),
      clientActivity_(clock, std::move(mainLoop), [this] { publishClientActivity(); }) {}

std::optional<std::string> ClientAuthorizer::authorizeClient(const std::optional<std::string>& fingerprint,
                                                             HalvardineExtraAuthorizationChannel channel) {
    const platform::Date now = clock_.now();
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
    const auto& devices = *pairedDevices_;
    if (std::none_of(devices.begin(), devices.end(),
                     [&](const auto& each) { return each.certificateFingerprint == *normalized; })) {
        const std::size_t count = recordSecurityFailure(key, now);
        recordSecurityEvent(
            SecurityFailureLimiter::withBlockNotice(
                "Rejected request from unpaired client " + displayFingerprint(*normalized) + ".", count),
            std::nullopt, normalized);
        return std::nullopt;
    }
    // A success forgives this certificate's earlier failures.
    forgetSecurityFailures(key);
    settled_.add(*normalized);
    const AuthorizedUse use{*normalized, channel};
    recordAuthorizedUses({&use, 1});
    return normalized;
}

std::optional<std::string> ClientAuthorizer::settledFingerprint(const std::optional<std::string>& fingerprint) const {
    auto normalized = fingerprint ? HalvardineSecurity::normalizedFingerprint(*fingerprint) : std::nullopt;
    if (!normalized || !settled_.contains(*normalized)) return std::nullopt;
    return normalized;
}

void ClientAuthorizer::recordAuthorizedUses(std::span<const AuthorizedUse> uses) {
    auto devices = *pairedDevices_;
    const platform::Date now = clock_.now();
    std::vector<const AuthorizedUse*> recorded;
    for (const auto& use : uses) {
        const auto device = std::find_if(devices.begin(), devices.end(), [&](const auto& each) {
            return each.certificateFingerprint == use.fingerprint;
        });
        if (device == devices.end()) continue;
        device->lastSeenAt = now;
        device->lastConnectionChannel = use.channel;
        recorded.push_back(&use);
    }
    if (recorded.empty()) return;
    // Every authorized request updates the stored list; batched, so a busy
    // client never costs a disk flush per request.
    (void)saveAuthorizedClientDevices(devices, platform::DefaultsWrite::coalescible);
    pairedDevices_.set(std::move(devices));
    for (const AuthorizedUse* use : recorded) markClientActivity(use->fingerprint, use->channel);
}

std::optional<std::string> ClientAuthorizer::completePairing(std::string_view fingerprint,
                                                             const std::optional<std::string>& clientName,
                                                             HalvardineExtraAuthorizationChannel channel) {
    const auto normalized = HalvardineSecurity::normalizedFingerprint(fingerprint);
    if (!normalized) return std::nullopt;
    const platform::Date now = clock_.now();
    std::string name = deviceDisplayName(clientName);
    auto devices = *pairedDevices_;
    const auto known = std::find_if(devices.begin(), devices.end(),
                                    [&](const auto& device) { return device.certificateFingerprint == *normalized; });
    AuthorizedClientDevice paired;
    if (known != devices.end()) {
        // Re-pairing a known certificate renames it and keeps its pairing date.
        known->displayName = std::move(name);
        known->lastSeenAt = now;
        known->lastConnectionChannel = channel;
        paired = *known;
    } else {
        paired = {std::move(name), *normalized, now, now, channel};
        devices.push_back(paired);
    }
    sortInDeviceOrder(devices);
    // Saved before it is trusted: a device told it is paired must still be
    // after the next start.
    if (const std::error_code error = saveAuthorizedClientDevices(devices, platform::DefaultsWrite::immediate)) {
        std::string reason = platform::storeFailureReason(error);
        ZENTRABO_LOG("Pairing not saved: " + reason);
        lastPairingNotSaved_.set(reason);
        return reason;
    }
    pairedDevices_.set(std::move(devices));
    lastPairedDevice_.set(std::move(paired));
    return std::nullopt;
}

std::optional<std::string> ClientAuthorizer::revokePairedDevice(std::string_view fingerprint) {
    const auto normalized = HalvardineSecurity::normalizedFingerprint(fingerprint);
    if (!normalized) return std::nullopt;
    auto devices = *pairedDevices_;
    if (std::erase_if(devices, [&](const auto& device) { return device.certificateFingerprint == *normalized; }) == 0) {
        return std::nullopt;
    }
    // Revoked here even when that cannot be saved: trusting a device the
    // user has just revoked would be the worse failure.
    const std::error_code error = saveAuthorizedClientDevices(devices, platform::DefaultsWrite::immediate);
    settled_.keepOnly(devices);
    pairedDevices_.set(std::move(devices));
    clearClientActivity(*normalized);
    streams_.endStreamsOfRevokedClient(*normalized);
    ZENTRABO_LOG("Revoked paired device " + *normalized);
    if (!error) return std::nullopt;
    std::string reason = platform::storeFailureReason(error);
    ZENTRABO_LOG("Revocation not saved: " + reason);
    return reason;
}

std::error_code ClientAuthorizer::saveAuthorizedClientDevices(const std::vector<AuthorizedClientDevice>& devices,
                                                              platform::DefaultsWrite write) {
    return zentrabo::saveAuthorizedClientDevices(defaults_, devices, write);
}

void ClientAuthorizer::markClientActivity(const std::string& fingerprint,
                                          std::optional<HalvardineExtraAuthorizationChannel> channel) {
    clientActivity_.mark(fingerprint, channel);
}

void ClientAuthorizer::clearClientActivity(const std::string& fingerprint) { clientActivity_.clear(fingerprint); }

void ClientAuthorizer::publishClientActivity() {
    activeClientCertificateFingerprints_.set(clientActivity_.activeFingerprints());
    activeClientConnectionChannels_.set(clientActivity_.channels());
    hasRecentAuthorizedClientActivity_.set(!clientActivity_.activeFingerprints().empty());
}

}  // namespace zentrabo
