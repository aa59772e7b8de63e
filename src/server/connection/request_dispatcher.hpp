#pragma once
// The dispatcher: one decoded request in, one answer out, every failure
// included. It runs the gates of the request's row in their order (version
// gate, permission refresh, action selection, authorization, scope and
// required field) and then the row's handler (dispatch_table.cpp).
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "model/records/halvardine_request.hpp"
#include "model/shared_enumerations.hpp"
#include "server/connection/dispatch_outcome.hpp"
#include "server/connection/request_dispatcher_features.hpp"

namespace zentrabo {

class RequestDispatcher {
public:
    using OutcomeCompletion = std::function<void(DispatchOutcome)>;

    explicit RequestDispatcher(RequestDispatcherFeatures features) : features_(features) {}
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // On the main loop: answers every request exactly once, through the
    // completion, on the main loop; before this returns unless the row
    // waits for other work.
    void dispatch(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                  const std::optional<std::string>& clientCertificateFingerprint, OutcomeCompletion completion);

    // A request answered on a network thread: the reply, and the settled
    // fingerprint whose use the main loop records later.
    struct OffLoopAnswer {
        HalvardineResponse response;
        std::string fingerprint;
    };
    // From any thread: the answer dispatch would give when that needs
    // nothing of the main loop but bookkeeping ("ping" from a settled
    // client), none for every other request, which goes to dispatch.
    std::optional<OffLoopAnswer> answerOffMainLoop(
        const HalvardineRequest& request, const std::optional<std::string>& clientCertificateFingerprint) const;
    // On the main loop, for requests answered off it: the rest of what
    // dispatch does for them, the permission refresh and the authorized
    // uses' records.
    void recordOffLoopAnswers(std::span<const AuthorizedUse> uses);

private:
    void refreshPermissions();

    RequestDispatcherFeatures features_;
};

}  // namespace zentrabo
