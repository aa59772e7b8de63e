#pragma once
// The machine-readable code of a failed reply, so a client can react to the
// kind of failure without parsing the message.
#include "platform/text/string_enum.hpp"

namespace zentrabo {

enum class HalvardineErrorCode {
    notAuthorized,
    extraAuthorizationRequired,
    pairingUnavailable,
    pairingCodeInvalid,
    accessibilityMissing,
    screenRecordingMissing,
    noFrontmostApplication,
    applicationRequired,
    applicationNotRunning,
    applicationNotFound,
    applicationUnresponsive,
    menuUnavailable,
    menuItemNotFound,
    menuItemDisabled,
    inputBlocked,
    modalDismissUnavailable,
    modalNotFound,
    urlRequired,
    shortcutNameRequired,
    clipboardTextRequired,
    textInputRequired,
    keyPressRequired,
    folderPathRequired,
    folderPathUnavailable,
    fileBrowserPathRequired,
    fileBrowserPathUnavailable,
    fileBrowserFileTooLarge,
    fileBrowserReadFailed,
    fileBrowserAccessBlocked,
    screenshotDisplayRequired,
    screenshotDisplayUnavailable,
    screenshotWindowUnavailable,
    screenshotCaptureFailed,
    fileTransferRequired,
    fileTransferTooLarge,
    fileTransferDestinationUnavailable,
    fileTransferFailed,
    invalidURL,
    actionFailed,
};

template <>
struct platform::StringEnumTraits<HalvardineErrorCode>
    : platform::RawValues<
          "notAuthorized", "extraAuthorizationRequired", "pairingUnavailable", "pairingCodeInvalid",
          "accessibilityMissing", "screenRecordingMissing", "noFrontmostApplication", "applicationRequired",
          "applicationNotRunning", "applicationNotFound", "applicationUnresponsive", "menuUnavailable",
          "menuItemNotFound", "menuItemDisabled", "inputBlocked", "modalDismissUnavailable", "modalNotFound",
          "urlRequired", "shortcutNameRequired", "clipboardTextRequired", "textInputRequired", "keyPressRequired",
          "folderPathRequired", "folderPathUnavailable", "fileBrowserPathRequired", "fileBrowserPathUnavailable",
          "fileBrowserFileTooLarge", "fileBrowserReadFailed", "fileBrowserAccessBlocked", "screenshotDisplayRequired",
          "screenshotDisplayUnavailable", "screenshotWindowUnavailable", "screenshotCaptureFailed",
          "fileTransferRequired", "fileTransferTooLarge", "fileTransferDestinationUnavailable", "fileTransferFailed",
          "invalidURL", "actionFailed"> {};
static_assert(platform::rawValue(HalvardineErrorCode::actionFailed) == "actionFailed");

}  // namespace zentrabo
