#include "server/connection/request_dispatcher.hpp"

#include <array>
#include <string_view>
#include <utility>

#include "server/files/remote_file_resource.hpp"

namespace zentrabo {
namespace {

// The actions the server knows, matched by exact name in this order.
enum class Action {
    pair,
    ping,
    extraAuthorizationStatus,
    authorizeExtra,
    menu,
    applications,
    fileResource,
    openFile,
    activate,
    quit,
    restartApplication,
    openURL,
    run,
    modalInfo,
    dismissModal,
};

constexpr std::array<std::pair<std::string_view, Action>, 15> actions = {{
    {"pair", Action::pair},
    {"ping", Action::ping},
    {"extraAuthorizationStatus", Action::extraAuthorizationStatus},
    {"authorizeExtra", Action::authorizeExtra},
    {"menu", Action::menu},
    {"applications", Action::applications},
    {"fileResource", Action::fileResource},
    {"openFile", Action::openFile},
    {"activate", Action::activate},
    {"quit", Action::quit},
    {"restartApplication", Action::restartApplication},
    {"openURL", Action::openURL},
    {"run", Action::run},
    {"modalInfo", Action::modalInfo},
    {"dismissModal", Action::dismissModal},
}};

// The extra-authorization scope that guards an action, if any.
std::optional<HalvardineExtraAuthorizationScope> scopeOf(Action action) {
    switch (action) {
    case Action::fileResource:
    case Action::openFile:
        return HalvardineExtraAuthorizationScope::files;
    default:
        return std::nullopt;
    }
}

std::optional<Action> findAction(std::string_view name) {
    for (const auto& [actionName, action] : actions) {
        if (actionName == name) return action;
    }
    return std::nullopt;
}

// The actions the Mac controller carries out, their results filled into
// the reply; a failure throws the controller's error.
void performControllerAction(MacMenuController& controller, Action action, const HalvardineRequest& request,
                             HalvardineResponse& response) {
    switch (action) {
    case Action::menu:
        response.snapshot = controller.menuSnapshot(request.bundleIdentifier);
        break;
    case Action::applications:
        response.applications = controller.applications();
        break;
    case Action::run:
        if (!request.path) {
            response.ok = false;
            response.error = "No menu path was provided.";
            break;
        }
        // Requests press by exact titles; match modes are for workflows.
        controller.pressMenuItem(request.bundleIdentifier, *request.path, std::nullopt, std::nullopt);
        break;
    case Action::openFile:
        controller.openFolder(request.filePath);
        break;
    case Action::activate: {
        const auto application = controller.activateApplication(request.bundleIdentifier);
        controller.raiseApplication(*application, true);
        if (request.displayID) {
            controller.moveApplication(*application, *request.displayID);
            controller.raiseApplication(*application, true);
        }
        break;
    }
    case Action::quit:
        controller.quitApplication(request.bundleIdentifier);
        break;
    case Action::restartApplication:
        controller.restartApplication(request.bundleIdentifier);
        break;
    case Action::openURL:
        controller.openURL(request.urlString);
        break;
    case Action::modalInfo:
        response.modalInfo = controller.modalInfo(request.bundleIdentifier);
        break;
    case Action::dismissModal:
        // The reply says only that the button was pressed.
        controller.dismissModal(request.bundleIdentifier, request.modalButtonTitle, request.modalExpectedTitle);
        break;
    case Action::pair:
    case Action::ping:
    case Action::extraAuthorizationStatus:
    case Action::authorizeExtra:
    case Action::fileResource:
        break;
    }
}

}  // namespace

void RequestDispatcher::handle(const HalvardineRequest& request, HalvardineExtraAuthorizationChannel channel,
                               const std::optional<std::string>& clientCertificateFingerprint,
                               ResponseCompletion completion) {
    if (auto refusal = features_.replies.protocolVersionFailureResponse(request)) {
        completion(std::move(*refusal));
        return;
    }
    // The shown permissions follow a grant made in the settings at the
    // latest with the next request.
    features_.permissions.refreshAccessibilityAccess();
    features_.permissions.refreshScreenRecordingAccess();
    const auto action = findAction(request.action);
    if (!action) {
        // Answered without authorization: the name alone tells nothing.
        HalvardineResponse response = features_.replies.identityResponse(request.id, false);
        response.error = "Unknown action.";
        completion(std::move(response));
        return;
    }
    // Every action but pairing needs a paired client.
    std::optional<std::string> fingerprint;
    if (*action != Action::pair) {
        fingerprint = features_.authorization.authorizeClient(clientCertificateFingerprint, channel);
        if (!fingerprint) {
            completion(features_.replies.notAuthorizedResponse(request.id));
            return;
        }
    }
    // The one action that answers later: it waits for a password check.
    if (*action == Action::authorizeExtra) {
        features_.extraAuthorization.authorizeExtra(request, channel, *fingerprint, std::move(completion));
        return;
    }
    if (const auto scope = scopeOf(*action)) {
        if (auto refusal =
                features_.extraAuthorization.requireExtraAuthorization(*scope, request, channel, *fingerprint)) {
            completion(std::move(*refusal));
            return;
        }
    }
    if (*action == Action::fileResource) {
        // The listing runs off the main loop; the reply follows when it or
        // its timeout finishes.
        features_.receiveFolder.remoteFileResource(
            fileResourceQuery(request), [weakSelf = weak_from_this(), id = request.id,
                                         completion = std::move(completion)](RemoteFileResourceResult result) {
                const auto self = weakSelf.lock();
                if (!self) return;
                if (auto* resource = std::get_if<RemoteFileResource>(&result)) {
                    HalvardineResponse response = self->features_.replies.identityResponse(id, true);
                    response.fileResource = std::move(*resource);
                    completion(std::move(response));
                    return;
                }
                try {
                    std::rethrow_exception(std::get<std::exception_ptr>(result));
                } catch (const std::exception& error) {
                    completion(self->features_.replies.errorResponse(id, error));
                }
            });
        return;
    }
    HalvardineResponse response;
    try {
        switch (*action) {
        case Action::pair:
            response = features_.pairing.handlePairRequest(request, clientCertificateFingerprint, channel);
            break;
        case Action::extraAuthorizationStatus:
            response = features_.extraAuthorization.status(request, channel, *fingerprint);
            break;
        default:
            // The identity fields read the host name and the interface list:
            // gathered once, for the reply the action fills in.
            response = features_.replies.identityResponse(request.id, true);
            performControllerAction(features_.controller, *action, request, response);
            break;
        }
    } catch (const std::exception& error) {
        response = features_.replies.errorResponse(request.id, error);
    }
    completion(std::move(response));
}

}  // namespace zentrabo
