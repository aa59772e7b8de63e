#pragma once
// What a session's window manager or shell does to the windows of one
// process: each backend's workspace answers it, and the running
// applications it hands out ask it.
#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::platform {

class ProcessWindows {
public:
    virtual ~ProcessWindows() = default;

    // The process that owns the focused window; pid 0 when none does.
    virtual LinuxProcess frontmostProcess() = 0;
    // Activates the process's frontmost window that is not minimized, or
    // every such window (the frontmost last) with allWindows; its minimized
    // ones when it shows none. False when it has no window.
    virtual bool activateProcess(const LinuxProcess& process, bool allWindows) = 0;
    // Restores and activates every window of a process whose windows are all
    // minimized. False when it has none or shows one.
    virtual bool unhideProcess(const LinuxProcess& process) = 0;
    // Whether every window of the process is minimized.
    virtual bool isProcessHidden(const LinuxProcess& process) = 0;
    // Asks each window of the process to close, and the process to end with
    // SIGTERM a while later unless it then shows a modal window.
    virtual bool terminateProcess(const LinuxProcess& process) = 0;
    virtual bool forceTerminateProcess(const LinuxProcess& process) = 0;
    // Collects the exits of the applications the workspace launched.
    virtual void reapChildren() = 0;
};

}  // namespace zentrabo::platform
