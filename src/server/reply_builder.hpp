#pragma once
// The replies that every request path shares: the server identity fields,
// the protocol-version gate, "Not authorized." and the reply made from a
// thrown error. None of them throws.
#include <exception>
#include <optional>
#include <string>

#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "server/connection/listener_status.hpp"
#include "server/published.hpp"

namespace zentrabo {

class ReplyBuilder {
public:
    // Every reply shows the listener's port and fingerprint and the extra
    // authorization's session duration as they are when it is made; both
    // must outlive the builder.
    ReplyBuilder(const ListenerStatus& listener,
                 const Published<HalvardineExtraAuthorizationSessionDuration>& sessionDuration)
        : listener_(listener), sessionDuration_(sessionDuration) {}
    ReplyBuilder(const ReplyBuilder&) = delete;
    ReplyBuilder& operator=(const ReplyBuilder&) = delete;

    // A reply for the request's id carrying the server identity fields.
    HalvardineResponse identityResponse(std::string id, bool ok) const;
    // A failed reply when the request's protocol versions are not acceptable.
    std::optional<HalvardineResponse> protocolVersionFailureResponse(const HalvardineRequest& request) const;
    HalvardineResponse notAuthorizedResponse(std::string id) const;
    // Logs "Request failed: " with the message and code.
    HalvardineResponse errorResponse(std::string id, const std::exception& error) const;

private:
    const ListenerStatus& listener_;
    const Published<HalvardineExtraAuthorizationSessionDuration>& sessionDuration_;
};

}  // namespace zentrabo
