#pragma once
// The extra-authorization password: which scopes it guards on local and on
// relay connections, how long a granted session lasts, the password
// operations of the settings (extra_authorization_settings.cpp), and the gate
// that protected requests pass with a session token, together with the
// "authorizeExtra" request that grants one (extra_authorization_gate.cpp).
// Everything runs on the main loop; password checks and new records are
// derived on the key-derivation pool, awaited by coroutines of the main loop.
#include <exception>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "platform/dispatch/clock.hpp"
#include "platform/dispatch/owned_tasks.hpp"
#include "platform/store/user_defaults.hpp"
#include "security/halvardine_keychain.hpp"
#include "server/authorization/security_audit_log.hpp"
#include "server/authorization/security_failure_limiter.hpp"
#include "server/extra_authorization/extra_authorization_key_derivation.hpp"
#include "server/extra_authorization/extra_authorization_password.hpp"
#include "server/extra_authorization/extra_authorization_sessions.hpp"
#include "server/extra_authorization/password_attempt_limiter.hpp"
#include "server/published.hpp"
#include "server/reply_builder.hpp"

namespace zentrabo {

// What the extra authorization is built on; the server passes its own.
struct ExtraAuthorizationEnvironment {
    platform::Clock& clock;
    asio::any_io_executor mainLoop;
    // Where key derivations run: the key-derivation pool in the application.
    asio::any_io_executor keyDerivationWork;
    platform::UserDefaults& userDefaults;
    HalvardineKeychain& keychain;
    // The limiter shared with client authorization.
    SecurityFailureLimiter& failures;
    // Where the password events are audited, beside client authorization's.
    SecurityAuditLog& auditLog;
    // Builds the replies with the server identity fields; it shows this
    // object's session duration, so it is made after it and is not used
    // before the first request.
    const ReplyBuilder& replies;
};

using ExtraAuthorizationScopes = std::set<HalvardineExtraAuthorizationScope>;

class ExtraAuthorization {
public:
    // Runs on the main loop, with no error or nullptr when the operation
    // succeeded; the error is a HalvardineSecurityError whose description is
    // for the user. May run before the call returns.
    using SettingsCompletion = std::function<void(std::exception_ptr)>;
    using ReplyCompletion = std::function<void(HalvardineResponse)>;

    static constexpr std::string_view localScopesKey = "extraAuthorizationLocalScopes";
    static constexpr std::string_view relayScopesKey = "extraAuthorizationRelayScopes";
    static constexpr std::string_view sessionDurationKey = "extraAuthorizationSessionDuration";

    // Loads the password record, the scopes and the session duration.
    explicit ExtraAuthorization(ExtraAuthorizationEnvironment environment);
    ExtraAuthorization(const ExtraAuthorization&) = delete;
    ExtraAuthorization& operator=(const ExtraAuthorization&) = delete;

    // Published status.
    const Published<bool>& passwordConfigured() const { return passwordConfigured_; }
    const Published<ExtraAuthorizationScopes>& localScopes() const { return localScopes_; }
    const Published<ExtraAuthorizationScopes>& relayScopes() const { return relayScopes_; }
    const Published<HalvardineExtraAuthorizationSessionDuration>& sessionDuration() const { return sessionDuration_; }

    // Settings (extra_authorization_settings.cpp). The scope and duration
    // operations check no password: the settings front asks for
    // unlockSettings first.
    bool isScopeEnabled(HalvardineExtraAuthorizationScope scope, HalvardineExtraAuthorizationChannel channel) const;
    // Saves the channel's set and ends every session, even when the set
    // stays as it was. A set that cannot be saved changes nothing and
    // returns the settings file's error.
    std::error_code setScope(HalvardineExtraAuthorizationScope scope, bool enabled,
                             HalvardineExtraAuthorizationChannel channel);
    // The same for the channel's whole set at once.
    std::error_code setScopes(ExtraAuthorizationScopes scopes, HalvardineExtraAuthorizationChannel channel);
    // A different duration ends every session; the same one changes nothing.
    // One that cannot be saved changes nothing and returns the error.
    std::error_code setSessionDuration(HalvardineExtraAuthorizationSessionDuration duration);
    // Sets the first password (the current one is not looked at then) or
    // changes it.
    void updatePassword(std::optional<std::string> currentPassword, std::string newPassword,
                        SettingsCompletion completion);
    void removePassword(std::string password, SettingsCompletion completion);
    // Right password: the settings front may show the protected settings.
    void unlockSettings(std::string password, SettingsCompletion completion);

    // The gate (extra_authorization_gate.cpp).
    // True when a password is set and the scope is in the channel's set.
    bool isScopeProtected(HalvardineExtraAuthorizationScope scope, HalvardineExtraAuthorizationChannel channel) const;
    // The refusal reply for a request that needs the scope, none when it may
    // go on. The fingerprint is the normalised one of client authorization.
    // Audits and counts nothing.
    std::optional<HalvardineResponse> requireExtraAuthorization(HalvardineExtraAuthorizationScope scope,
                                                                const HalvardineRequest& request,
                                                                HalvardineExtraAuthorizationChannel channel,
                                                                const std::string& fingerprint);
    bool isValidToken(std::string_view token, std::string_view fingerprint,
                      HalvardineExtraAuthorizationChannel channel);
    // The refusal of a request that names no scope.
    HalvardineResponse missingScopeRefusal(std::string id) const;
    // The "authorizeExtra" request of an authorized client; the reply is
    // handed to completion on the main loop, possibly before this returns.
    void authorizeExtra(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                        const std::string& fingerprint, ReplyCompletion completion);

    // Sessions granted and not yet dropped; for tests and the status.
    std::size_t sessionCount() const { return sessions_.count(); }

private:
    ExtraAuthorizationScopes loadScopes(std::string_view key) const;
    HalvardineExtraAuthorizationSessionDuration loadSessionDuration() const;

    void audit(std::string message, bool withAction, std::optional<std::string_view> fingerprint = std::nullopt);
    // Checks the password under the limiter key, counting the check as
    // running meanwhile; no record held is a failed check.
    void checkPassword(std::string_view key, std::string password, std::function<void(bool)> completion);
    asio::awaitable<void> awaitPasswordCheck(std::string key, std::string password,
                                             ExtraAuthorizationPasswordRecord record,
                                             std::function<void(bool)> completion);
    // How a protected settings change names its current-password check: the
    // limiter key, and the audit line and failure text while the key is
    // blocked and when the password is wrong (the plain text unless a check
    // names another).
    struct CurrentPasswordCheck {
        std::string_view key;
        std::string_view blockedAudit;
        std::string_view blockedText;
        std::string_view rejectedAudit;
        std::string_view rejectedText = "The password is incorrect.";
    };
    // Refuses while the limiter blocks the key, a blank password, and a
    // wrong one (counted under the key, audited with the block notice from
    // the threshold on); a match runs matched with the completion.
    void checkCurrentPassword(const CurrentPasswordCheck& check, std::string_view currentPassword,
                              SettingsCompletion completion, std::function<void(SettingsCompletion)> matched);
    void storeRecord(std::string password, SettingsCompletion completion);
    asio::awaitable<void> awaitNewRecord(std::string password, SettingsCompletion completion);
    void grant(std::string id, HalvardineExtraAuthorizationScope scope, HalvardineExtraAuthorizationChannel channel,
               const std::string& fingerprint, ReplyCompletion completion);
    HalvardineResponse refusal(std::string id, std::string message, std::optional<HalvardineErrorCode> code,
                               std::optional<HalvardineExtraAuthorizationScope> scope) const;

    ExtraAuthorizationEnvironment environment_;
    Published<bool> passwordConfigured_{false};
    Published<ExtraAuthorizationScopes> localScopes_;
    Published<ExtraAuthorizationScopes> relayScopes_;
    Published<HalvardineExtraAuthorizationSessionDuration> sessionDuration_{
        HalvardineExtraAuthorizationSessionDuration::background};
    std::optional<ExtraAuthorizationPasswordRecord> passwordRecord_;
    ExtraAuthorizationSessions sessions_;
    PasswordAttemptLimiter attempts_;
    ExtraAuthorizationKeyDerivation keyDerivation_;
    // Last: closed first, so no derivation resumes into a half-destroyed
    // object.
    platform::OwnedTasks tasks_;
};

// The limiter key of "authorizeExtra" for a scope on a channel:
// "extra-authorization:files:relay".
std::string extraAuthorizationKey(HalvardineExtraAuthorizationScope scope, HalvardineExtraAuthorizationChannel channel);

}  // namespace zentrabo
