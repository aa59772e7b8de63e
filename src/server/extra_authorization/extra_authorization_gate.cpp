// The gate of the protected scopes and the "authorizeExtra" request that
// grants the sessions it accepts.
#include <cctype>
#include <utility>

#include "model/halvardine_protocol.hpp"
#include "platform/text/trim.hpp"
#include "server/extra_authorization/extra_authorization.hpp"

namespace zentrabo {

namespace {

using Scope = HalvardineExtraAuthorizationScope;
using Channel = HalvardineExtraAuthorizationChannel;

// Titles are ASCII words ("Files", "Relay").
std::string lowercased(std::string_view title) {
    std::string text(title);
    for (char& character : text) character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    return text;
}

}  // namespace

std::string extraAuthorizationKey(Scope scope, Channel channel) {
    return "extra-authorization:" + std::string(platform::rawValue(scope)) + ":" +
           std::string(platform::rawValue(channel));
}

bool ExtraAuthorization::isScopeProtected(Scope scope, Channel channel) const {
    return *passwordConfigured_ && isScopeEnabled(scope, channel);
}

HalvardineResponse ExtraAuthorization::refusal(std::string id, std::string message,
                                               std::optional<HalvardineErrorCode> code,
                                               std::optional<Scope> scope) const {
    HalvardineResponse response = environment_.replies.identityResponse(std::move(id), false);
    response.error = std::move(message);
    response.errorCode = code;
    response.extraAuthorizationScope = scope;
    return response;
}

std::optional<HalvardineResponse> ExtraAuthorization::requireExtraAuthorization(Scope scope,
                                                                                const HalvardineRequest& request,
                                                                                Channel channel,
                                                                                const std::string& fingerprint) {
    if (!isScopeProtected(scope, channel)) return std::nullopt;
    if (!request.clientProtocolVersion ||
        *request.clientProtocolVersion < HalvardineProtocol::extraAuthorizationVersion) {
        HalvardineResponse response =
            refusal(request.id, "Update Zentrabo on this device. This action requires a newer client version.",
                    std::nullopt, std::nullopt);
        response.minimumSupportedClientProtocolVersion = HalvardineProtocol::extraAuthorizationVersion;
        return response;
    }
    if (request.extraAuthorizationToken &&
        isValidToken(platform::trimWhitespaceAndNewlines(*request.extraAuthorizationToken), fingerprint, channel)) {
        return std::nullopt;
    }
    return refusal(request.id, "Extra authorization required.", HalvardineErrorCode::extraAuthorizationRequired, scope);
}

bool ExtraAuthorization::isValidToken(std::string_view token, std::string_view fingerprint, Channel channel) {
    return sessions_.isValid(token, fingerprint, channel, environment_.clock.now());
}

HalvardineResponse ExtraAuthorization::missingScopeRefusal(std::string id) const {
    return refusal(std::move(id), "No extra authorization scope was provided.", HalvardineErrorCode::actionFailed,
                   std::nullopt);
}

void ExtraAuthorization::authorizeExtra(const HalvardineRequest& request, Channel channel,
                                        const std::string& fingerprint, ReplyCompletion completion) {
    if (!request.extraAuthorizationScope) return completion(missingScopeRefusal(request.id));
    const Scope scope = *request.extraAuthorizationScope;
    if (!isScopeProtected(scope, channel)) return completion(environment_.replies.identityResponse(request.id, true));

    const std::string key = extraAuthorizationKey(scope, channel);
    const platform::Date now = environment_.clock.now();
    if (attempts_.isBlocked(key, now)) {
        audit("Blocked extra authorization after repeated failures.", true, fingerprint);
        return completion(refusal(request.id, "Extra authorization is temporarily locked. Try again later.",
                                  HalvardineErrorCode::extraAuthorizationRequired, scope));
    }

    auto reject = [this, key, now, scope, channel, fingerprint, id = request.id](const ReplyCompletion& reply) {
        const std::size_t count = attempts_.recordFailure(key, now);
        audit(SecurityFailureLimiter::withBlockNotice("Rejected extra authorization password for " +
                                                          lowercased(title(scope)) + " on " +
                                                          lowercased(title(channel)) + ".",
                                                      count),
              false, fingerprint);
        reply(refusal(id, "Extra authorization password is incorrect.", HalvardineErrorCode::extraAuthorizationRequired,
                      scope));
    };

    std::string password = platform::trimWhitespaceAndNewlines(request.extraAuthorizationPassword.value_or(""));
    // No password counts as a wrong one.
    if (password.empty()) return reject(completion);

    checkPassword(
        key, std::move(password),
        [this, reject, id = request.id, scope, channel, fingerprint, completion = std::move(completion)](bool matches) {
            if (!matches) return reject(completion);
            grant(id, scope, channel, fingerprint, completion);
        });
}

void ExtraAuthorization::grant(std::string id, Scope scope, Channel channel, const std::string& fingerprint,
                               ReplyCompletion completion) {
    attempts_.forget(extraAuthorizationKey(scope, channel));
    const HalvardineExtraAuthorizationSessionDuration duration = *sessionDuration_;
    const platform::Date now = environment_.clock.now();
    const platform::Date expiresAt = now + timeInterval(duration);
    std::string token = sessions_.grant(fingerprint, channel, expiresAt, now);
    audit("Granted extra authorization session on " + lowercased(title(channel)) + ".", true, fingerprint);

    HalvardineResponse response = environment_.replies.identityResponse(std::move(id), true);
    response.extraAuthorizationToken = std::move(token);
    response.extraAuthorizationScope = scope;
    response.extraAuthorizationExpiresAt = expiresAt;
    response.extraAuthorizationSessionDuration = duration;
    completion(std::move(response));
}

}  // namespace zentrabo
