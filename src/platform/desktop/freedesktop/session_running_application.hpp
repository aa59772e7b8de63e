#pragma once
// A process that owns windows of the session, as a running application: its
// desktop entry's identity when one matched, else its process name. What
// its windows do it asks the workspace's window control, which it holds
// weakly (once that is gone it reports itself not active and does nothing).
#include <atomic>
#include <memory>
#include <string>

#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/freedesktop/process_windows.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

class SessionRunningApplication final : public RunningApplication {
public:
    SessionRunningApplication(std::weak_ptr<ProcessWindows> workspace, LinuxProcess process, std::string name,
                              std::optional<DesktopEntry> entry)
        : workspace_(std::move(workspace)), process_(process), name_(std::move(name)), entry_(std::move(entry)) {}

    const LinuxProcess& process() const { return process_; }

    ProcessID processIdentifier() const override { return process_.pid; }
    std::optional<std::string> bundleIdentifier() const override;
    std::optional<std::string> localizedName() const override;
    std::optional<std::filesystem::path> bundleURL() const override;
    // Regular while it owns windows; a process we launched counts as
    // running before its first window shows, without an interface.
    ActivationPolicy activationPolicy() const override {
        return hasWindows_ ? ActivationPolicy::regular : ActivationPolicy::prohibited;
    }
    void setHasWindows(bool hasWindows) { hasWindows_ = hasWindows; }
    bool isActive() const override;
    bool isHidden() const override;
    // Gone, or its number now belongs to a later process.
    bool isTerminated() const override;
    // The entry's icon from the icon theme.
    std::optional<RgbaImage> icon() const override;
    bool activate(bool allWindows) override;
    bool unhide() override;
    bool terminate() override;
    bool forceTerminate() override;

private:
    std::weak_ptr<ProcessWindows> workspace_;
    LinuxProcess process_;
    std::string name_;
    std::optional<DesktopEntry> entry_;
    std::atomic<bool> hasWindows_ = true;
};

}  // namespace zentrabo::platform
