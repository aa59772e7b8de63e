#include "platform/desktop/x11/x11_workspace.hpp"

#include <algorithm>
#include <set>

#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/x11_running_application.hpp"

namespace zentrabo::platform {

namespace {

const std::string notOffered = "Opening applications, files and URLs is not available on this desktop.";

// _NET_ACTIVE_WINDOW's source indication for a pager or taskbar: the request
// stands for the user's own choice, so the window manager does not refuse it
// as focus stealing.
constexpr std::uint32_t pagerSource = 2;

}  // namespace

std::shared_ptr<X11Workspace> X11Workspace::create(const std::string& display) {
    return std::shared_ptr<X11Workspace>(new X11Workspace(display));
}

std::shared_ptr<X11RunningApplication> X11Workspace::handleLocked(const LinuxProcess& process) {
    auto& handle = handles_[process.pid];
    if (!handle || handle->process() != process) {
        handle = std::make_shared<X11RunningApplication>(weak_from_this(), process, processName(process.pid));
    }
    return handle;
}

std::vector<std::shared_ptr<RunningApplication>> X11Workspace::runningApplications() {
    std::lock_guard lock(mutex_);
    if (!connection_.usable()) return {};
    const auto windows = readManagedWindows(connection_);
    if (!windows) return {};
    std::set<ProcessID> owners;
    for (const auto& window : *windows) {
        if (window.pid > 0) owners.insert(window.pid);
    }
    std::vector<LinuxProcess> processes;
    for (const ProcessID pid : owners) {
        if (const auto process = linuxProcess(pid); process.startTime) processes.push_back(process);
    }
    // Launch order: the earliest started first.
    std::sort(processes.begin(), processes.end(), [](const LinuxProcess& a, const LinuxProcess& b) {
        return std::pair(*a.startTime, a.pid) < std::pair(*b.startTime, b.pid);
    });
    // Handles of processes that own no window any more are let go; whoever
    // still holds one sees it terminated or, while its process lives, inactive.
    std::erase_if(handles_, [&owners](const auto& entry) { return !owners.contains(entry.first); });
    std::vector<std::shared_ptr<RunningApplication>> applications;
    for (const auto& process : processes) applications.push_back(handleLocked(process));
    return applications;
}

std::shared_ptr<RunningApplication> X11Workspace::frontmostApplication() {
    const LinuxProcess process = frontmostProcess();
    if (process.pid <= 0 || !process.startTime) return nullptr;
    std::lock_guard lock(mutex_);
    return handleLocked(process);
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

bool X11Workspace::activateProcess(const LinuxProcess& process, bool allWindows) {
    std::lock_guard lock(mutex_);
    if (!connection_.usable()) return false;
    const auto windows = readManagedWindows(connection_);
    if (!windows) return false;
    std::vector<xcb_window_t> owned;  // front to back
    for (const auto& window : *windows) {
        if (window.pid == process.pid && !window.isDesktopElement()) owned.push_back(window.id);
    }
    if (owned.empty()) return false;
    if (!allWindows) owned.erase(owned.begin() + 1, owned.end());
    const xcb_atom_t activeWindow = connection_.atom("_NET_ACTIVE_WINDOW");
    const xcb_window_t current = readActiveWindow(connection_);
    // Back to front, so the frontmost window ends up in front.
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = *it;
        message.type = activeWindow;
        message.data.data32[0] = pagerSource;
        message.data.data32[1] = XCB_CURRENT_TIME;
        message.data.data32[2] = current;
        xcb_send_event(connection_.get(), 0, connection_.root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
    }
    connection_.flush();
    return true;
}

OpenResult X11Workspace::openApplication(const std::filesystem::path&, bool) { return {false, notOffered}; }
OpenResult X11Workspace::openURL(const std::string&) { return {false, notOffered}; }
OpenResult X11Workspace::openFile(const std::filesystem::path&) { return {false, notOffered}; }

}  // namespace zentrabo::platform
