#pragma once

#include <cstdint>
#include <exception>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "model/halvardine_error_code.hpp"
#include "model/records/application_records.hpp"

namespace zentrabo {

// Every failure of a Mac-control operation, one row each:
//   ROW(case, code of the failed reply, what the case carries, message)
// The message shows the carried values where "{}" stands, in this order:
//   nothing, size          none (a file's size is kept, never shown)
//   text                   the text
//   modal                  the modal window's display title
//   modalAndExpectedTitle  the expected title, then the modal's display title
//   application            the application's name (its bundle identifier is
//                          kept for the reply's recovery, never shown)
// Values are inserted verbatim: braces or "%" in a value are text.
// Some cases share the code of a neighbouring condition (modalMismatch,
// keyPressUnsupported, unsupportedWorkflowStep); clients rely on that.
// Declaration order matters to nobody on the wire, but it is kept as
// designed: the cases that carry values first, the rest after them.
// clang-format off
#define ZENTRABO_MAC_MENU_ERRORS(ROW)                                                                                  \
    ROW(applicationNotFound, applicationNotFound, text, "Application not found: {}")                                   \
    ROW(applicationUnresponsive, applicationUnresponsive, application, "{} is not responding.")                        \
    ROW(menuItemNotFound, menuItemNotFound, text, "Menu item not found: {}")                                           \
    ROW(menuItemDisabled, menuItemDisabled, text, "Menu item is disabled: {}")                                         \
    ROW(inputBlocked, inputBlocked, modal, "Input is blocked by a modal window: {}")                                   \
    ROW(modalDismissUnavailable, modalDismissUnavailable, modal, "No dismiss action was found for modal window: {}")   \
    ROW(modalMismatch, modalDismissUnavailable, modalAndExpectedTitle, "Modal window does not match {}: {}")           \
    ROW(keyPressUnsupported, keyPressRequired, text, "Unsupported key: {}")                                            \
    ROW(folderPathUnavailable, folderPathUnavailable, text, "The path is not available: {}")                           \
    ROW(fileBrowserPathUnavailable, fileBrowserPathUnavailable, text, "The path is not available: {}")                 \
    ROW(fileBrowserFileTooLarge, fileBrowserFileTooLarge, size,                                                        \
        "The file is too large to preview. Choose a file up to 25 MB.")                                                \
    ROW(fileBrowserReadFailed, fileBrowserReadFailed, text, "The file could not be loaded: {}")                        \
    ROW(fileBrowserAccessBlocked, fileBrowserAccessBlocked, text,                                                      \
        "macOS is waiting for local folder access on the Mac: {}. Confirm or cancel the permission dialog on the "     \
        "Mac, then try again.")                                                                                        \
    ROW(screenshotDisplayUnavailable, screenshotDisplayUnavailable, text, "The selected monitor is not available: {}") \
    ROW(screenshotWindowUnavailable, screenshotWindowUnavailable, text, "No visible window was found for {}.")         \
    ROW(fileTransferDestinationUnavailable, fileTransferDestinationUnavailable, text,                                  \
        "The file destination is not available: {}")                                                                   \
    ROW(fileTransferFailed, fileTransferFailed, text, "The file could not be saved: {}")                               \
    ROW(unsupportedWorkflowStep, actionFailed, text,                                                                   \
        "Unsupported workflow step: {}. Update Zentrabo Server on the Mac and try again.")                             \
    ROW(invalidURL, invalidURL, text, "Invalid URL: {}")                                                               \
    ROW(accessibilityMissing, accessibilityMissing, nothing, "Accessibility access is missing.")                       \
    ROW(screenRecordingMissing, screenRecordingMissing, nothing,                                                       \
        "Screen Recording permission is missing. Grant it to Zentrabo Server in System Settings, then restart the "    \
        "server.")                                                                                                     \
    ROW(noFrontmostApplication, noFrontmostApplication, nothing, "No active app was found.")                           \
    ROW(applicationRequired, applicationRequired, nothing, "An application is required.")                             \
    ROW(applicationNotRunning, applicationNotRunning, nothing, "The target app is not running.")                       \
    ROW(menuUnavailable, menuUnavailable, nothing, "The app menu bar is not available.")                               \
    ROW(modalNotFound, modalNotFound, nothing, "No modal window was found.")                                           \
    ROW(urlRequired, urlRequired, nothing, "A URL is required.")                                                       \
    ROW(shortcutNameRequired, shortcutNameRequired, nothing, "A shortcut name is required.")                           \
    ROW(clipboardTextRequired, clipboardTextRequired, nothing, "Clipboard text is required.")                          \
    ROW(textInputRequired, textInputRequired, nothing, "Text input is required.")                                      \
    ROW(keyPressRequired, keyPressRequired, nothing, "A key is required.")                                             \
    ROW(folderPathRequired, folderPathRequired, nothing, "A folder path is required.")                                 \
    ROW(screenshotDisplayRequired, screenshotDisplayRequired, nothing,                                                 \
        "A monitor must be selected before this workflow can run.")                                                    \
    ROW(screenshotCaptureFailed, screenshotCaptureFailed, nothing, "The screenshot could not be captured.")            \
    ROW(fileTransferRequired, fileTransferRequired, nothing,                                                           \
        "A file or photo must be selected before this workflow can run.")                                              \
    ROW(fileTransferTooLarge, fileTransferTooLarge, nothing,                                                           \
        "The selected file is too large. Choose a file up to 25 MB.")                                                  \
    ROW(actionFailed, actionFailed, nothing, "The menu action could not be performed.")
// clang-format on

// The failure of every Mac-control operation. Each case has one fixed
// user-facing message and one machine-readable code; the server turns a
// caught MacMenuError into a failed reply from exactly these two. Built as
// MacMenuError(Case::x, values...), with the values the case's row names;
// any other values do not compile.
class MacMenuError : public std::exception {
public:
    enum class Case {
#define ZENTRABO_MAC_MENU_ERROR_CASE(errorCase, code, carries, message) errorCase,
        ZENTRABO_MAC_MENU_ERRORS(ZENTRABO_MAC_MENU_ERROR_CASE)
#undef ZENTRABO_MAC_MENU_ERROR_CASE
    };

    // What a case carries besides its code and message.
    enum class Carries { nothing, text, size, modal, modalAndExpectedTitle, application };

    struct Row {
        HalvardineErrorCode code;
        Carries carries;
        std::string_view message;
    };
    // The table's rows, indexed by Case.
    static constexpr Row rows[] = {
#define ZENTRABO_MAC_MENU_ERROR_ROW(errorCase, code, carries, message) \
    {HalvardineErrorCode::code, Carries::carries, message},
        ZENTRABO_MAC_MENU_ERRORS(ZENTRABO_MAC_MENU_ERROR_ROW)
#undef ZENTRABO_MAC_MENU_ERROR_ROW
    };
    static constexpr int caseCount = static_cast<int>(std::size(rows));
    static constexpr const Row& row(Case errorCase) { return rows[static_cast<int>(errorCase)]; }

    // A case that carries what the constructor taking it is given; a case
    // that carries anything else fails to compile.
    template <Carries carried>
    class CaseCarrying {
    public:
        consteval CaseCarrying(Case errorCase) : errorCase_(errorCase) {
            if (row(errorCase).carries != carried) throw "this case carries other values";
        }
        Case errorCase() const { return errorCase_; }

    private:
        Case errorCase_;
    };

    struct UnresponsiveApplication {
        std::string name;
        std::optional<std::string> bundleIdentifier;
    };

    explicit MacMenuError(CaseCarrying<Carries::nothing> errorCase);
    MacMenuError(CaseCarrying<Carries::text> errorCase, std::string text);
    MacMenuError(CaseCarrying<Carries::size> errorCase, std::int64_t size);
    MacMenuError(CaseCarrying<Carries::modal> errorCase, RemoteModalInfo modal);
    MacMenuError(CaseCarrying<Carries::modalAndExpectedTitle> errorCase, RemoteModalInfo modal,
                 std::string expectedTitle);
    MacMenuError(CaseCarrying<Carries::application> errorCase, std::string name,
                 std::optional<std::string> bundleIdentifier);

    Case errorCase() const noexcept { return case_; }

    // The user-facing message of the case, with its values filled in.
    const std::string& errorDescription() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    // The code a failed reply carries; it depends on the case alone.
    HalvardineErrorCode errorCode() const noexcept { return row(case_).code; }

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

    // Behind a tag, so that overload resolution never picks it for a
    // caller's MacMenuError(Case::x, ...).
    struct Checked {};
    MacMenuError(Checked, Case errorCase, Payload payload);

    Case case_;
    Payload payload_;
    std::string description_;
};

}  // namespace zentrabo
