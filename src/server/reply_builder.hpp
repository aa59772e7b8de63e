#pragma once
// The replies that every request path shares: the server identity fields,
// the protocol-version gate, "Not authorized." and the reply made from a
// thrown error. None of them throws, and every one may be made on any
// thread.
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
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
    // authorization's session duration as they are when it is made. Made on
    // the main loop, which publishes both.
    ReplyBuilder(const ListenerStatus& listener,
                 const Published<HalvardineExtraAuthorizationSessionDuration>& sessionDuration);
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
    // The published fields a reply shows, copied on the main loop at every
    // change so that a network thread reads them under a lock of its own.
    struct ServerFields {
        std::optional<std::string> certificateFingerprint;
        std::optional<std::uint16_t> port;
        HalvardineExtraAuthorizationSessionDuration sessionDuration{};
    };
    class SharedServerFields {
    public:
        ServerFields read() const {
            std::lock_guard guard(mutex_);
            return fields_;
        }
        template <class Change>
        void change(Change change) {
            std::lock_guard guard(mutex_);
            change(fields_);
        }

    private:
        mutable std::mutex mutex_;
        ServerFields fields_;
    };

    // Shared with the observers, which the published values may outlive the
    // builder with.
    std::shared_ptr<SharedServerFields> fields_ = std::make_shared<SharedServerFields>();
};

}  // namespace zentrabo
