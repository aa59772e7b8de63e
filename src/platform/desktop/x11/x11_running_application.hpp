#pragma once
// A process that owns managed windows, as a running application. It knows its
// process and name; whether it is in front it asks the workspace, which it
// holds weakly (once the workspace is gone it reports itself not active).
#include <memory>
#include <string>

#include "platform/desktop/running_application.hpp"
#include "platform/desktop/x11/linux_process.hpp"

namespace zentrabo::platform {

class X11Workspace;

class X11RunningApplication final : public RunningApplication {
public:
    X11RunningApplication(std::weak_ptr<X11Workspace> workspace, LinuxProcess process, std::string name)
        : workspace_(std::move(workspace)), process_(process), name_(std::move(name)) {}

    const LinuxProcess& process() const { return process_; }

    ProcessID processIdentifier() const override { return process_.pid; }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    std::optional<std::string> localizedName() const override { return name_; }
    std::optional<std::filesystem::path> bundleURL() const override { return std::nullopt; }
    ActivationPolicy activationPolicy() const override { return ActivationPolicy::regular; }
    bool isActive() const override;
    bool isHidden() const override { return false; }
    // Gone, or its number now belongs to a later process.
    bool isTerminated() const override { return linuxProcess(process_.pid) != process_; }
    std::optional<RgbaImage> icon() const override { return std::nullopt; }
    bool activate(bool allWindows) override;
    // Nothing is ever hidden: a running application is shown already.
    bool unhide() override { return !isTerminated(); }
    // Quitting applications is not offered on this desktop: the request is
    // not accepted.
    bool terminate() override { return false; }
    bool forceTerminate() override { return false; }

private:
    std::weak_ptr<X11Workspace> workspace_;
    LinuxProcess process_;
    std::string name_;
};

}  // namespace zentrabo::platform
