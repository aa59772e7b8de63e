#include "maccontrol/mac_menu_error.hpp"

#include <utility>

namespace zentrabo {
namespace {

using Case = MacMenuError::Case;

// Messages of the cases that carry no value (fileBrowserFileTooLarge is
// built the same way: its size is never shown).
const char* fixedMessage(Case errorCase) {
    switch (errorCase) {
    case Case::fileBrowserFileTooLarge:
        return "The file is too large to preview. Choose a file up to 25 MB.";
    case Case::accessibilityMissing:
        return "Accessibility access is missing.";
    case Case::screenRecordingMissing:
        return "Screen Recording permission is missing. Grant it to Zentrabo Server in System "
               "Settings, then restart the server.";
    case Case::noFrontmostApplication:
        return "No active app was found.";
    case Case::applicationRequired:
        return "An application is required.";
    case Case::applicationNotRunning:
        return "The target app is not running.";
    case Case::menuUnavailable:
        return "The app menu bar is not available.";
    case Case::modalNotFound:
        return "No modal window was found.";
    case Case::urlRequired:
        return "A URL is required.";
    case Case::shortcutNameRequired:
        return "A shortcut name is required.";
    case Case::clipboardTextRequired:
        return "Clipboard text is required.";
    case Case::textInputRequired:
        return "Text input is required.";
    case Case::keyPressRequired:
        return "A key is required.";
    case Case::folderPathRequired:
        return "A folder path is required.";
    case Case::screenshotDisplayRequired:
        return "A monitor must be selected before this workflow can run.";
    case Case::screenshotCaptureFailed:
        return "The screenshot could not be captured.";
    case Case::fileTransferRequired:
        return "A file or photo must be selected before this workflow can run.";
    case Case::fileTransferTooLarge:
        return "The selected file is too large. Choose a file up to 25 MB.";
    case Case::actionFailed:
        return "The menu action could not be performed.";
    default:
        return nullptr;
    }
}

// Message of a case with one text value: prefix, value, suffix.
std::string textMessage(Case errorCase, const std::string& value) {
    const char* prefix = "";
    const char* suffix = "";
    switch (errorCase) {
    case Case::applicationNotFound:
        prefix = "Application not found: ";
        break;
    case Case::menuItemNotFound:
        prefix = "Menu item not found: ";
        break;
    case Case::menuItemDisabled:
        prefix = "Menu item is disabled: ";
        break;
    case Case::keyPressUnsupported:
        prefix = "Unsupported key: ";
        break;
    case Case::folderPathUnavailable:
    case Case::fileBrowserPathUnavailable:
        prefix = "The path is not available: ";
        break;
    case Case::fileBrowserReadFailed:
        prefix = "The file could not be loaded: ";
        break;
    case Case::fileBrowserAccessBlocked:
        prefix = "macOS is waiting for local folder access on the Mac: ";
        suffix = ". Confirm or cancel the permission dialog on the Mac, then try again.";
        break;
    case Case::screenshotDisplayUnavailable:
        prefix = "The selected monitor is not available: ";
        break;
    case Case::screenshotWindowUnavailable:
        prefix = "No visible window was found for ";
        suffix = ".";
        break;
    case Case::fileTransferDestinationUnavailable:
        prefix = "The file destination is not available: ";
        break;
    case Case::fileTransferFailed:
        prefix = "The file could not be saved: ";
        break;
    case Case::unsupportedWorkflowStep:
        prefix = "Unsupported workflow step: ";
        suffix = ". Update Zentrabo Server on the Mac and try again.";
        break;
    case Case::invalidURL:
        prefix = "Invalid URL: ";
        break;
    default:
        break;
    }
    return prefix + value + suffix;
}

}  // namespace

MacMenuError::MacMenuError(Case errorCase, Payload payload) : case_(errorCase), payload_(std::move(payload)) {
    if (const char* fixed = fixedMessage(case_)) {
        description_ = fixed;
        return;
    }
    switch (case_) {
    case Case::applicationUnresponsive:
        // Only the name is shown; the bundle identifier is for recovery.
        description_ = std::get<UnresponsiveApplication>(payload_).name + " is not responding.";
        break;
    case Case::inputBlocked:
        description_ = "Input is blocked by a modal window: " + std::get<RemoteModalInfo>(payload_).displayTitle();
        break;
    case Case::modalDismissUnavailable:
        description_ =
            "No dismiss action was found for modal window: " + std::get<RemoteModalInfo>(payload_).displayTitle();
        break;
    case Case::modalMismatch: {
        const auto& mismatch = std::get<ModalMismatch>(payload_);
        description_ = "Modal window does not match " + mismatch.expectedTitle + ": " + mismatch.modal.displayTitle();
        break;
    }
    default:
        description_ = textMessage(case_, std::get<std::string>(payload_));
        break;
    }
}

MacMenuError MacMenuError::applicationNotFound(std::string name) {
    return MacMenuError(Case::applicationNotFound, std::move(name));
}
MacMenuError MacMenuError::menuItemNotFound(std::string title) {
    return MacMenuError(Case::menuItemNotFound, std::move(title));
}
MacMenuError MacMenuError::menuItemDisabled(std::string title) {
    return MacMenuError(Case::menuItemDisabled, std::move(title));
}
MacMenuError MacMenuError::keyPressUnsupported(std::string key) {
    return MacMenuError(Case::keyPressUnsupported, std::move(key));
}
MacMenuError MacMenuError::folderPathUnavailable(std::string path) {
    return MacMenuError(Case::folderPathUnavailable, std::move(path));
}
MacMenuError MacMenuError::fileBrowserPathUnavailable(std::string path) {
    return MacMenuError(Case::fileBrowserPathUnavailable, std::move(path));
}
MacMenuError MacMenuError::fileBrowserReadFailed(std::string description) {
    return MacMenuError(Case::fileBrowserReadFailed, std::move(description));
}
MacMenuError MacMenuError::fileBrowserAccessBlocked(std::string path) {
    return MacMenuError(Case::fileBrowserAccessBlocked, std::move(path));
}
MacMenuError MacMenuError::screenshotDisplayUnavailable(std::string display) {
    return MacMenuError(Case::screenshotDisplayUnavailable, std::move(display));
}
MacMenuError MacMenuError::screenshotWindowUnavailable(std::string window) {
    return MacMenuError(Case::screenshotWindowUnavailable, std::move(window));
}
MacMenuError MacMenuError::fileTransferDestinationUnavailable(std::string destination) {
    return MacMenuError(Case::fileTransferDestinationUnavailable, std::move(destination));
}
MacMenuError MacMenuError::fileTransferFailed(std::string description) {
    return MacMenuError(Case::fileTransferFailed, std::move(description));
}
MacMenuError MacMenuError::unsupportedWorkflowStep(std::string kind) {
    return MacMenuError(Case::unsupportedWorkflowStep, std::move(kind));
}
MacMenuError MacMenuError::invalidURL(std::string url) { return MacMenuError(Case::invalidURL, std::move(url)); }
MacMenuError MacMenuError::applicationUnresponsive(std::string name, std::optional<std::string> bundleIdentifier) {
    return MacMenuError(Case::applicationUnresponsive,
                        UnresponsiveApplication{std::move(name), std::move(bundleIdentifier)});
}
MacMenuError MacMenuError::inputBlocked(RemoteModalInfo modal) {
    return MacMenuError(Case::inputBlocked, std::move(modal));
}
MacMenuError MacMenuError::modalDismissUnavailable(RemoteModalInfo modal) {
    return MacMenuError(Case::modalDismissUnavailable, std::move(modal));
}
MacMenuError MacMenuError::modalMismatch(RemoteModalInfo modal, std::string expectedTitle) {
    return MacMenuError(Case::modalMismatch, ModalMismatch{std::move(modal), std::move(expectedTitle)});
}
MacMenuError MacMenuError::fileBrowserFileTooLarge(std::int64_t size) {
    return MacMenuError(Case::fileBrowserFileTooLarge, size);
}

HalvardineErrorCode MacMenuError::errorCode() const noexcept {
    using Code = HalvardineErrorCode;
    switch (case_) {
    case Case::applicationNotFound:
        return Code::applicationNotFound;
    case Case::applicationUnresponsive:
        return Code::applicationUnresponsive;
    case Case::menuItemNotFound:
        return Code::menuItemNotFound;
    case Case::menuItemDisabled:
        return Code::menuItemDisabled;
    case Case::inputBlocked:
        return Code::inputBlocked;
    case Case::modalDismissUnavailable:
        return Code::modalDismissUnavailable;
    // Three cases share the code of a neighbouring condition.
    case Case::modalMismatch:
        return Code::modalDismissUnavailable;
    case Case::keyPressUnsupported:
        return Code::keyPressRequired;
    case Case::folderPathUnavailable:
        return Code::folderPathUnavailable;
    case Case::fileBrowserPathUnavailable:
        return Code::fileBrowserPathUnavailable;
    case Case::fileBrowserFileTooLarge:
        return Code::fileBrowserFileTooLarge;
    case Case::fileBrowserReadFailed:
        return Code::fileBrowserReadFailed;
    case Case::fileBrowserAccessBlocked:
        return Code::fileBrowserAccessBlocked;
    case Case::screenshotDisplayUnavailable:
        return Code::screenshotDisplayUnavailable;
    case Case::screenshotWindowUnavailable:
        return Code::screenshotWindowUnavailable;
    case Case::fileTransferDestinationUnavailable:
        return Code::fileTransferDestinationUnavailable;
    case Case::fileTransferFailed:
        return Code::fileTransferFailed;
    case Case::unsupportedWorkflowStep:
        return Code::actionFailed;
    case Case::invalidURL:
        return Code::invalidURL;
    case Case::accessibilityMissing:
        return Code::accessibilityMissing;
    case Case::screenRecordingMissing:
        return Code::screenRecordingMissing;
    case Case::noFrontmostApplication:
        return Code::noFrontmostApplication;
    case Case::applicationRequired:
        return Code::applicationRequired;
    case Case::applicationNotRunning:
        return Code::applicationNotRunning;
    case Case::menuUnavailable:
        return Code::menuUnavailable;
    case Case::modalNotFound:
        return Code::modalNotFound;
    case Case::urlRequired:
        return Code::urlRequired;
    case Case::shortcutNameRequired:
        return Code::shortcutNameRequired;
    case Case::clipboardTextRequired:
        return Code::clipboardTextRequired;
    case Case::textInputRequired:
        return Code::textInputRequired;
    case Case::keyPressRequired:
        return Code::keyPressRequired;
    case Case::folderPathRequired:
        return Code::folderPathRequired;
    case Case::screenshotDisplayRequired:
        return Code::screenshotDisplayRequired;
    case Case::screenshotCaptureFailed:
        return Code::screenshotCaptureFailed;
    case Case::fileTransferRequired:
        return Code::fileTransferRequired;
    case Case::fileTransferTooLarge:
        return Code::fileTransferTooLarge;
    case Case::actionFailed:
        return Code::actionFailed;
    }
    return Code::actionFailed;
}

const std::string* MacMenuError::text() const noexcept {
    if (const auto* value = std::get_if<std::string>(&payload_)) return value;
    if (const auto* application = std::get_if<UnresponsiveApplication>(&payload_)) {
        return &application->name;
    }
    if (const auto* mismatch = std::get_if<ModalMismatch>(&payload_)) return &mismatch->expectedTitle;
    return nullptr;
}

const RemoteModalInfo* MacMenuError::modal() const noexcept {
    if (const auto* modal = std::get_if<RemoteModalInfo>(&payload_)) return modal;
    if (const auto* mismatch = std::get_if<ModalMismatch>(&payload_)) return &mismatch->modal;
    return nullptr;
}

const MacMenuError::UnresponsiveApplication* MacMenuError::unresponsiveApplication() const noexcept {
    return std::get_if<UnresponsiveApplication>(&payload_);
}

std::optional<std::int64_t> MacMenuError::fileSize() const noexcept {
    if (const auto* size = std::get_if<std::int64_t>(&payload_)) return *size;
    return std::nullopt;
}

}  // namespace zentrabo
