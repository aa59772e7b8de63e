#pragma once
// Who may use the server: the paired devices, the check of a connection's
// certificate against them, the failures that block a peer for a while, the
// marks of clients that were active lately, and the security audit log.
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/store/user_defaults.hpp"
#include "server/authorization/authorized_client_device.hpp"
#include "server/authorization/client_activity.hpp"
#include "server/authorization/security_audit_log.hpp"
#include "server/authorization/security_failure_limiter.hpp"
#include "server/authorization/settled_fingerprints.hpp"
#include "server/published.hpp"
#include "server/streams/screen_streams.hpp"

namespace zentrabo {

// An authorized request: whose, and over which channel it came.
struct AuthorizedUse {
    std::string fingerprint;
    HalvardineExtraAuthorizationChannel channel;
};

class ClientAuthorizer {
public:
    // Loads the paired devices. Every collaborator must outlive the
    // authorizer; activity expiries run on mainLoop.
    ClientAuthorizer(platform::Clock& clock, asio::any_io_executor mainLoop, platform::UserDefaults& defaults,
                     ScreenStreams& streams);
    ClientAuthorizer(const ClientAuthorizer&) = delete;
    ClientAuthorizer& operator=(const ClientAuthorizer&) = delete;

    const Published<std::vector<AuthorizedClientDevice>>& pairedDevices() const { return pairedDevices_; }
    // The device of the pairing that completed last (a known certificate
    // paired again too); none before the first.
    const Published<std::optional<AuthorizedClientDevice>>& lastPairedDevice() const { return lastPairedDevice_; }
    // Why the pairing that failed last could not be saved, in words; set
    // anew by every such failure, none before the first.
    const Published<std::optional<std::string>>& lastPairingNotSaved() const { return lastPairingNotSaved_; }
    const Published<bool>& hasRecentAuthorizedClientActivity() const { return hasRecentAuthorizedClientActivity_; }
    const Published<std::set<std::string>>& activeClientCertificateFingerprints() const {
        return activeClientCertificateFingerprints_;
    }
    const Published<std::map<std::string, HalvardineExtraAuthorizationChannel>>& activeClientConnectionChannels()
        const {
        return activeClientConnectionChannels_;
    }

    // The security audit log, shared with the extra authorization, which
    // audits its password events there too.
    SecurityAuditLog& auditLog() { return auditLog_; }
    const Published<std::vector<HalvardineSecurityAuditEvent>>& securityAuditEvents() const {
        return auditLog_.securityAuditEvents();
    }
    void recordSecurityEvent(std::string message, std::optional<std::string> action,
                             std::optional<std::string_view> fingerprint) {
        auditLog_.recordSecurityEvent(std::move(message), std::move(action), fingerprint);
    }
    // Shared with the extra-authorization password checks, under keys of
    // their own.
    SecurityFailureLimiter& failures() { return failures_; }
    // The limiter's operations under client authorization's names. A caller
    // takes `now` once and passes it to both.
    bool isSecurityFailureBlocked(std::string_view key, platform::Date now) { return failures_.isBlocked(key, now); }
    std::size_t recordSecurityFailure(std::string_view key, platform::Date now) {
        return failures_.recordFailure(key, now);
    }
    void forgetSecurityFailures(std::string_view key) { failures_.forget(key); }

    // The normalised fingerprint of a paired client, none otherwise; audits
    // and counts its own refusals.
    std::optional<std::string> authorizeClient(const std::optional<std::string>& fingerprint,
                                               HalvardineExtraAuthorizationChannel channel);
    // From any thread: the normalised fingerprint when authorizeClient would
    // accept it without a word to the audit log or the failure counts (its
    // last authorization succeeded and it is still paired), none otherwise.
    // The caller records the request with recordAuthorizedUses.
    std::optional<std::string> settledFingerprint(const std::optional<std::string>& fingerprint) const;
    // What every authorized request leaves behind: the device's last-seen
    // time and channel (saved, batched with other changes) and its activity
    // mark. Uses of devices revoked meanwhile are dropped.
    void recordAuthorizedUses(std::span<const AuthorizedUse> uses);
    // Adds or renames the device of the fingerprint and saves the list. When
    // the list cannot be saved the device is not trusted, not even until the
    // next start: the list stays as it was and the reason, in words, is
    // returned and published.
    std::optional<std::string> completePairing(std::string_view fingerprint,
                                               const std::optional<std::string>& clientName,
                                               HalvardineExtraAuthorizationChannel channel);
    // Forgets a paired device; logged, not audited. Its live streams end at
    // once and its next request is refused. When the list cannot be saved the
    // device stays revoked for this run and the reason, in words, is
    // returned: it would be paired again after the next start.
    std::optional<std::string> revokePairedDevice(std::string_view fingerprint);
    void markClientActivity(const std::string& fingerprint, std::optional<HalvardineExtraAuthorizationChannel> channel);
    void clearClientActivity(const std::string& fingerprint);

private:
    std::error_code saveAuthorizedClientDevices(const std::vector<AuthorizedClientDevice>& devices,
                                                platform::DefaultsWrite write);
    void publishClientActivity();

    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    ScreenStreams& streams_;

    Published<std::vector<AuthorizedClientDevice>> pairedDevices_;
    Published<std::optional<AuthorizedClientDevice>> lastPairedDevice_;
    Published<std::optional<std::string>> lastPairingNotSaved_;
    Published<bool> hasRecentAuthorizedClientActivity_{false};
    Published<std::set<std::string>> activeClientCertificateFingerprints_;
    Published<std::map<std::string, HalvardineExtraAuthorizationChannel>> activeClientConnectionChannels_;

    SecurityAuditLog auditLog_;
    SecurityFailureLimiter failures_;
    ClientActivityTracker clientActivity_;
    SettledFingerprints settled_;
};

}  // namespace zentrabo
