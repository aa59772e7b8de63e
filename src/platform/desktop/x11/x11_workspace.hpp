#pragma once
// The workspace of an X11 session: the running applications are the
// processes that own managed windows, each matched to its desktop entry;
// the frontmost one owns the active window. The rest is the freedesktop
// workspace's.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/desktop/freedesktop/entry_workspace.hpp"
#include "platform/desktop/processes/delayed_termination.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class SessionRunningApplication;

class X11Workspace final : public EntryWorkspace, public std::enable_shared_from_this<X11Workspace> {
public:
    // How long a polite quit waits for the windows to close before SIGTERM.
    static constexpr std::chrono::milliseconds terminationWait{1500};

    // Throws X11Error when the display cannot be reached.
    static std::shared_ptr<X11Workspace> create(const std::string& display);

    std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
    std::shared_ptr<RunningApplication> frontmostApplication() override;

    // The process that owns the active window; pid 0 when none does.
    LinuxProcess frontmostProcess() override;
    // Asks the window manager to activate the process's frontmost window that
    // is not minimized, or every such window (the frontmost last) with
    // allWindows; its minimized ones when it shows none. False when it has
    // no window.
    bool activateProcess(const LinuxProcess& process, bool allWindows) override;
    // Restores and activates every window of a process whose windows are all
    // minimized. False when it has none or shows one.
    bool unhideProcess(const LinuxProcess& process) override;
    // Whether every window of the process is minimized.
    bool isProcessHidden(const LinuxProcess& process) override;
    // Asks each window of the process to close (WM_DELETE_WINDOW), and the
    // process to end with SIGTERM after terminationWait unless it then shows
    // a modal window (asking to save, say).
    bool terminateProcess(const LinuxProcess& process) override;

private:
    explicit X11Workspace(const std::string& display)
        : connection_(display),
          termination_(terminationWait, [this](const LinuxProcess& process) { return showsModalWindow(process); }) {}

    // Whether a window of the process is modal by the window manager's hints.
    bool showsModalWindow(const LinuxProcess& process);

    // The one handle of the process, made when first asked for, matched to
    // its entry by what its windows say.
    std::shared_ptr<SessionRunningApplication> handleLocked(const LinuxProcess& process,
                                                            const std::vector<xcb_window_t>& windows);
    enum class WindowState { any, shown, minimized };
    std::vector<xcb_window_t> windowsOfLocked(const LinuxProcess& process, WindowState state);
    // Activates the first of the windows (front to back), or all of them
    // with allWindows, the first last. False when there are none.
    bool activateLocked(std::vector<xcb_window_t> owned, bool allWindows);

    std::mutex mutex_;
    X11Connection connection_;
    std::map<ProcessID, std::shared_ptr<SessionRunningApplication>> handles_;
    DelayedTermination termination_;
};

}  // namespace zentrabo::platform
