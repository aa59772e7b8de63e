#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <variant>

#include "model/halvardine_error_code.hpp"
#include "model/records/application_records.hpp"

namespace zentrabo {

// The failure of every Mac-control operation. Each case has one fixed
// user-facing message and one machine-readable code; the server turns a
// caught MacMenuError into a failed reply from exactly these two.
class MacMenuError : public std::exception {
public:
    // Declaration order matters to nobody on the wire, but it is kept as
    // designed: the first nineteen cases carry values, the rest none.
    enum class Case {
        applicationNotFound,
        applicationUnresponsive,
        menuItemNotFound,
        menuItemDisabled,
        inputBlocked,
        modalDismissUnavailable,
        modalMismatch,
        keyPressUnsupported,
        folderPathUnavailable,
        fileBrowserPathUnavailable,
        fileBrowserFileTooLarge,
        fileBrowserReadFailed,
        fileBrowserAccessBlocked,
        screenshotDisplayUnavailable,
        screenshotWindowUnavailable,
        fileTransferDestinationUnavailable,
        fileTransferFailed,
        unsupportedWorkflowStep,
        invalidURL,
        accessibilityMissing,
        screenRecordingMissing,
        noFrontmostApplication,
        applicationRequired,
        applicationNotRunning,
        menuUnavailable,
        modalNotFound,
        urlRequired,
        shortcutNameRequired,
        clipboardTextRequired,
        textInputRequired,
        keyPressRequired,
        folderPathRequired,
        screenshotDisplayRequired,
        screenshotCaptureFailed,
        fileTransferRequired,
        fileTransferTooLarge,
        actionFailed,
    };
    static constexpr int caseCount = 37;

    struct UnresponsiveApplication {
        std::string name;
        std::optional<std::string> bundleIdentifier;
    };

    // Cases with one text value.
    static MacMenuError applicationNotFound(std::string name);
    static MacMenuError menuItemNotFound(std::string title);
    static MacMenuError menuItemDisabled(std::string title);
    static MacMenuError keyPressUnsupported(std::string key);
    static MacMenuError folderPathUnavailable(std::string path);
    static MacMenuError fileBrowserPathUnavailable(std::string path);
    static MacMenuError fileBrowserReadFailed(std::string description);
    static MacMenuError fileBrowserAccessBlocked(std::string path);
    static MacMenuError screenshotDisplayUnavailable(std::string display);
    static MacMenuError screenshotWindowUnavailable(std::string window);
    static MacMenuError fileTransferDestinationUnavailable(std::string destination);
    static MacMenuError fileTransferFailed(std::string description);
    static MacMenuError unsupportedWorkflowStep(std::string kind);
    static MacMenuError invalidURL(std::string url);

    // Cases with other values.
    static MacMenuError applicationUnresponsive(std::string name, std::optional<std::string> bundleIdentifier);
    static MacMenuError inputBlocked(RemoteModalInfo modal);
    static MacMenuError modalDismissUnavailable(RemoteModalInfo modal);
    static MacMenuError modalMismatch(RemoteModalInfo modal, std::string expectedTitle);
    static MacMenuError fileBrowserFileTooLarge(std::int64_t size);

    // Cases without values.
    static MacMenuError accessibilityMissing() { return MacMenuError(Case::accessibilityMissing); }
    static MacMenuError screenRecordingMissing() { return MacMenuError(Case::screenRecordingMissing); }
    static MacMenuError noFrontmostApplication() { return MacMenuError(Case::noFrontmostApplication); }
    static MacMenuError applicationRequired() { return MacMenuError(Case::applicationRequired); }
    static MacMenuError applicationNotRunning() { return MacMenuError(Case::applicationNotRunning); }
    static MacMenuError menuUnavailable() { return MacMenuError(Case::menuUnavailable); }
    static MacMenuError modalNotFound() { return MacMenuError(Case::modalNotFound); }
    static MacMenuError urlRequired() { return MacMenuError(Case::urlRequired); }
    static MacMenuError shortcutNameRequired() { return MacMenuError(Case::shortcutNameRequired); }
    static MacMenuError clipboardTextRequired() { return MacMenuError(Case::clipboardTextRequired); }
    static MacMenuError textInputRequired() { return MacMenuError(Case::textInputRequired); }
    static MacMenuError keyPressRequired() { return MacMenuError(Case::keyPressRequired); }
    static MacMenuError folderPathRequired() { return MacMenuError(Case::folderPathRequired); }
    static MacMenuError screenshotDisplayRequired() { return MacMenuError(Case::screenshotDisplayRequired); }
    static MacMenuError screenshotCaptureFailed() { return MacMenuError(Case::screenshotCaptureFailed); }
    static MacMenuError fileTransferRequired() { return MacMenuError(Case::fileTransferRequired); }
    static MacMenuError fileTransferTooLarge() { return MacMenuError(Case::fileTransferTooLarge); }
    static MacMenuError actionFailed() { return MacMenuError(Case::actionFailed); }

    Case errorCase() const noexcept { return case_; }

    // The user-facing message of the case, with its values filled in.
    const std::string& errorDescription() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // The code a failed reply carries; it depends on the case alone.
    HalvardineErrorCode errorCode() const noexcept;

    // The single text value of the cases that carry one (for
    // applicationUnresponsive the name, for modalMismatch the expected
    // title); none for the other cases.
    const std::string* text() const noexcept;
    // The blocking modal window of inputBlocked, modalDismissUnavailable and
    // modalMismatch; none for the other cases.
    const RemoteModalInfo* modal() const noexcept;
    // The application of applicationUnresponsive; none for the other cases.
    const UnresponsiveApplication* unresponsiveApplication() const noexcept;
    // The size of fileBrowserFileTooLarge; none for the other cases.
    std::optional<std::int64_t> fileSize() const noexcept;

private:
    struct ModalMismatch {
        RemoteModalInfo modal;
        std::string expectedTitle;
    };
    using Payload = std::variant<std::monostate, std::string, std::int64_t, RemoteModalInfo, UnresponsiveApplication,
                                 ModalMismatch>;

    explicit MacMenuError(Case errorCase, Payload payload = {});

    Case case_;
    Payload payload_;
    std::string description_;
};

}  // namespace zentrabo
