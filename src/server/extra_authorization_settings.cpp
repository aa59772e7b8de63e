// The settings side of the extra authorization: loading and saving the
// scopes and the session duration, and setting, changing and removing the
// password and unlocking the protected settings.
#include <algorithm>
#include <utility>
#include <variant>
#include <vector>

#include "platform/text/trim.hpp"
#include "security/halvardine_security_error.hpp"
#include "server/extra_authorization.hpp"

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
      keyDerivation_(environment_.keyDerivationWork, environment_.mainLoop) {
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
        if (fromRawValue(text, scope)) scopes.insert(scope);
    }
    return scopes;
}

HalvardineExtraAuthorizationSessionDuration ExtraAuthorization::loadSessionDuration() const {
    auto duration = HalvardineExtraAuthorizationSessionDuration::background;
    if (const auto stored = environment_.userDefaults.string(sessionDurationKey)) fromRawValue(*stored, duration);
    return duration;
}

bool ExtraAuthorization::isScopeEnabled(Scope scope, Channel channel) const {
    const auto& scopes = channel == Channel::relay ? relayScopes_ : localScopes_;
    return scopes->contains(scope);
}

void ExtraAuthorization::setScope(Scope scope, bool enabled, Channel channel) {
    auto& published = channel == Channel::relay ? relayScopes_ : localScopes_;
    ExtraAuthorizationScopes scopes = *published;
    if (enabled) {
        scopes.insert(scope);
    } else {
        scopes.erase(scope);
    }
    std::vector<std::string> rawValues;
    for (const Scope each : scopes) rawValues.emplace_back(rawValue(each));
    std::sort(rawValues.begin(), rawValues.end());
    environment_.userDefaults.set(channel == Channel::relay ? relayScopesKey : localScopesKey, std::move(rawValues));
    sessions_.removeAll();
    published.set(std::move(scopes));
}

void ExtraAuthorization::setSessionDuration(HalvardineExtraAuthorizationSessionDuration duration) {
    if (duration == *sessionDuration_) return;
    sessionDuration_.set(duration);
    environment_.userDefaults.set(sessionDurationKey, std::string(rawValue(duration)));
    sessions_.removeAll();
    audit("Extra authorization session duration changed to " + std::string(summary(duration)) + ".", true);
}

void ExtraAuthorization::updatePassword(std::optional<std::string> currentPassword, std::string newPassword,
                                        SettingsCompletion completion) {
    std::string password = platform::trimWhitespaceAndNewlines(newPassword);
    if (password.empty()) return completion(failure("Enter a password."));
    // Setting the first password needs no current one.
    if (!*passwordConfigured_) return storeRecord(std::move(password), std::move(completion));

    const platform::Date now = environment_.clock.now();
    if (attempts_.isBlocked(updatePasswordKey, now)) {
        audit("Blocked extra authorization password update after repeated failures.", true);
        return completion(failure("Password updates are temporarily locked. Try again later."));
    }
    std::string current = platform::trimWhitespaceAndNewlines(currentPassword.value_or(std::string()));
    if (current.empty()) return completion(failure("Enter the current password."));

    checkPassword(
        updatePasswordKey, std::move(current),
        [this, now, password = std::move(password), completion = std::move(completion)](bool matches) mutable {
            if (!matches) {
                return rejectPassword(updatePasswordKey, now,
                                      "Rejected extra authorization password update with an incorrect "
                                      "current password.",
                                      "The current password is incorrect.", completion);
            }
            attempts_.forget(updatePasswordKey);
            storeRecord(std::move(password), std::move(completion));
        });
}

void ExtraAuthorization::storeRecord(std::string password, SettingsCompletion completion) {
    keyDerivation_.makeRecord(std::move(password), [this, completion = std::move(completion)](
                                                       ExtraAuthorizationKeyDerivation::RecordResult result) {
        if (auto* error = std::get_if<std::exception_ptr>(&result)) return completion(*error);
        auto& record = std::get<ExtraAuthorizationPasswordRecord>(result);
        try {
            ExtraAuthorizationPasswordItem::save(environment_.keychain, record);
        } catch (...) {
            // The old record, flag and sessions stay.
            return completion(std::current_exception());
        }
        passwordRecord_ = std::move(record);
        passwordConfigured_.set(true);
        sessions_.removeAll();
        audit("Extra authorization password was updated.", true);
        completion(nullptr);
    });
}

void ExtraAuthorization::removePassword(std::string password, SettingsCompletion completion) {
    // Removal is locked out after repeated failures like the other password
    // operations, so it cannot serve to test passwords without limit.
    const platform::Date now = environment_.clock.now();
    if (attempts_.isBlocked(removePasswordKey, now)) {
        audit("Blocked extra authorization password removal after repeated failures.", true);
        return completion(failure("Password removal is temporarily locked. Try again later."));
    }
    std::string current = platform::trimWhitespaceAndNewlines(password);
    if (current.empty()) return completion(failure("Enter the current password."));

    checkPassword(removePasswordKey, std::move(current), [this, now, completion = std::move(completion)](bool matches) {
        if (!matches) {
            return rejectPassword(removePasswordKey, now,
                                  "Rejected extra authorization password removal with an incorrect password.",
                                  "The password is incorrect.", completion);
        }
        // The scopes and the duration stay; with no password nothing is
        // protected, and a new password protects them again at once.
        ExtraAuthorizationPasswordItem::remove(environment_.keychain);
        passwordRecord_.reset();
        passwordConfigured_.set(false);
        sessions_.removeAll();
        audit("Extra authorization password was removed.", true);
        completion(nullptr);
    });
}

void ExtraAuthorization::unlockSettings(std::string password, SettingsCompletion completion) {
    if (!*passwordConfigured_) return completion(failure("Configure an extra authorization password first."));
    const platform::Date now = environment_.clock.now();
    if (attempts_.isBlocked(settingsKey, now)) {
        audit("Blocked extra authorization settings unlock after repeated failures.", true);
        return completion(failure("Extra authorization settings are temporarily locked. Try again later."));
    }
    std::string current = platform::trimWhitespaceAndNewlines(password);
    if (current.empty()) return completion(failure("Enter the current password."));

    checkPassword(settingsKey, std::move(current), [this, now, completion = std::move(completion)](bool matches) {
        if (!matches) {
            return rejectPassword(settingsKey, now,
                                  "Rejected extra authorization settings unlock with an incorrect password.",
                                  "The password is incorrect.", completion);
        }
        attempts_.forget(settingsKey);
        audit("Extra authorization settings were unlocked.", true);
        completion(nullptr);
    });
}

void ExtraAuthorization::checkPassword(std::string_view key, std::string password,
                                       std::function<void(bool)> completion) {
    if (!passwordRecord_) return completion(false);
    attempts_.checkStarted(key);
    keyDerivation_.verify(std::move(password), *passwordRecord_,
                          [this, key = std::string(key), completion = std::move(completion)](bool matches) {
                              attempts_.checkFinished(key);
                              completion(matches);
                          });
}

void ExtraAuthorization::rejectPassword(std::string_view key, platform::Date now, std::string auditMessage,
                                        const std::string& text, const SettingsCompletion& completion) {
    audit(SecurityFailureLimiter::withBlockNotice(std::move(auditMessage), attempts_.recordFailure(key, now)), false);
    completion(failure(text));
}

void ExtraAuthorization::audit(std::string message, bool withAction, std::optional<std::string_view> fingerprint) {
    environment_.recordSecurityEvent(
        std::move(message), withAction ? std::optional<std::string>("authorizeExtra") : std::nullopt, fingerprint);
}

}  // namespace zentrabo
