#include "model/halvardine_error_code.hpp"
#include "model/halvardine_protocol.hpp"
#include "model/shared_enumerations.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zentrabo {
namespace {

template <platform::StringEnum E>
std::vector<std::string> rawValuesOf() {
    std::vector<std::string> texts;
    for (const E value : platform::allCases<E>()) {
        texts.emplace_back(platform::rawValue(value));
        E decoded{};
        EXPECT_TRUE(platform::fromRawValue(platform::rawValue(value), decoded)) << texts.back();
        EXPECT_EQ(decoded, value) << texts.back();
    }
    return texts;
}

TEST(ErrorCodeTest, EveryCodeRoundTripsByItsExactName) {
    const std::vector<std::string> expected = {"notAuthorized",
                                               "extraAuthorizationRequired",
                                               "pairingUnavailable",
                                               "pairingCodeInvalid",
                                               "accessibilityMissing",
                                               "screenRecordingMissing",
                                               "noFrontmostApplication",
                                               "applicationRequired",
                                               "applicationNotRunning",
                                               "applicationNotFound",
                                               "applicationUnresponsive",
                                               "menuUnavailable",
                                               "menuItemNotFound",
                                               "menuItemDisabled",
                                               "inputBlocked",
                                               "modalDismissUnavailable",
                                               "modalNotFound",
                                               "urlRequired",
                                               "shortcutNameRequired",
                                               "clipboardTextRequired",
                                               "textInputRequired",
                                               "keyPressRequired",
                                               "folderPathRequired",
                                               "folderPathUnavailable",
                                               "fileBrowserPathRequired",
                                               "fileBrowserPathUnavailable",
                                               "fileBrowserFileTooLarge",
                                               "fileBrowserReadFailed",
                                               "fileBrowserAccessBlocked",
                                               "screenshotDisplayRequired",
                                               "screenshotDisplayUnavailable",
                                               "screenshotWindowUnavailable",
                                               "screenshotCaptureFailed",
                                               "fileTransferRequired",
                                               "fileTransferTooLarge",
                                               "fileTransferDestinationUnavailable",
                                               "fileTransferFailed",
                                               "invalidURL",
                                               "actionFailed"};
    EXPECT_EQ(rawValuesOf<HalvardineErrorCode>(), expected);
    EXPECT_EQ(static_cast<int>(HalvardineErrorCode::fileBrowserAccessBlocked), 28);

    HalvardineErrorCode code = HalvardineErrorCode::actionFailed;
    EXPECT_FALSE(platform::fromRawValue("NotAuthorized", code));
    EXPECT_FALSE(platform::fromRawValue("notAuthorized ", code));
    EXPECT_FALSE(platform::fromRawValue("", code));
    EXPECT_EQ(code, HalvardineErrorCode::actionFailed) << "a failed lookup leaves the value alone";
}

TEST(SharedEnumerationTest, CasesAndTextsInDeclarationOrder) {
    EXPECT_EQ(rawValuesOf<HalvardineExtraAuthorizationScope>(),
              (std::vector<std::string>{"stream", "files", "workflows"}));
    EXPECT_EQ(rawValuesOf<HalvardineExtraAuthorizationChannel>(), (std::vector<std::string>{"local", "relay"}));
    EXPECT_EQ(rawValuesOf<HalvardineExtraAuthorizationSessionDuration>(),
              (std::vector<std::string>{"background", "short", "standard", "long"}));
    EXPECT_EQ(rawValuesOf<FileTransferSource>(), (std::vector<std::string>{"file", "photo"}));
    EXPECT_EQ(rawValuesOf<HalvardineConnectionRoute>(),
              (std::vector<std::string>{"localHost", "localService", "relay"}));
    EXPECT_EQ(rawValuesOf<RemoteFileResourceKind>(), (std::vector<std::string>{"file", "directory"}));
    EXPECT_EQ(rawValuesOf<RemoteFileSortField>(), (std::vector<std::string>{"name", "modificationDate", "size"}));
    EXPECT_EQ(rawValuesOf<RemoteFileSortDirection>(), (std::vector<std::string>{"ascending", "descending"}));
    EXPECT_EQ(rawValuesOf<WorkflowWidgetActivityState>(), (std::vector<std::string>{"running", "succeeded", "failed"}));
    EXPECT_EQ(rawValuesOf<RemoteScreenStreamQualityProfile>(),
              (std::vector<std::string>{"original", "retinaText", "high", "medium", "low", "veryLow"}));
    EXPECT_EQ(rawValuesOf<HalvardineRelayConnectionState>(),
              (std::vector<std::string>{"disabled", "connecting", "connected", "failed"}));
}

TEST(SharedEnumerationTest, TitlesAndSessionDurations) {
    using Duration = HalvardineExtraAuthorizationSessionDuration;
    EXPECT_EQ(title(HalvardineExtraAuthorizationScope::workflows), "Workflows");
    EXPECT_EQ(title(HalvardineExtraAuthorizationChannel::relay), "Relay");

    Duration duration = Duration::standard;
    EXPECT_FALSE(platform::fromRawValue("5 min", duration));
    EXPECT_FALSE(platform::fromRawValue("Short", duration));
    EXPECT_TRUE(platform::fromRawValue("short", duration));
    EXPECT_EQ(duration, Duration::short_);
    EXPECT_EQ(title(duration), "5 min");
    EXPECT_EQ(summary(duration), "5 minutes");
    EXPECT_EQ(timeInterval(duration), 300);
    EXPECT_EQ(timeInterval(Duration::standard), 900);

    // Same length, different sessions.
    EXPECT_EQ(timeInterval(Duration::background), timeInterval(Duration::long_));
    EXPECT_NE(Duration::background, Duration::long_);
    EXPECT_EQ(title(Duration::background), "Enter Background");
    EXPECT_EQ(summary(Duration::background), "until the client app enters background");
    EXPECT_EQ(title(Duration::long_), "60 min");
    EXPECT_TRUE(isBackground(Duration::background));
    EXPECT_FALSE(isBackground(Duration::long_));
}

TEST(ProtocolTest, SupportedURLSchemesAreExact) {
    EXPECT_TRUE(HalvardineProtocol::isSupportedURLScheme("zentrabo"));
    EXPECT_TRUE(HalvardineProtocol::isSupportedURLScheme("halvardine"));
    EXPECT_FALSE(HalvardineProtocol::isSupportedURLScheme("ZENTRABO"));
    EXPECT_FALSE(HalvardineProtocol::isSupportedURLScheme("Halvardine"));
    EXPECT_FALSE(HalvardineProtocol::isSupportedURLScheme(std::nullopt));
    EXPECT_FALSE(HalvardineProtocol::isSupportedURLScheme(""));
    EXPECT_FALSE(appVersion().empty());
    EXPECT_FALSE(buildNumber().empty());
}

}  // namespace
}  // namespace zentrabo
