#pragma once
// What a Linux session's workspace does the same on every desktop: the
// installed applications are the desktop entries; applications, URLs and
// files are opened by launching the entry of the application or of the
// default handler; icons come from the icon theme; a process is ended by
// force with SIGKILL. A backend adds which applications run, which is in
// front and what is done to their windows.
#include "platform/desktop/freedesktop/application_launcher.hpp"
#include "platform/desktop/freedesktop/process_windows.hpp"
#include "platform/desktop/workspace.hpp"

namespace zentrabo::platform {

class EntryWorkspace : public Workspace, public ProcessWindows {
public:
    // The size icons are drawn at: that of the controllers' renders.
    static constexpr int iconPixelSize = 512;

    std::vector<InstalledApplication> installedApplications() override;
    std::optional<std::filesystem::path> urlForApplication(const std::string& bundleIdentifier) override;
    // A running application of the entry is asked to come forward instead.
    OpenResult openApplication(const std::filesystem::path& entry, bool activates) override;
    OpenResult openURL(const std::string& url) override;
    OpenResult openFile(const std::filesystem::path& path) override;
    // An entry's icon, a folder's, or the icon of a file's MIME type.
    std::optional<RgbaImage> iconForFile(const std::filesystem::path& path) override;

    bool forceTerminateProcess(const LinuxProcess& process) override;
    void reapChildren() override { launcher_.reap(); }

protected:
    ApplicationLauncher launcher_;

private:
    OpenResult openWithHandler(const std::string& mimeType, const LaunchTarget& target);
};

}  // namespace zentrabo::platform
