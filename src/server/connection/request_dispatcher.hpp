#pragma once
// The dispatcher: one decoded request in, one reply out, every failure
// included. It checks the protocol versions, authorizes the client, guards
// the protected scopes and hands each action to the feature that answers it.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "maccontrol/mac_menu_controller.hpp"
#include "model/records/halvardine_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "model/shared_enumerations.hpp"
#include "server/authorization/client_authorizer.hpp"
#include "server/extra_authorization/extra_authorization.hpp"
#include "server/files/receive_folder.hpp"
#include "server/pairing/pairing_window.hpp"
#include "server/permissions/permission_monitor.hpp"
#include "server/reply_builder.hpp"

namespace zentrabo {

// The features that answer requests; every one must outlive the dispatcher.
struct RequestDispatcherFeatures {
    PermissionMonitor& permissions;
    ClientAuthorizer& authorization;
    ExtraAuthorization& extraAuthorization;
    PairingWindow& pairing;
    ReceiveFolder& receiveFolder;
    MacMenuController& controller;
    const ReplyBuilder& replies;
};

// Held by a shared_ptr: a listing that answers later holds it weakly, so a
// reply that comes after it is gone does nothing.
class RequestDispatcher : public std::enable_shared_from_this<RequestDispatcher> {
public:
    using ResponseCompletion = std::function<void(HalvardineResponse)>;

    explicit RequestDispatcher(RequestDispatcherFeatures features) : features_(features) {}
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // Answers every request exactly once, through the completion, on the
    // main loop.
    void handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                const std::optional<std::string>& clientCertificateFingerprint, ResponseCompletion completion);

private:
    RequestDispatcherFeatures features_;
};

}  // namespace zentrabo
