#pragma once
// The dispatcher: one decoded request in, one answer out, every failure
// included. It runs the gates of the request's row in their order (version
// gate, permission refresh, action selection, authorization, scope and
// required field) and then the row's handler (dispatch_table.cpp).
#include <functional>
#include <optional>
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

private:
    RequestDispatcherFeatures features_;
};

}  // namespace zentrabo
