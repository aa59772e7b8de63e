#include "maccontrol/mac_menu_error.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace zentrabo {
namespace {

using Case = MacMenuError::Case;

using Code = HalvardineErrorCode;

RemoteModalInfo modal(std::optional<std::string> title, std::optional<std::string> message,
                      std::string role = "AXSheet") {
    RemoteModalInfo info;
    info.title = std::move(title);
    info.role = std::move(role);
    info.message = std::move(message);
    info.buttonTitles = {"OK", "Cancel"};
    return info;
}

struct Expected {
    MacMenuError error;
    std::string message;
    Code code;
};

std::vector<Expected> everyCase() {
    const RemoteModalInfo save = modal("Save changes?", std::nullopt);
    return {
        {MacMenuError(Case::applicationNotFound, "com.example.Notes"), "Application not found: com.example.Notes",
         Code::applicationNotFound},
        {MacMenuError(Case::applicationUnresponsive, "Notes", "com.example.Notes"), "Notes is not responding.",
         Code::applicationUnresponsive},
        {MacMenuError(Case::menuItemNotFound, "Export"), "Menu item not found: Export", Code::menuItemNotFound},
        {MacMenuError(Case::menuItemDisabled, "Paste"), "Menu item is disabled: Paste", Code::menuItemDisabled},
        {MacMenuError(Case::inputBlocked, save), "Input is blocked by a modal window: Save changes?",
         Code::inputBlocked},
        {MacMenuError(Case::modalDismissUnavailable, save),
         "No dismiss action was found for modal window: Save changes?", Code::modalDismissUnavailable},
        {MacMenuError(Case::modalMismatch, save, "Print"), "Modal window does not match Print: Save changes?",
         Code::modalDismissUnavailable},
        {MacMenuError(Case::keyPressUnsupported, "hyper"), "Unsupported key: hyper", Code::keyPressRequired},
        {MacMenuError(Case::folderPathUnavailable, "/nope"), "The path is not available: /nope",
         Code::folderPathUnavailable},
        {MacMenuError(Case::fileBrowserPathUnavailable, "/nope"), "The path is not available: /nope",
         Code::fileBrowserPathUnavailable},
        {MacMenuError(Case::fileBrowserFileTooLarge, 26214401),
         "The file is too large to preview. Choose a file up to 25 MB.", Code::fileBrowserFileTooLarge},
        {MacMenuError(Case::fileBrowserReadFailed, "Permission denied"),
         "The file could not be loaded: Permission denied", Code::fileBrowserReadFailed},
        {MacMenuError(Case::fileBrowserAccessBlocked, "/Users/me/Desktop"),
         "macOS is waiting for local folder access on the Mac: /Users/me/Desktop. Confirm or "
         "cancel the permission dialog on the Mac, then try again.",
         Code::fileBrowserAccessBlocked},
        {MacMenuError(Case::screenshotDisplayUnavailable, "Studio Display"),
         "The selected monitor is not available: Studio Display", Code::screenshotDisplayUnavailable},
        {MacMenuError(Case::screenshotWindowUnavailable, "Notes"), "No visible window was found for Notes.",
         Code::screenshotWindowUnavailable},
        {MacMenuError(Case::fileTransferDestinationUnavailable, "/in"), "The file destination is not available: /in",
         Code::fileTransferDestinationUnavailable},
        {MacMenuError(Case::fileTransferFailed, "disk full"), "The file could not be saved: disk full",
         Code::fileTransferFailed},
        {MacMenuError(Case::unsupportedWorkflowStep, "teleport"),
         "Unsupported workflow step: teleport. Update Zentrabo Server on the Mac and try again.", Code::actionFailed},
        {MacMenuError(Case::invalidURL, "ht!tp"), "Invalid URL: ht!tp", Code::invalidURL},
        {MacMenuError(Case::accessibilityMissing), "Accessibility access is missing.", Code::accessibilityMissing},
        {MacMenuError(Case::screenRecordingMissing),
         "Screen Recording permission is missing. Grant it to Zentrabo Server in System Settings, "
         "then restart the server.",
         Code::screenRecordingMissing},
        {MacMenuError(Case::noFrontmostApplication), "No active app was found.", Code::noFrontmostApplication},
        {MacMenuError(Case::applicationRequired), "An application is required.", Code::applicationRequired},
        {MacMenuError(Case::applicationNotRunning), "The target app is not running.", Code::applicationNotRunning},
        {MacMenuError(Case::menuUnavailable), "The app menu bar is not available.", Code::menuUnavailable},
        {MacMenuError(Case::modalNotFound), "No modal window was found.", Code::modalNotFound},
        {MacMenuError(Case::urlRequired), "A URL is required.", Code::urlRequired},
        {MacMenuError(Case::shortcutNameRequired), "A shortcut name is required.", Code::shortcutNameRequired},
        {MacMenuError(Case::clipboardTextRequired), "Clipboard text is required.", Code::clipboardTextRequired},
        {MacMenuError(Case::textInputRequired), "Text input is required.", Code::textInputRequired},
        {MacMenuError(Case::keyPressRequired), "A key is required.", Code::keyPressRequired},
        {MacMenuError(Case::folderPathRequired), "A folder path is required.", Code::folderPathRequired},
        {MacMenuError(Case::screenshotDisplayRequired), "A monitor must be selected before this workflow can run.",
         Code::screenshotDisplayRequired},
        {MacMenuError(Case::screenshotCaptureFailed), "The screenshot could not be captured.",
         Code::screenshotCaptureFailed},
        {MacMenuError(Case::fileTransferRequired), "A file or photo must be selected before this workflow can run.",
         Code::fileTransferRequired},
        {MacMenuError(Case::fileTransferTooLarge), "The selected file is too large. Choose a file up to 25 MB.",
         Code::fileTransferTooLarge},
        {MacMenuError(Case::actionFailed), "The menu action could not be performed.", Code::actionFailed},
    };
}

TEST(MacMenuErrorTest, EveryCaseHasItsMessageAndCode) {
    const auto cases = everyCase();
    ASSERT_EQ(cases.size(), static_cast<std::size_t>(MacMenuError::caseCount));
    std::set<MacMenuError::Case> seen;
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.message);
        seen.insert(expected.error.errorCase());
        EXPECT_EQ(expected.error.errorDescription(), expected.message);
        EXPECT_STREQ(expected.error.what(), expected.message.c_str());
        EXPECT_EQ(expected.error.errorCode(), expected.code);
    }
    EXPECT_EQ(seen.size(), cases.size());
}

TEST(MacMenuErrorTest, NoCaseProducesAServerOnlyCode) {
    const std::set<Code> serverOnly = {Code::notAuthorized, Code::extraAuthorizationRequired, Code::pairingUnavailable,
                                       Code::pairingCodeInvalid, Code::fileBrowserPathRequired};
    for (const auto& expected : everyCase()) {
        EXPECT_EQ(serverOnly.count(expected.error.errorCode()), 0u) << expected.message;
    }
}

TEST(MacMenuErrorTest, ModalDisplayTitleFallsBackToMessageThenRole) {
    EXPECT_EQ(MacMenuError(Case::inputBlocked, modal("", "Do you want to save?")).errorDescription(),
              "Input is blocked by a modal window: Do you want to save?");
    EXPECT_EQ(MacMenuError(Case::inputBlocked, modal(std::nullopt, std::nullopt, "AXDialog")).errorDescription(),
              "Input is blocked by a modal window: AXDialog");
    // A title of spaces is not empty and stays the display title.
    EXPECT_EQ(MacMenuError(Case::modalDismissUnavailable, modal("  ", "text")).errorDescription(),
              "No dismiss action was found for modal window:   ");
}

TEST(MacMenuErrorTest, PayloadsTheServerReadsAreKept) {
    const auto mismatch = MacMenuError(Case::modalMismatch, modal("Print", std::nullopt), "Save");
    ASSERT_NE(mismatch.modal(), nullptr);
    EXPECT_EQ(mismatch.modal()->title, "Print");
    ASSERT_NE(mismatch.text(), nullptr);
    EXPECT_EQ(*mismatch.text(), "Save");

    const auto unresponsive = MacMenuError(Case::applicationUnresponsive, "Notes", std::nullopt);
    ASSERT_NE(unresponsive.unresponsiveApplication(), nullptr);
    EXPECT_EQ(unresponsive.unresponsiveApplication()->name, "Notes");
    EXPECT_FALSE(unresponsive.unresponsiveApplication()->bundleIdentifier.has_value());
    EXPECT_EQ(unresponsive.modal(), nullptr);

    EXPECT_EQ(MacMenuError(Case::fileBrowserFileTooLarge, 1).errorDescription(),
              MacMenuError(Case::fileBrowserFileTooLarge, 1'000'000'000).errorDescription());
    EXPECT_EQ(MacMenuError(Case::fileBrowserFileTooLarge, 42).fileSize(), 42);

    const auto none = MacMenuError(Case::actionFailed);
    EXPECT_EQ(none.text(), nullptr);
    EXPECT_EQ(none.modal(), nullptr);
    EXPECT_EQ(none.unresponsiveApplication(), nullptr);
    EXPECT_FALSE(none.fileSize().has_value());
}

TEST(MacMenuErrorTest, ValuesAreInsertedVerbatim) {
    // Format characters in a value are text, never placeholders.
    EXPECT_EQ(MacMenuError(Case::unsupportedWorkflowStep, "%@ %d").errorDescription(),
              "Unsupported workflow step: %@ %d. Update Zentrabo Server on the Mac and try again.");
    // A placeholder in the first value must not take the second value.
    EXPECT_EQ(MacMenuError(Case::modalMismatch, modal("Print {}", std::nullopt), "Save {}").errorDescription(),
              "Modal window does not match Save {}: Print {}");
}

}  // namespace
}  // namespace zentrabo
