#include "server/connection/request_dispatcher.hpp"

#include <utility>

#include "server/connection/dispatch_table.hpp"

// GCC 12 at -O3 takes the stream server pointer of a moved answer for
// uninitialized (a false positive in the variant's move, gone in GCC 13).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace zentrabo {

void RequestDispatcher::dispatch(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                                 const std::optional<std::string>& clientCertificateFingerprint,
                                 OutcomeCompletion completion) {
    const DispatchRow* row = findDispatchRow(request.action);
    const bool upgrade = row && row->kind == RowKind::connectionUpgrade;
    const auto answerWith = [&](DispatchAnswer answer) { completion({std::move(answer), upgrade}); };
    const auto refuse = [&](HalvardineResponse refusal) {
        completion(DispatchOutcome::refusal(std::move(refusal), upgrade));
    };

    if (auto refusal = features_.replies.protocolVersionFailureResponse(request)) return refuse(std::move(*refusal));
    if (!upgrade) refreshPermissions();
    if (!row) {
        // Answered without authorization: the name alone tells nothing.
        HalvardineResponse response = features_.replies.identityResponse(request.id, false);
        response.error = "Unknown action.";
        return answerWith(std::move(response));
    }
    std::string fingerprint;
    if (row->needsAuthorization) {
        auto authorized = features_.authorization.authorizeClient(clientCertificateFingerprint, channel);
        if (!authorized) return refuse(features_.replies.notAuthorizedResponse(request.id));
        fingerprint = std::move(*authorized);
    }
    const ActionContext context{request, channel, clientCertificateFingerprint, fingerprint, features_};
    const auto missingField = [&] { return row->missingField ? row->missingField(context) : std::nullopt; };
    if (row->scope.source != ScopeSource::none) {
        // The gate needs a scope taken from the request.
        if (row->scope.source == ScopeSource::fromRequest) {
            if (auto refusal = missingField()) return refuse(std::move(*refusal));
        }
        const auto scope =
            row->scope.source == ScopeSource::fixed ? row->scope.fixed : *request.extraAuthorizationScope;
        // Answered as a reply line on every row: the client asks for the
        // password and comes back.
        if (auto refusal =
                features_.extraAuthorization.requireExtraAuthorization(scope, request, channel, fingerprint)) {
            return answerWith(std::move(*refusal));
        }
    }
    if (row->scope.source != ScopeSource::fromRequest) {
        if (auto refusal = missingField()) return refuse(std::move(*refusal));
    }
    try {
        row->handle(context, [completion, upgrade](DispatchAnswer answer) {
            completion({std::move(answer), upgrade});
        });
    } catch (const std::exception& error) {
        answerWith(features_.replies.errorResponse(request.id, error));
    }
}

std::optional<RequestDispatcher::OffLoopAnswer> RequestDispatcher::answerOffMainLoop(
    const HalvardineRequest& request, const std::optional<std::string>& clientCertificateFingerprint) const {
    const DispatchRow* row = findDispatchRow(request.action);
    if (!row || !answersWithIdentityAlone(*row)) return std::nullopt;
    if (features_.replies.protocolVersionFailureResponse(request)) return std::nullopt;
    auto fingerprint = features_.authorization.settledFingerprint(clientCertificateFingerprint);
    if (!fingerprint) return std::nullopt;
    return OffLoopAnswer{features_.replies.identityResponse(request.id, true), std::move(*fingerprint)};
}

void RequestDispatcher::recordOffLoopAnswers(std::span<const AuthorizedUse> uses) {
    refreshPermissions();
    features_.authorization.recordAuthorizedUses(uses);
}

void RequestDispatcher::refreshPermissions() {
    // The shown permissions follow a grant made in the settings at the
    // latest with the next request.
    features_.permissions.refreshAccessibilityAccess();
    features_.permissions.refreshScreenRecordingAccess();
}

}  // namespace zentrabo
