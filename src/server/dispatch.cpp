// The dispatcher: one decoded request in, one reply out, every failure
// included.
#include <array>
#include <string_view>
#include <utility>

#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

// The actions the server knows, matched by exact name in this order.
enum class Action { pair, ping, extraAuthorizationStatus, authorizeExtra };

constexpr std::array<std::pair<std::string_view, Action>, 4> actions = {{
    {"pair", Action::pair},
    {"ping", Action::ping},
    {"extraAuthorizationStatus", Action::extraAuthorizationStatus},
    {"authorizeExtra", Action::authorizeExtra},
}};

std::optional<Action> findAction(std::string_view name) {
    for (const auto& [actionName, action] : actions) {
        if (actionName == name) return action;
    }
    return std::nullopt;
}

}  // namespace

void HalvardineServer::handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                              const std::optional<std::string>& clientCertificateFingerprint,
                              ResponseCompletion completion) {
    if (auto refusal = protocolVersionFailureResponse(request)) {
        completion(std::move(*refusal));
        return;
    }
    const auto action = findAction(request.action);
    if (!action) {
        // Answered without authorization: the name alone tells nothing.
        HalvardineResponse response = identityResponse(request.id, false);
        response.error = "Unknown action.";
        completion(std::move(response));
        return;
    }
    // Every action but pairing needs a paired client.
    std::optional<std::string> fingerprint;
    if (*action != Action::pair) {
        fingerprint = authorizeClient(clientCertificateFingerprint, channel);
        if (!fingerprint) {
            completion(notAuthorizedResponse(request.id));
            return;
        }
    }
    // The one action that answers later: it waits for a password check.
    if (*action == Action::authorizeExtra) {
        extraAuthorization().authorizeExtra(request, channel, *fingerprint, std::move(completion));
        return;
    }
    HalvardineResponse response;
    try {
        switch (*action) {
        case Action::pair:
            response = handlePairRequest(request, clientCertificateFingerprint, channel);
            break;
        case Action::ping:
            response = identityResponse(request.id, true);
            break;
        case Action::extraAuthorizationStatus:
            response = extraAuthorization().status(request, channel, *fingerprint);
            break;
        case Action::authorizeExtra:
            break;
        }
    } catch (const std::exception& error) {
        response = errorResponse(request.id, error);
    }
    completion(std::move(response));
}

}  // namespace zentrabo
