#pragma once
// The permissions the server needs (Accessibility, screen recording) and its
// login item, as the user interface shows them. None of them blocks a
// request: they show the user the state, and a grant made in the settings
// shows up without a restart.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <asio/any_io_executor.hpp>

#include "platform/desktop/desktop.hpp"
#include "platform/desktop/login_item.hpp"
#include "platform/dispatch/clock.hpp"
#include "server/published.hpp"

namespace zentrabo {

class PermissionMonitor {
public:
    // Reads both permissions and the login item. The desktop and the clock
    // must outlive the monitor; its timers run on mainLoop and go with it.
    PermissionMonitor(platform::Clock& clock, asio::any_io_executor mainLoop, platform::Desktop& desktop,
                      std::shared_ptr<platform::LoginItem> loginItem);
    PermissionMonitor(const PermissionMonitor&) = delete;
    PermissionMonitor& operator=(const PermissionMonitor&) = delete;

    const Published<bool>& hasAccessibilityAccess() const { return hasAccessibilityAccess_; }
    const Published<bool>& hasScreenRecordingAccess() const { return hasScreenRecordingAccess_; }
    const Published<platform::LoginItemStatus>& loginItemStatus() const { return loginItemStatus_; }

    // Shows the system's prompt, publishes the answer and reads the trust
    // again 1, 4 and 12 s later.
    void requestAccessibilityAccess();
    // What the desktop tells the user after that request; empty when nothing.
    std::string accessibilityRequestNote() const { return desktop_.accessibility().processTrustRequestNote(); }
    void refreshAccessibilityAccess();
    // Asks for screen recording, publishes the answer and reads the
    // permission again 1, 4 and 12 s later.
    void requestScreenRecordingAccess();
    // Reads the permission without prompting.
    void refreshScreenRecordingAccess();
    void refreshLoginItemStatus();
    // Unregisters an enabled login item and registers it in every other
    // state; a refusal shows only in the status read afterwards.
    void toggleLoginItem();
    // The program an existing entry starts when it is not this server's.
    std::optional<std::string> loginItemOtherProgram() const { return loginItem_->otherProgram(); }
    // What to know about an entry registered from here; none when nothing.
    std::optional<std::string> loginItemRegistrationNote() const { return loginItem_->registrationNote(); }
    // The 2 s Accessibility refresh; a second call leaves the running one.
    void startAccessibilityRefreshTask();

private:
    using PermissionRefresh = void (PermissionMonitor::*)();
    // Runs the refresh after each wait of one re-check sequence.
    void startPermissionRecheck(PermissionRefresh refresh);
    void schedulePermissionRecheck(std::uint64_t sequence, std::size_t step, PermissionRefresh refresh);
    void scheduleAccessibilityRefresh();

    platform::Clock& clock_;
    asio::any_io_executor mainLoop_;
    platform::Desktop& desktop_;
    std::shared_ptr<platform::LoginItem> loginItem_;

    Published<bool> hasAccessibilityAccess_;
    Published<bool> hasScreenRecordingAccess_;
    Published<platform::LoginItemStatus> loginItemStatus_;

    // The timers are the monitor's own: destroying it cancels the refresh
    // and every re-check sequence still waiting, so their handlers may use it.
    std::optional<platform::Timer> accessibilityRefreshTask_;
    std::map<std::uint64_t, platform::Timer> permissionRechecks_;
    std::uint64_t nextPermissionRecheck_ = 0;
};

}  // namespace zentrabo
