// The permissions and the login item the user interface shows: read when the
// server is made, every 2 s for Accessibility, before every dispatched
// request, in three re-checks after the user asked for a permission, and
// whenever the user interface asks. Each value is written only when it
// changed, so observers hear of real changes alone.
#include <array>
#include <memory>
#include <utility>

#include "server/halvardine_server.hpp"

namespace zentrabo {
namespace {

constexpr double accessibilityRefreshInterval = 2.0;
// Successive waits: the checks fall about 1, 4 and 12 s after the request,
// while the user is still busy in the system's prompt or settings.
constexpr std::array<double, 3> permissionRecheckDelays = {1.0, 3.0, 8.0};

template <typename T>
void publishIfChanged(Published<T>& property, T value) {
    if (*property != value) property.set(std::move(value));
}

}  // namespace

void HalvardineServer::loadPermissionStatus() {
    hasAccessibilityAccess_.set(environment_.desktop.accessibility().isProcessTrusted());
    hasScreenRecordingAccess_.set(environment_.desktop.screenCapture().preflightAccess());
    loginItemStatus_.set(environment_.loginItem->status());
}

void HalvardineServer::refreshAccessibilityAccess() {
    publishIfChanged(hasAccessibilityAccess_, environment_.desktop.accessibility().isProcessTrusted());
}

void HalvardineServer::refreshScreenRecordingAccess() {
    publishIfChanged(hasScreenRecordingAccess_, environment_.desktop.screenCapture().preflightAccess());
}

void HalvardineServer::refreshLoginItemStatus() {
    publishIfChanged(loginItemStatus_, environment_.loginItem->status());
}

void HalvardineServer::requestAccessibilityAccess() {
    publishIfChanged(hasAccessibilityAccess_, environment_.desktop.accessibility().requestProcessTrust());
    // Checked again even when the answer was already yes: the user may
    // take the trust back in the settings just as well.
    startPermissionRecheck(&HalvardineServer::refreshAccessibilityAccess);
}

void HalvardineServer::requestScreenRecordingAccess() {
    publishIfChanged(hasScreenRecordingAccess_, environment_.desktop.screenCapture().requestAccess());
    startPermissionRecheck(&HalvardineServer::refreshScreenRecordingAccess);
}

void HalvardineServer::toggleLoginItem() {
    // The published status decides, not a fresh read: the user toggles what
    // they see.
    try {
        if (*loginItemStatus_ == platform::LoginItemStatus::enabled) {
            environment_.loginItem->unregisterItem();
        } else {
            environment_.loginItem->registerItem();
        }
    } catch (const platform::LoginItemError&) {
        // Nothing to report beyond the status read below, which shows the
        // real state (a missing program, an entry that stayed).
    }
    refreshLoginItemStatus();
}

void HalvardineServer::startAccessibilityRefreshTask() {
    // A restart of the listener finds the task running and leaves it.
    if (accessibilityRefreshTask_) return;
    scheduleAccessibilityRefresh();
}

void HalvardineServer::scheduleAccessibilityRefresh() {
    std::weak_ptr<HalvardineServer> weakServer = weak_from_this();
    // Replacing the handle from inside its own handler is safe: the entry
    // has fired and cancelling it does nothing.
    accessibilityRefreshTask_ =
        environment_.clock.schedule(environment_.mainLoop, accessibilityRefreshInterval, [weakServer] {
            const auto server = weakServer.lock();
            if (!server) return;
            server->refreshAccessibilityAccess();
            server->scheduleAccessibilityRefresh();
        });
}

void HalvardineServer::startPermissionRecheck(PermissionRefresh refresh) {
    // Every request starts a sequence of its own; asking twice checks twice.
    schedulePermissionRecheck(nextPermissionRecheck_++, 0, refresh);
}

void HalvardineServer::schedulePermissionRecheck(std::uint64_t sequence, std::size_t step, PermissionRefresh refresh) {
    std::weak_ptr<HalvardineServer> weakServer = weak_from_this();
    permissionRechecks_[sequence] = environment_.clock.schedule(
        environment_.mainLoop, permissionRecheckDelays[step], [weakServer, sequence, step, refresh] {
            const auto server = weakServer.lock();
            if (!server) return;
            (server.get()->*refresh)();
            if (step + 1 < permissionRecheckDelays.size()) {
                server->schedulePermissionRecheck(sequence, step + 1, refresh);
            } else {
                server->permissionRechecks_.erase(sequence);
            }
        });
}

}  // namespace zentrabo
