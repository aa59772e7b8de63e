// The settings side of the extra authorization: loading and saving the
// scopes and the session duration, and setting, changing and removing the
// password and unlocking the protected settings.
#include <algorithm>
#include <utility>
#include <variant>
#include <vector>

#include "model/task_failure.hpp"
#include "platform/text/trim.hpp"
#include "security/halvardine_security_error.hpp"
#include "server/extra_authorization/extra_authorization.hpp"

namespace zentrabo {

namespace {

using Scope = HalvardineExtraAuthorizationScope;
using Channel = HalvardineExtraAuthorizationChannel;

constexpr std::string_view updatePasswordKey = "extra-authorization:update-password";
constexpr std::string_view removePasswordKey = "extra-authorization:remove-password";
constexpr std::string_view settingsKey = "extra-authorization:settings";

std::exception_ptr failure(const std::string& text) {
    return std::make_exception_ptr(HalvardineSecurityError::identityUnavailable(text));
}

}  // namespace

ExtraAuthorization::ExtraAuthorization(ExtraAuthorizationEnvironment environment)
    : environment_(std::move(environment)),
      attempts_(environment_.failures),
      keyDerivation_(environment_.keyDerivationWork),
      tasks_(environment_.mainLoop) {
    passwordRecord_ = ExtraAuthorizationPasswordItem::load(environment_.keychain);
    passwordConfigured_.set(passwordRecord_.has_value());
    localScopes_.set(loadScopes(localScopesKey));
    relayScopes_.set(loadScopes(relayScopesKey));
    sessionDuration_.set(loadSessionDuration());
}

ExtraAuthorizationScopes ExtraAuthorization::loadScopes(std::string_view key) const {
    ExtraAuthorizationScopes scopes;
    // A value of another type reads as none.
    for (const std::string& text : environment_.userDefaults.stringArray(key).value_or(std::vector<std::string>{})) {
        Scope scope{};
        if (platform::fromRawValue(text, scope)) scopes.insert(scope);
    }
    return scopes;
}

HalvardineExtraAuthorizationSessionDuration ExtraAuthorization::loadSessionDuration() const {
    auto duration = HalvardineExtraAuthorizationSessionDuration::background;
    if (const auto stored = environment_.userDefaults.string(sessionDurationKey))
        platform::fromRawValue(*stored, duration);
    return duration;
}

bool ExtraAuthorization::isScopeEnabled(Scope scope, Channel channel) const {
    const auto& scopes = channel == Channel::relay ? relayScopes_ : localScopes_;
    return scopes->contains(scope);
}

std::error_code ExtraAuthorization::setScope(Scope scope, bool enabled, Channel channel) {
    ExtraAuthorizationScopes scopes = channel == Channel::relay ? *relayScopes_ : *localScopes_;
    if (enabled) {
        scopes.insert(scope);
    } else {
        scopes.erase(scope);
    }
    return setScopes(std::move(scopes), channel);
}

std::error_code ExtraAuthorization::setScopes(ExtraAuthorizationScopes scopes, Channel channel) {
    std::vector<std::string> rawValues;
    for (const Scope each : scopes) rawValues.emplace_back(platform::rawValue(each));
    std::sort(rawValues.begin(), rawValues.end());
    if (const std::error_code error = environment_.userDefaults.set(
            channel == Channel::relay ? relayScopesKey : localScopesKey, std::move(rawValues))) {
        return error;
    }
    sessions_.removeAll();
    (channel == Channel::relay ? relayScopes_ : localScopes_).set(std::move(scopes));
    return {};
}

std::error_code ExtraAuthorization::setSessionDuration(HalvardineExtraAuthorizationSessionDuration duration) {
    if (duration == *sessionDuration_) return {};
    if (const std::error_code error =
            environment_.userDefaults.set(sessionDurationKey, std::string(platform::rawValue(duration)))) {
        return error;
    }
    sessionDuration_.set(duration);
    sessions_.removeAll();
    audit("Extra authorization session duration changed to " + std::string(summary(duration)) + ".", true);
    return {};
}

void ExtraAuthorization::updatePassword(std::optional<std::string> currentPassword, std::string newPassword,
                                        SettingsCompletion completion) {
    std::string password = platform::trimWhitespaceAndNewlines(newPassword);
    if (password.empty()) return completion(failure("Enter a password."));
    // Setting the first password needs no current one.
    if (!*passwordConfigured_) return storeRecord(std::move(password), std::move(completion));

    checkCurrentPassword(
        {.key = updatePasswordKey,
         .blockedAudit = "Blocked extra authorization password update after repeated failures.",
         .blockedText = "Password updates are temporarily locked. Try again later.",
         .rejectedAudit = "Rejected extra authorization password update with an incorrect current password.",
         .rejectedText = "The current password is incorrect."},
        currentPassword.value_or(std::string()), std::move(completion),
        [this, password = std::move(password)](SettingsCompletion completion) mutable {
            attempts_.forget(updatePasswordKey);
            storeRecord(std::move(password), std::move(completion));
        });
}

void ExtraAuthorization::storeRecord(std::string password, SettingsCompletion completion) {
    tasks_.spawn(awaitNewRecord(std::move(password), std::move(completion)),
                 LogTaskFailure("Extra authorization password update failed: "));
}

asio::awaitable<void> ExtraAuthorization::awaitNewRecord(std::string password, SettingsCompletion completion) {
    // Named: GCC 12 destroys a temporary of a co_await expression twice.
    auto derivation = keyDerivation_.makeRecord(std::move(password));
    auto result = co_await std::move(derivation);
    if (auto* error = std::get_if<std::exception_ptr>(&result)) {
        completion(*error);
        co_return;
    }
    auto& record = std::get<ExtraAuthorizationPasswordRecord>(result);
    try {
        ExtraAuthorizationPasswordItem::save(environment_.keychain, record);
    } catch (...) {
        // The old record, flag and sessions stay.
        completion(std::current_exception());
        co_return;
    }
    passwordRecord_ = std::move(record);
    passwordConfigured_.set(true);
    sessions_.removeAll();
    audit("Extra authorization password was updated.", true);
    completion(nullptr);
}

void ExtraAuthorization::removePassword(std::string password, SettingsCompletion completion) {
    // Removal is locked out after repeated failures like the other password
    // operations, so it cannot serve to test passwords without limit.
    checkCurrentPassword({.key = removePasswordKey,
                          .blockedAudit = "Blocked extra authorization password removal after repeated failures.",
                          .blockedText = "Password removal is temporarily locked. Try again later.",
                          .rejectedAudit = "Rejected extra authorization password removal with an incorrect password."},
                         password, std::move(completion), [this](SettingsCompletion completion) {
                             // The scopes and the duration stay; with no password nothing is
                             // protected, and a new password protects them again at once.
                             try {
                                 ExtraAuthorizationPasswordItem::remove(environment_.keychain);
                             } catch (...) {
                                 // The password stays, here as on disk.
                                 return completion(std::current_exception());
                             }
                             passwordRecord_.reset();
                             passwordConfigured_.set(false);
                             sessions_.removeAll();
                             audit("Extra authorization password was removed.", true);
                             completion(nullptr);
                         });
}

void ExtraAuthorization::unlockSettings(std::string password, SettingsCompletion completion) {
    if (!*passwordConfigured_) return completion(failure("Configure an extra authorization password first."));
    checkCurrentPassword({.key = settingsKey,
                          .blockedAudit = "Blocked extra authorization settings unlock after repeated failures.",
                          .blockedText = "Extra authorization settings are temporarily locked. Try again later.",
                          .rejectedAudit = "Rejected extra authorization settings unlock with an incorrect password."},
                         password, std::move(completion), [this](SettingsCompletion completion) {
                             attempts_.forget(settingsKey);
                             audit("Extra authorization settings were unlocked.", true);
                             completion(nullptr);
                         });
}

void ExtraAuthorization::checkCurrentPassword(const CurrentPasswordCheck& check, std::string_view currentPassword,
                                              SettingsCompletion completion,
                                              std::function<void(SettingsCompletion)> matched) {
    const platform::Date now = environment_.clock.now();
    if (attempts_.isBlocked(check.key, now)) {
        audit(std::string(check.blockedAudit), true);
        return completion(failure(std::string(check.blockedText)));
    }
    std::string current = platform::trimWhitespaceAndNewlines(currentPassword);
    if (current.empty()) return completion(failure("Enter the current password."));

    checkPassword(
        check.key, std::move(current),
        [this, check, now, completion = std::move(completion), matched = std::move(matched)](bool matches) mutable {
            if (matches) return matched(std::move(completion));
            audit(SecurityFailureLimiter::withBlockNotice(std::string(check.rejectedAudit),
                                                          attempts_.recordFailure(check.key, now)),
                  false);
            completion(failure(std::string(check.rejectedText)));
        });
}

void ExtraAuthorization::checkPassword(std::string_view key, std::string password,
                                       std::function<void(bool)> completion) {
    if (!passwordRecord_) return completion(false);
    attempts_.checkStarted(key);
    tasks_.spawn(awaitPasswordCheck(std::string(key), std::move(password), *passwordRecord_, std::move(completion)),
                 LogTaskFailure("Extra authorization password check failed: "));
}

asio::awaitable<void> ExtraAuthorization::awaitPasswordCheck(std::string key, std::string password,
                                                             ExtraAuthorizationPasswordRecord record,
                                                             std::function<void(bool)> completion) {
    auto derivation = keyDerivation_.verify(std::move(password), std::move(record));
    const bool matches = co_await std::move(derivation);
    attempts_.checkFinished(key);
    completion(matches);
}

void ExtraAuthorization::audit(std::string message, bool withAction, std::optional<std::string_view> fingerprint) {
    environment_.auditLog.recordSecurityEvent(
        std::move(message), withAction ? std::optional<std::string>("authorizeExtra") : std::nullopt, fingerprint);
}

}  // namespace zentrabo
