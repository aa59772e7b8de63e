#pragma once
// The one reply the server sends on a connection. Only id and ok are
// required; each operation fills the result members that belong to it.
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/dispatch/date.hpp"
#include "model/halvardine_error_code.hpp"
#include "model/json/model_record_json.hpp"
#include "model/records/application_records.hpp"
#include "model/records/display_records.hpp"
#include "model/records/file_records.hpp"
#include "model/records/menu_records.hpp"
#include "model/shared_enumerations.hpp"

namespace zentrabo {

struct HalvardineResponse {
    std::string id;
    bool ok = false;
    std::optional<std::string> error;
    std::optional<HalvardineErrorCode> errorCode;
    std::optional<std::string> token;
    std::optional<std::int64_t> serverProtocolVersion;
    std::optional<std::int64_t> minimumSupportedClientProtocolVersion;
    std::optional<std::string> serverAppVersion;
    std::optional<std::string> serverBuildNumber;
    std::optional<std::string> serverCertificateFingerprint;
    std::optional<std::string> clientCertificateFingerprint;
    std::optional<std::string> macName;
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    std::optional<MenuSnapshot> snapshot;
    std::optional<std::vector<RemoteApplicationInfo>> applications;
    std::optional<std::vector<RemoteApplicationIcon>> applicationIcons;
    std::optional<std::vector<RemoteApplicationWindowInfo>> applicationWindows;
    std::optional<RemoteModalInfo> modalInfo;
    std::optional<RemoteApplicationRecovery> applicationRecovery;
    std::optional<std::vector<RemoteDisplayInfo>> displays;
    std::optional<std::vector<RemoteScreenshot>> screenshots;
    std::optional<std::vector<RemoteDisplayWallpaper>> displayWallpapers;
    std::optional<std::vector<RemoteTransferredFile>> transferredFiles;
    std::optional<RemoteFileResource> fileResource;
    std::optional<HalvardineConnectionRoute> connectionRoute;
    std::optional<std::string> extraAuthorizationToken;
    std::optional<HalvardineExtraAuthorizationScope> extraAuthorizationScope;
    std::optional<platform::Date> extraAuthorizationExpiresAt;
    std::optional<HalvardineExtraAuthorizationSessionDuration> extraAuthorizationSessionDuration;

    static constexpr auto jsonFields() {
        using R = HalvardineResponse;
        return std::tuple{
            field("id", &R::id),
            field("ok", &R::ok),
            field("error", &R::error),
            field("errorCode", &R::errorCode),
            field("token", &R::token),
            field("serverProtocolVersion", &R::serverProtocolVersion),
            field("minimumSupportedClientProtocolVersion", &R::minimumSupportedClientProtocolVersion),
            field("serverAppVersion", &R::serverAppVersion),
            field("serverBuildNumber", &R::serverBuildNumber),
            field("serverCertificateFingerprint", &R::serverCertificateFingerprint),
            field("clientCertificateFingerprint", &R::clientCertificateFingerprint),
            field("macName", &R::macName),
            field("host", &R::host),
            field("port", &R::port),
            field("snapshot", &R::snapshot),
            field("applications", &R::applications),
            field("applicationIcons", &R::applicationIcons),
            field("applicationWindows", &R::applicationWindows),
            field("modalInfo", &R::modalInfo),
            field("applicationRecovery", &R::applicationRecovery),
            field("displays", &R::displays),
            field("screenshots", &R::screenshots),
            field("displayWallpapers", &R::displayWallpapers),
            field("transferredFiles", &R::transferredFiles),
            field("fileResource", &R::fileResource),
            field("connectionRoute", &R::connectionRoute),
            field("extraAuthorizationToken", &R::extraAuthorizationToken),
            field("extraAuthorizationScope", &R::extraAuthorizationScope),
            field("extraAuthorizationExpiresAt", &R::extraAuthorizationExpiresAt),
            field("extraAuthorizationSessionDuration", &R::extraAuthorizationSessionDuration),
        };
    }
};

}  // namespace zentrabo
