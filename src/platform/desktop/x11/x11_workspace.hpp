#pragma once
// The workspace of an X11 session: the running applications are the
// processes that own managed windows; the frontmost one owns the active
// window. Installed applications and opening things are not offered here:
// those answers are the ones of a workspace that has none.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/desktop/workspace.hpp"
#include "platform/desktop/x11/linux_process.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11RunningApplication;

class X11Workspace final : public Workspace, public std::enable_shared_from_this<X11Workspace> {
public:
    // Throws X11Error when the display cannot be reached.
    static std::shared_ptr<X11Workspace> create(const std::string& display);

    std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
    std::shared_ptr<RunningApplication> frontmostApplication() override;
    std::vector<InstalledApplication> installedApplications() override { return {}; }
    std::optional<std::filesystem::path> urlForApplication(const std::string&) override { return std::nullopt; }
    OpenResult openApplication(const std::filesystem::path& bundle, bool activates) override;
    OpenResult openURL(const std::string& url) override;
    OpenResult openFile(const std::filesystem::path& path) override;
    std::optional<RgbaImage> iconForFile(const std::filesystem::path&) override { return std::nullopt; }

    // The process that owns the active window; pid 0 when none does.
    LinuxProcess frontmostProcess();
    // Asks the window manager to activate the process's frontmost window, or
    // every window of it (the frontmost last) with allWindows. False when it
    // has none.
    bool activateProcess(const LinuxProcess& process, bool allWindows);

private:
    explicit X11Workspace(const std::string& display) : connection_(display) {}

    // The one handle of the process, made when first asked for.
    std::shared_ptr<X11RunningApplication> handleLocked(const LinuxProcess& process);

    std::mutex mutex_;
    X11Connection connection_;
    std::map<ProcessID, std::shared_ptr<X11RunningApplication>> handles_;
};

}  // namespace zentrabo::platform
