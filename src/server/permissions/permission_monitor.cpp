// The permissions and the login item the user interface shows: read when the
// monitor is made, every 2 s for Accessibility, before every dispatched
// request, in three re-checks after the user asked for a permission, and
// whenever the user interface asks. Each value is written only when it
// changed, so observers hear of real changes alone.
#include "server/permissions/permission_monitor.hpp"

#include <array>
#include <utility>

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

PermissionMonitor::PermissionMonitor(platform::Clock& clock, asio::any_io_executor mainLoop, platform::Desktop& desktop,
                                     std::shared_ptr<platform::LoginItem> loginItem)
    : clock_(clock),
      mainLoop_(std::move(mainLoop)),
      desktop_(desktop),
      loginItem_(std::move(loginItem)),
      hasAccessibilityAccess_(desktop_.accessibility().isProcessTrusted()),
      hasScreenRecordingAccess_(desktop_.screenCapture().preflightAccess()),
      loginItemStatus_(loginItem_->status()) {}

void PermissionMonitor::refreshAccessibilityAccess() {
    publishIfChanged(hasAccessibilityAccess_, desktop_.accessibility().isProcessTrusted());
}

void PermissionMonitor::refreshScreenRecordingAccess() {
    publishIfChanged(hasScreenRecordingAccess_, desktop_.screenCapture().preflightAccess());
}

void PermissionMonitor::refreshLoginItemStatus() { publishIfChanged(loginItemStatus_, loginItem_->status()); }

void PermissionMonitor::requestAccessibilityAccess() {
    publishIfChanged(hasAccessibilityAccess_, desktop_.accessibility().requestProcessTrust());
    // Checked again even when the answer was already yes: the user may
    // take the trust back in the settings just as well.
    startPermissionRecheck(&PermissionMonitor::refreshAccessibilityAccess);
}

void PermissionMonitor::requestScreenRecordingAccess() {
    publishIfChanged(hasScreenRecordingAccess_, desktop_.screenCapture().requestAccess());
    startPermissionRecheck(&PermissionMonitor::refreshScreenRecordingAccess);
}

void PermissionMonitor::toggleLoginItem() {
    // The published status decides, not a fresh read: the user toggles what
    // they see.
    try {
        if (*loginItemStatus_ == platform::LoginItemStatus::enabled) {
            loginItem_->unregisterItem();
        } else {
            loginItem_->registerItem();
        }
    } catch (const platform::LoginItemError&) {
        // Nothing to report beyond the status read below, which shows the
        // real state (a missing program, an entry that stayed).
    }
    refreshLoginItemStatus();
}

void PermissionMonitor::startAccessibilityRefreshTask() {
    // A restart of the listener finds the task running and leaves it.
    if (accessibilityRefreshTask_) return;
    scheduleAccessibilityRefresh();
}

void PermissionMonitor::scheduleAccessibilityRefresh() {
    // Replacing the handle from inside its own handler is safe: the entry
    // has fired and cancelling it does nothing.
    accessibilityRefreshTask_ = clock_.schedule(mainLoop_, accessibilityRefreshInterval, [this] {
        refreshAccessibilityAccess();
        scheduleAccessibilityRefresh();
    });
}

void PermissionMonitor::startPermissionRecheck(PermissionRefresh refresh) {
    // Every request starts a sequence of its own; asking twice checks twice.
    schedulePermissionRecheck(nextPermissionRecheck_++, 0, refresh);
}

void PermissionMonitor::schedulePermissionRecheck(std::uint64_t sequence, std::size_t step, PermissionRefresh refresh) {
    permissionRechecks_[sequence] =
        clock_.schedule(mainLoop_, permissionRecheckDelays[step], [this, sequence, step, refresh] {
            (this->*refresh)();
            if (step + 1 < permissionRecheckDelays.size()) {
                schedulePermissionRecheck(sequence, step + 1, refresh);
            } else {
                permissionRechecks_.erase(sequence);
            }
        });
}

}  // namespace zentrabo
