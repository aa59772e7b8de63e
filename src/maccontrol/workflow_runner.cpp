// A workflow: its steps carried out one after the other, each by the
// operation that owns its kind.
#include <string_view>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/text/log_escape.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

// The pause after bringing an application forward, so that the next step
// finds it in front.
constexpr double settleAfterActivation = 0.15;

// Whether an optional flag is present and true.
bool isSet(const std::optional<bool>& flag) { return flag.value_or(false); }

// One run: the controller, the receive folder, the limits and what the steps
// produced so far.
class WorkflowRun {
public:
    WorkflowRun(DesktopController& controller, const std::string& fileReceiveFolder, const WorkflowRunLimits& limits)
        : controller_(controller), fileReceiveFolder_(fileReceiveFolder), limits_(limits) {}

    void run(const MenuWorkflowStep& step) {
        ZENTRABO_LOG("Executing workflow step: kind=" + platform::escapeForLog(step.kind) +
                     ", title=" + platform::escapeForLog(step.title));
        carryOut(step);
        waitAfter(step);
    }

    WorkflowRunResult result() && { return std::move(result_); }

private:
    using StepAction = void (WorkflowRun::*)(const MenuWorkflowStep&);
    struct StepKind {
        std::string_view kind;
        StepAction action;
    };
    // Tried in this order; the kind is compared exactly.
    static const StepKind stepKinds[14];

    void carryOut(const MenuWorkflowStep& step) {
        for (const StepKind& known : stepKinds) {
            if (step.kind == known.kind) return (this->*known.action)(step);
        }
        throw MacMenuError(Case::unsupportedWorkflowStep, step.kind);
    }

    // The step's delay, within what is left of the run's waiting.
    void waitAfter(const MenuWorkflowStep& step) {
        if (!(step.delayAfter > 0)) return;
        if (!(step.delayAfter <= limits_.maximumTotalDelay - sleptSeconds_)) throw MacMenuError(Case::actionFailed);
        controller_.desktop().clock().sleep(step.delayAfter);
        sleptSeconds_ += step.delayAfter;
    }

    void doNothing(const MenuWorkflowStep&) {}

    void activate(const MenuWorkflowStep& step) {
        const auto application = controller_.activateApplication(step.bundleIdentifier);
        controller_.raiseApplication(*application, true);
        controller_.desktop().clock().sleep(settleAfterActivation);
    }

    void pressMenuItem(const MenuWorkflowStep& step) {
        if (!step.path) throw MacMenuError(Case::menuItemNotFound, step.title);
        controller_.pressMenuItem(step.bundleIdentifier, *step.path, step.pathMatchModes, step.pathMatchValues);
    }

    void openURL(const MenuWorkflowStep& step) { controller_.openURL(step.urlString); }

    void runShortcut(const MenuWorkflowStep& step) {
        const std::string name =
            step.shortcutName ? platform::trimWhitespaceAndNewlines(*step.shortcutName) : std::string();
        if (name.empty()) throw MacMenuError(Case::shortcutNameRequired);
        controller_.openURL(MenuWorkflowStep::shortcutURL(name));
    }

    void setClipboard(const MenuWorkflowStep& step) { controller_.setClipboardText(step.clipboardText); }

    void pasteText(const MenuWorkflowStep& step) {
        requireUnblockedInput(step.bundleIdentifier);
        controller_.pasteText(step.textInput);
    }

    void pressKey(const MenuWorkflowStep& step) {
        requireUnblockedInput(step.bundleIdentifier);
        controller_.pressKey(step.keyPressKey, step.keyPressModifiers);
    }

    void openFolder(const MenuWorkflowStep& step) { controller_.openFolder(step.folderPath); }

    void captureDisplay(const MenuWorkflowStep& step) {
        if (isSet(step.asksForDisplay)) throw MacMenuError(Case::screenshotDisplayRequired);
        keep(controller_.displayScreenshot(step.screenshotDisplayID, step.screenshotDisplayName,
                                           isSet(step.screenshotCapturesAllDisplays)));
    }

    void captureWindow(const MenuWorkflowStep& step) {
        if (step.bundleIdentifier && !platform::isBlank(*step.bundleIdentifier)) {
            keep(controller_.applicationWindowScreenshot(step.bundleIdentifier, step.applicationName, std::nullopt,
                                                         step.screenStreamApplicationWindowTitle,
                                                         step.screenStreamApplicationWindowTitleMatchMode, true));
        } else {
            keep(controller_.frontmostWindowScreenshot());
        }
    }

    void saveFile(const MenuWorkflowStep& step) {
        if (isSet(step.asksForFile)) throw MacMenuError(Case::fileTransferRequired);
        result_.transferredFiles.push_back(controller_.saveTransferredFile(step, fileReceiveFolder_));
    }

    void dismissModal(const MenuWorkflowStep& step) {
        if (auto stillBlocking =
                controller_.dismissModal(step.bundleIdentifier, step.modalButtonTitle, step.modalExpectedTitle)) {
            throw MacMenuError(Case::inputBlocked, std::move(*stillBlocking));
        }
    }

    // Text and keys go to whatever is in front; this only makes sure that the
    // target application is not held by a sheet or dialog, which would
    // swallow them. It activates nothing.
    void requireUnblockedInput(const std::optional<std::string>& bundleIdentifier) {
        controller_.requireAccessibilityTrust();
        controller_.refuseInputWhileBlocked(*controller_.targetApplication(bundleIdentifier));
    }

    // A screenshot joins the result unless the run's pictures would grow
    // past their bound.
    void keep(RemoteScreenshot screenshot) {
        if (screenshot.data.size() > limits_.maximumScreenshotByteCount - screenshotBytes_) {
            throw MacMenuError(Case::screenshotCaptureFailed);
        }
        screenshotBytes_ += screenshot.data.size();
        result_.screenshots.push_back(std::move(screenshot));
    }

    DesktopController& controller_;
    const std::string& fileReceiveFolder_;
    const WorkflowRunLimits& limits_;
    WorkflowRunResult result_;
    double sleptSeconds_ = 0;
    std::size_t screenshotBytes_ = 0;
};

const WorkflowRun::StepKind WorkflowRun::stepKinds[] = {
    {"macConfig", &WorkflowRun::doNothing},
    {"activate", &WorkflowRun::activate},
    {"menu", &WorkflowRun::pressMenuItem},
    {"openURL", &WorkflowRun::openURL},
    {"shortcut", &WorkflowRun::runShortcut},
    {"clipboard", &WorkflowRun::setClipboard},
    {"pasteText", &WorkflowRun::pasteText},
    {"keyPress", &WorkflowRun::pressKey},
    {"openFolder", &WorkflowRun::openFolder},
    {"displayScreenshot", &WorkflowRun::captureDisplay},
    {"windowScreenshot", &WorkflowRun::captureWindow},
    {"sendFile", &WorkflowRun::saveFile},
    {"dismissModal", &WorkflowRun::dismissModal},
    {"wait", &WorkflowRun::doNothing},
};

}  // namespace

WorkflowRunResult DesktopController::runWorkflow(const std::vector<MenuWorkflowStep>& steps,
                                                 const std::string& fileReceiveFolder,
                                                 const WorkflowRunLimits& limits) {
    WorkflowRun run(*this, fileReceiveFolder, limits);
    for (const MenuWorkflowStep& step : steps) run.run(step);
    return std::move(run).result();
}

}  // namespace zentrabo
