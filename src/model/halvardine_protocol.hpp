#pragma once
// Protocol version numbers and the fixed names of the protocol. Server and
// clients evolve separately: a feature is used only when the other side's
// version is at least the one at which the feature appeared.
#include <cstdint>
#include <optional>
#include <string_view>

namespace zentrabo {

struct HalvardineProtocol {
    // The version this server speaks.
    static constexpr int currentVersion = 22;
    static constexpr int minimumSupportedClientVersion = 1;
    static constexpr int minimumSupportedServerVersion = 1;

    // Versions at which features appeared.
    static constexpr int displayStreamVersion = 4;
    static constexpr int applicationWindowStreamVersion = 5;
    static constexpr int originalSizeStreamVersion = 8;
    static constexpr int streamWindowFittingVersion = 10;
    static constexpr int streamWindowSelectionVersion = 11;
    static constexpr int highQualityStreamVersion = 12;
    static constexpr int applicationWindowScreenshotVersion = 15;
    static constexpr int extraAuthorizationVersion = 16;
    static constexpr int streamAudioVersion = 17;
    static constexpr int clientNativeStreamSizingVersion = 19;

    static constexpr std::string_view serviceType = "_halvardine._tcp";
    static constexpr std::string_view urlScheme = "zentrabo";
    static constexpr std::string_view legacyURLScheme = "halvardine";
    static constexpr std::string_view appGroupIdentifier = "group.org.zentrabo.Halvardine";

    // Largest file the file browser returns, and largest file a workflow's
    // send-file step accepts; a file of exactly this size passes.
    static constexpr std::int64_t maximumFileResourceByteCount = 26214400;
    static constexpr std::int64_t maximumFileTransferByteCount = 26214400;

    // Exactly "zentrabo" or "halvardine", case-sensitive.
    static constexpr bool isSupportedURLScheme(std::optional<std::string_view> scheme) {
        return scheme && (*scheme == urlScheme || *scheme == legacyURLScheme);
    }
};

// The application's version and build number, as sent in the version fields
// of requests and responses.
std::string_view appVersion();
std::string_view buildNumber();

}  // namespace zentrabo
