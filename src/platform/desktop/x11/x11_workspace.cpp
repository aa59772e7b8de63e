#include "platform/desktop/x11/x11_workspace.hpp"

#include <algorithm>

#include "platform/desktop/freedesktop/session_running_application.hpp"

#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/window_class_hints.hpp"
#include "platform/desktop/x11/window_manager_requests.hpp"
#include "platform/desktop/x11/x11_properties.hpp"
#include "platform/desktop/x11/x11_window_modality.hpp"

namespace zentrabo::platform {

namespace {}  // namespace

std::shared_ptr<X11Workspace> X11Workspace::create(const std::string& display) {
    return std::shared_ptr<X11Workspace>(new X11Workspace(display));
}

std::shared_ptr<SessionRunningApplication> X11Workspace::handleLocked(const LinuxProcess& process,
                                                                      const std::vector<xcb_window_t>& windows) {
    auto& handle = handles_[process.pid];
    if (!handle || handle->process() != process) {
        ProcessClues clues{readWindowClassHints(connection_, windows), processExecutable(process.pid),
                           launcher_.launchedID(process.pid)};
        handle = std::make_shared<SessionRunningApplication>(weak_from_this(), process, processName(process.pid),
                                                             matchingEntry(desktopEntries(), clues));
    }
    return handle;
}

std::vector<std::shared_ptr<RunningApplication>> X11Workspace::runningApplications() {
    std::lock_guard lock(mutex_);
    // Without an answer from the X server only what we launched is known.
    const auto windows = connection_.usable() ? readManagedWindows(connection_) : std::nullopt;
    std::map<ProcessID, std::vector<xcb_window_t>> owners;
    for (const auto& window : windows.value_or(std::vector<ManagedWindow>{})) {
        if (window.pid > 0) owners[window.pid].push_back(window.id);
    }
    // What we launched runs from its start, so a launch is seen at once, even
    // before its first window shows.
    for (const ProcessID pid : launcher_.children()) owners.try_emplace(pid);
    std::vector<LinuxProcess> processes;
    for (const auto& [pid, owned] : owners) {
        if (const auto process = linuxProcess(pid); process.startTime) processes.push_back(process);
    }
    // Launch order: the earliest started first.
    std::sort(processes.begin(), processes.end(), [](const LinuxProcess& a, const LinuxProcess& b) {
        return std::pair(*a.startTime, a.pid) < std::pair(*b.startTime, b.pid);
    });
    // Handles of processes that own no window any more are let go; whoever
    // still holds one sees it terminated or, while its process lives, inactive.
    if (windows) std::erase_if(handles_, [&owners](const auto& entry) { return !owners.contains(entry.first); });
    std::vector<std::shared_ptr<RunningApplication>> applications;
    for (const auto& process : processes) {
        const auto& owned = owners[process.pid];
        auto handle = handleLocked(process, owned);
        handle->setHasWindows(!owned.empty());
        applications.push_back(std::move(handle));
    }
    return applications;
}

std::shared_ptr<RunningApplication> X11Workspace::frontmostApplication() {
    std::lock_guard lock(mutex_);
    if (!connection_.usable()) return nullptr;
    const xcb_window_t active = readActiveWindow(connection_);
    const ProcessID pid = active ? readWindowProcess(connection_, active) : 0;
    const LinuxProcess process = pid > 0 ? linuxProcess(pid) : LinuxProcess{};
    if (process.pid <= 0 || !process.startTime) return nullptr;
    return handleLocked(process, {active});
}

LinuxProcess X11Workspace::frontmostProcess() {
    ProcessID pid = 0;
    {
        std::lock_guard lock(mutex_);
        if (!connection_.usable()) return {};
        if (const xcb_window_t active = readActiveWindow(connection_)) pid = readWindowProcess(connection_, active);
    }
    return pid > 0 ? linuxProcess(pid) : LinuxProcess{};
}

std::vector<xcb_window_t> X11Workspace::windowsOfLocked(const LinuxProcess& process, WindowState state) {
    std::vector<xcb_window_t> owned;  // front to back
    if (!connection_.usable()) return owned;
    const auto windows = readManagedWindows(connection_);
    if (!windows) return owned;
    for (const auto& window : *windows) {
        if (window.pid != process.pid || window.isDesktopElement()) continue;
        if (state == WindowState::minimized && !window.minimized) continue;
        if (state == WindowState::shown && window.minimized) continue;
        owned.push_back(window.id);
    }
    return owned;
}

bool X11Workspace::activateProcess(const LinuxProcess& process, bool allWindows) {
    std::lock_guard lock(mutex_);
    // A minimized window stays so while the application shows another; one
    // with every window minimized has no other way to the front.
    auto shown = windowsOfLocked(process, WindowState::shown);
    if (shown.empty()) return activateLocked(windowsOfLocked(process, WindowState::minimized), allWindows);
    return activateLocked(std::move(shown), allWindows);
}

bool X11Workspace::unhideProcess(const LinuxProcess& process) {
    std::lock_guard lock(mutex_);
    // Only an application with every window minimized counts as hidden; the
    // minimized windows of one that shows another stay as they are.
    if (!windowsOfLocked(process, WindowState::shown).empty()) return false;
    return activateLocked(windowsOfLocked(process, WindowState::minimized), true);
}

bool X11Workspace::activateLocked(std::vector<xcb_window_t> owned, bool allWindows) {
    if (owned.empty()) return false;
    if (!allWindows) owned.erase(owned.begin() + 1, owned.end());
    const xcb_window_t current = readActiveWindow(connection_);
    // Back to front, so the frontmost window ends up in front.
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) requestActivation(connection_, *it, current);
    return true;
}

bool X11Workspace::isProcessHidden(const LinuxProcess& process) {
    std::lock_guard lock(mutex_);
    return windowsOfLocked(process, WindowState::shown).empty() &&
           !windowsOfLocked(process, WindowState::minimized).empty();
}

bool X11Workspace::showsModalWindow(const LinuxProcess& process) {
    std::lock_guard lock(mutex_);
    const auto windows = connection_.usable() ? readManagedWindows(connection_) : std::nullopt;
    return windows && hasModalWindow(connection_, process.pid, *windows);
}

bool X11Workspace::terminateProcess(const LinuxProcess& process) {
    {
        std::lock_guard lock(mutex_);
        const xcb_atom_t protocols = connection_.atom("WM_PROTOCOLS");
        const xcb_atom_t deleteWindow = connection_.atom("WM_DELETE_WINDOW");
        const auto owned = windowsOfLocked(process, WindowState::any);
        std::vector<PropertyRead> reads;
        reads.reserve(owned.size());
        for (const xcb_window_t window : owned) reads.emplace_back(connection_, window, protocols, XCB_ATOM_ATOM);
        for (std::size_t i = 0; i < owned.size(); ++i) {
            const auto supported = reads[i].numbers();
            if (std::find(supported.begin(), supported.end(), deleteWindow) == supported.end()) continue;
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = owned[i];
            message.type = protocols;
            message.data.data32[0] = deleteWindow;
            message.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(connection_.get(), 0, owned[i], XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&message));
        }
        connection_.flush();
    }
    return termination_.schedule(process);
}

}  // namespace zentrabo::platform
