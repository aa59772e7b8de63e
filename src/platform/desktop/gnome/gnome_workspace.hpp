#pragma once
// The workspace of a GNOME Wayland session: the running applications are
// the processes that own the windows our shell extension lists, each matched
// to its desktop entry (the shell's window tracker names it); the frontmost
// one owns the focused window. Without the extension the running
// applications are those this server launched, those the user's shell
// launched from an entry and those owning their ID on the session bus, so
// one that runs is never launched twice; none is frontmost. The rest is the
// freedesktop workspace's.
#include <map>
#include <memory>
#include <mutex>

#include "platform/desktop/freedesktop/entry_launched_processes.hpp"
#include "platform/desktop/freedesktop/entry_workspace.hpp"
#include "platform/desktop/gnome/shell_windows.hpp"
#include "platform/desktop/processes/delayed_termination.hpp"

namespace zentrabo::platform {

class SessionRunningApplication;

class GnomeWorkspace final : public EntryWorkspace, public std::enable_shared_from_this<GnomeWorkspace> {
public:
    // How long a polite quit waits for the windows to close before SIGTERM.
    static constexpr std::chrono::milliseconds terminationWait{1500};

    static std::shared_ptr<GnomeWorkspace> create(std::shared_ptr<GnomeBus> bus, std::shared_ptr<ShellWindows> windows);

    std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
    std::shared_ptr<RunningApplication> frontmostApplication() override;

    LinuxProcess frontmostProcess() override;
    bool activateProcess(const LinuxProcess& process, bool allWindows) override;
    bool unhideProcess(const LinuxProcess& process) override;
    bool isProcessHidden(const LinuxProcess& process) override;
    // Asks the shell to close each window of the process.
    bool terminateProcess(const LinuxProcess& process) override;

private:
    GnomeWorkspace(std::shared_ptr<GnomeBus> bus, std::shared_ptr<ShellWindows> windows);

    enum class WindowState { any, shown, minimized };
    // The process's application windows front to back.
    std::vector<ShellWindow> windowsOf(const LinuxProcess& process, WindowState state);
    // Activates the first of the windows, or all of them with allWindows,
    // the first last. False when there are none.
    bool activateWindows(std::vector<ShellWindow> owned, bool allWindows);
    bool showsModalWindow(const LinuxProcess& process);
    // The one handle of the process, matched to its entry by what its
    // windows say, or by the entry it was launched from.
    std::shared_ptr<SessionRunningApplication> handleLocked(const LinuxProcess& process,
                                                            const std::vector<ShellWindow>& windows,
                                                            const std::optional<std::string>& launchedID = {});

    // The user's processes launched from one of the entries, with its ID.
    std::map<ProcessID, std::string> launchedFromEntriesLocked(const std::vector<DesktopEntry>& entries);

    std::shared_ptr<GnomeBus> bus_;
    std::shared_ptr<ShellWindows> windows_;
    std::mutex mutex_;
    std::map<ProcessID, std::shared_ptr<SessionRunningApplication>> handles_;
    EntryLaunchedProcesses entryLaunched_;
    DelayedTermination termination_;
};

}  // namespace zentrabo::platform
