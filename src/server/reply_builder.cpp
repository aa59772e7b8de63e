#include "server/reply_builder.hpp"

#include <string>
#include <utility>

#include "maccontrol/mac_menu_error.hpp"
#include "model/diagnostic_log.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/host/host_address.hpp"
#include "platform/text/log_escape.hpp"
#include "server/mac_name.hpp"

namespace zentrabo {
namespace {

std::optional<std::string> nonEmpty(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return std::string(text);
}

HalvardineResponse failed(HalvardineResponse response, std::string message, std::optional<HalvardineErrorCode> code) {
    response.error = std::move(message);
    response.errorCode = code;
    return response;
}

}  // namespace

ReplyBuilder::ReplyBuilder(const ListenerStatus& listener,
                           const Published<HalvardineExtraAuthorizationSessionDuration>& sessionDuration) {
    fields_->change([&](ServerFields& fields) {
        fields.certificateFingerprint = *listener.serverCertificateFingerprint();
        fields.port = *listener.port();
        fields.sessionDuration = *sessionDuration;
    });
    listener.serverCertificateFingerprint().observe([fields = fields_](const std::optional<std::string>& value) {
        fields->change([&](ServerFields& each) { each.certificateFingerprint = value; });
    });
    listener.port().observe([fields = fields_](const std::optional<std::uint16_t>& value) {
        fields->change([&](ServerFields& each) { each.port = value; });
    });
    sessionDuration.observe([fields = fields_](HalvardineExtraAuthorizationSessionDuration value) {
        fields->change([&](ServerFields& each) { each.sessionDuration = value; });
    });
}

HalvardineResponse ReplyBuilder::identityResponse(std::string id, bool ok) const {
    HalvardineResponse response;
    response.id = std::move(id);
    response.ok = ok;
    response.serverProtocolVersion = HalvardineProtocol::currentVersion;
    response.minimumSupportedClientProtocolVersion = HalvardineProtocol::minimumSupportedClientVersion;
    response.serverAppVersion = nonEmpty(appVersion());
    response.serverBuildNumber = nonEmpty(buildNumber());
    ServerFields fields = fields_->read();
    response.serverCertificateFingerprint = std::move(fields.certificateFingerprint);
    // The name and the address may change while the server runs: a reply
    // shows them at most a second old.
    response.macName = recentMacName();
    response.host = platform::recentPrimaryLocalIPv4Address();
    response.port = fields.port;
    response.extraAuthorizationSessionDuration = fields.sessionDuration;
    return response;
}

std::optional<HalvardineResponse> ReplyBuilder::protocolVersionFailureResponse(const HalvardineRequest& request) const {
    if (request.clientProtocolVersion &&
        *request.clientProtocolVersion < HalvardineProtocol::minimumSupportedClientVersion) {
        return failed(identityResponse(request.id, false),
                      "Update Zentrabo on this device. The Mac server requires a newer client "
                      "version.",
                      HalvardineErrorCode::actionFailed);
    }
    if (request.minimumSupportedServerProtocolVersion &&
        *request.minimumSupportedServerProtocolVersion > HalvardineProtocol::currentVersion) {
        return failed(identityResponse(request.id, false),
                      "Update Zentrabo Server on this Mac. This action requires a newer server "
                      "version.",
                      HalvardineErrorCode::actionFailed);
    }
    return std::nullopt;
}

HalvardineResponse ReplyBuilder::notAuthorizedResponse(std::string id) const {
    return failed(identityResponse(std::move(id), false), "Not authorized.", HalvardineErrorCode::notAuthorized);
}

HalvardineResponse ReplyBuilder::errorResponse(std::string id, const std::exception& error) const {
    const auto* macError = dynamic_cast<const MacMenuError*>(&error);
    std::string message = error.what();
    std::optional<HalvardineErrorCode> code;
    if (macError) code = macError->errorCode();

    // Error messages quote request fields (bundle identifiers, paths, titles).
    ZENTRABO_LOG("Request failed: " + platform::escapeForLog(message) +
                 ", code=" + std::string(code ? platform::rawValue(*code) : "none"));

    HalvardineResponse response = failed(identityResponse(std::move(id), false), std::move(message), code);
    if (macError) {
        if (const RemoteModalInfo* modal = macError->modal()) response.modalInfo = *modal;
        if (const auto* application = macError->unresponsiveApplication();
            application && application->bundleIdentifier) {
            response.applicationRecovery = RemoteApplicationRecovery{application->name, *application->bundleIdentifier};
        }
    }
    return response;
}

}  // namespace zentrabo
