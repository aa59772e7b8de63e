// Quitting and restarting applications.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/run_loop_wait.hpp"
#include "platform/desktop/application_identifier.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::RunningApplication;

namespace {

// How long a restart waits for the old instance to leave after the polite
// request, then after the forced one, and for the new instance to appear.
constexpr PollLimits terminatePoll{.timeout = 1.5, .step = 0.05};
constexpr PollLimits forcedTerminatePoll{.timeout = 2.0, .step = 0.05};
constexpr PollLimits relaunchPoll{.timeout = 5.0, .step = 0.05};

}  // namespace

void DesktopController::quitApplication(const std::optional<std::string>& bundleIdentifier) {
    // The polite request only; the application may still ask its user, and
    // nobody waits for it to exit.
    if (!namedOrFrontmostApplication(bundleIdentifier)->terminate()) throw MacMenuError(Case::actionFailed);
}

void DesktopController::restartApplication(const std::optional<std::string>& bundleIdentifier) {
    if (!bundleIdentifier || bundleIdentifier->empty()) throw MacMenuError(Case::applicationRequired);
    const std::string& identifier = *bundleIdentifier;
    auto& clock = desktop_.clock();
    const auto noneRuns = [&] { return runningApplication(identifier) == nullptr; };

    // Without a running instance the restart is a plain launch.
    const auto old = runningApplication(identifier);
    if (old) {
        if (!old->terminate()) old->forceTerminate();
        if (!pollUntil(clock, terminatePoll, noneRuns)) {
            if (auto lingering = runningApplication(identifier)) {
                // One that stays to ask its user (to save their work) is
                // not forced: that would lose the work. The caller is told
                // what it asks.
                if (auto modal = blockingModal(*lingering)) throw MacMenuError(Case::inputBlocked, std::move(*modal));
                if (!lingering->forceTerminate()) throw MacMenuError(Case::actionFailed);
                pollUntil(clock, forcedTerminatePoll, noneRuns);
            }
        }
    }

    auto& workspace = desktop_.workspace();
    const auto url = workspace.urlForApplication(identifier);
    if (!url) throw MacMenuError(Case::applicationNotFound, identifier);
    if (!workspace.openApplication(*url, true).ok) throw MacMenuError(Case::actionFailed);

    // Only another instance counts: the old process, still there when asked
    // to open, merely comes forward, and that is no restart.
    const auto isNewInstance = [&](const RunningApplication& application) {
        return !old || application.processIdentifier() != old->processIdentifier();
    };
    std::shared_ptr<RunningApplication> relaunched;
    pollUntil(clock, relaunchPoll, [&] {
        for (auto& application : workspace.runningApplications()) {
            if (platform::identifierAnswers(application->bundleIdentifier(), identifier) &&
                isNewInstance(*application)) {
                relaunched = application;
                return true;
            }
        }
        return false;
    });
    if (relaunched) {
        raiseApplication(*relaunched, true);
        return;
    }
    if (old && !old->isTerminated()) throw MacMenuError(Case::actionFailed);
    throw MacMenuError(Case::applicationNotRunning);
}

}  // namespace zentrabo
