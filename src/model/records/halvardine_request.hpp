#pragma once
// The one message a device sends on a connection. Only id and action are
// required; each operation reads the members it needs.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/stream_records.hpp"
#include "model/records/workflow_step.hpp"
#include "model/shared_enumerations.hpp"

namespace zentrabo {

struct HalvardineRequest {
    std::string id;
    std::string action;
    std::optional<std::string> token;
    std::optional<std::int64_t> clientProtocolVersion;
    std::optional<std::int64_t> minimumSupportedServerProtocolVersion;
    std::optional<std::string> clientAppVersion;
    std::optional<std::string> clientBuildNumber;
    std::optional<std::string> clientName;
    std::optional<std::string> pairingCode;
    std::optional<std::string> pairingNonce;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::vector<std::string>> bundleIdentifiers;
    std::optional<std::uint32_t> displayID;
    std::optional<std::vector<std::string>> path;
    std::optional<std::string> urlString;
    std::optional<std::vector<MenuWorkflowStep>> workflowSteps;
    std::optional<std::string> modalButtonTitle;
    std::optional<std::string> modalExpectedTitle;
    std::optional<std::string> filePath;
    std::optional<RemoteFileSortField> fileSortField;
    std::optional<RemoteFileSortDirection> fileSortDirection;
    std::optional<bool> includesHiddenFiles;
    std::optional<bool> includesFileData;
    std::optional<RemoteScreenStreamRequest> screenStream;
    std::optional<HalvardineExtraAuthorizationScope> extraAuthorizationScope;
    std::optional<std::string> extraAuthorizationPassword;
    std::optional<std::string> extraAuthorizationToken;

    static constexpr auto jsonFields() {
        using R = HalvardineRequest;
        return std::tuple{
            field("id", &R::id),
            field("action", &R::action),
            field("token", &R::token),
            field("clientProtocolVersion", &R::clientProtocolVersion),
            field("minimumSupportedServerProtocolVersion", &R::minimumSupportedServerProtocolVersion),
            field("clientAppVersion", &R::clientAppVersion),
            field("clientBuildNumber", &R::clientBuildNumber),
            field("clientName", &R::clientName),
            field("pairingCode", &R::pairingCode),
            field("pairingNonce", &R::pairingNonce),
            field("bundleIdentifier", &R::bundleIdentifier),
            field("bundleIdentifiers", &R::bundleIdentifiers),
            field("displayID", &R::displayID),
            field("path", &R::path),
            field("urlString", &R::urlString),
            field("workflowSteps", &R::workflowSteps),
            field("modalButtonTitle", &R::modalButtonTitle),
            field("modalExpectedTitle", &R::modalExpectedTitle),
            field("filePath", &R::filePath),
            field("fileSortField", &R::fileSortField),
            field("fileSortDirection", &R::fileSortDirection),
            field("includesHiddenFiles", &R::includesHiddenFiles),
            field("includesFileData", &R::includesFileData),
            field("screenStream", &R::screenStream),
            field("extraAuthorizationScope", &R::extraAuthorizationScope),
            field("extraAuthorizationPassword", &R::extraAuthorizationPassword),
            field("extraAuthorizationToken", &R::extraAuthorizationToken),
        };
    }
};

}  // namespace zentrabo
