#include "platform/desktop/gnome/gnome_workspace.hpp"

#include <algorithm>

#include "platform/desktop/freedesktop/application_matching.hpp"
#include "platform/desktop/freedesktop/session_running_application.hpp"
#include "platform/desktop/gnome/bus_named_applications.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t modalDialogType = 4;

// What the shell's window tracker says of the application: its desktop file
// ID, which names the entry as a GTK application ID would.
std::vector<WindowClassHints> trackerHints(const std::vector<ShellWindow>& windows) {
    std::vector<WindowClassHints> hints;
    for (const auto& window : windows) {
        if (window.desktopFileID.empty()) continue;
        std::string id = window.desktopFileID;
        if (id.ends_with(".desktop")) id.resize(id.size() - 8);
        hints.push_back({id, {}, {}});
    }
    return hints;
}

}  // namespace

GnomeWorkspace::GnomeWorkspace(std::shared_ptr<GnomeBus> bus, std::shared_ptr<ShellWindows> windows)
    : bus_(std::move(bus)),
      windows_(std::move(windows)),
      termination_(terminationWait, [this](const LinuxProcess& process) { return showsModalWindow(process); }) {}

std::shared_ptr<GnomeWorkspace> GnomeWorkspace::create(std::shared_ptr<GnomeBus> bus,
                                                       std::shared_ptr<ShellWindows> windows) {
    return std::shared_ptr<GnomeWorkspace>(new GnomeWorkspace(std::move(bus), std::move(windows)));
}

std::map<ProcessID, std::string> GnomeWorkspace::launchedFromEntriesLocked(const std::vector<DesktopEntry>& entries) {
    std::map<ProcessID, std::string> launched;
    for (const auto& [pid, file] : entryLaunched_.scan()) {
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const DesktopEntry& candidate) { return candidate.path == file; });
        if (entry != entries.end()) launched.emplace(pid, entry->id);
    }
    return launched;
}

std::shared_ptr<SessionRunningApplication> GnomeWorkspace::handleLocked(const LinuxProcess& process,
                                                                        const std::vector<ShellWindow>& windows,
                                                                        const std::optional<std::string>& launchedID) {
    auto& handle = handles_[process.pid];
    if (!handle || handle->process() != process) {
        ProcessClues clues{trackerHints(windows), processExecutable(process.pid),
                           launchedID ? launchedID : launcher_.launchedID(process.pid)};
        handle = std::make_shared<SessionRunningApplication>(weak_from_this(), process, processName(process.pid),
                                                             matchingEntry(desktopEntries(), clues));
    }
    return handle;
}

std::vector<std::shared_ptr<RunningApplication>> GnomeWorkspace::runningApplications() {
    const auto windows = windows_->windows();
    std::map<ProcessID, std::vector<ShellWindow>> owners;
    for (const auto& window : windows.value_or(std::vector<ShellWindow>{})) {
        if (window.pid > 0 && window.isApplicationWindow()) owners[window.pid].push_back(window);
    }
    for (const ProcessID pid : launcher_.children()) owners.try_emplace(pid);
    // Without the extension the applications known to run otherwise stand
    // in for the windows' owners; what they show is not known, so each
    // counts as having windows. The bus is asked before the lock is taken.
    std::map<ProcessID, std::string> launchedIDs;
    const auto entries = windows ? std::vector<DesktopEntry>{} : desktopEntries();
    if (!windows) launchedIDs = busNamedApplications(*bus_, entries);
    std::lock_guard lock(mutex_);
    if (!windows) launchedIDs.merge(launchedFromEntriesLocked(entries));
    for (const auto& [pid, id] : launchedIDs) owners.try_emplace(pid);
    std::vector<LinuxProcess> processes;
    for (const auto& [pid, owned] : owners) {
        if (const auto process = linuxProcess(pid); process.startTime) processes.push_back(process);
    }
    // Launch order: the earliest started first.
    std::sort(processes.begin(), processes.end(), [](const LinuxProcess& a, const LinuxProcess& b) {
        return std::pair(*a.startTime, a.pid) < std::pair(*b.startTime, b.pid);
    });
    std::erase_if(handles_, [&owners](const auto& entry) { return !owners.contains(entry.first); });
    std::vector<std::shared_ptr<RunningApplication>> applications;
    for (const auto& process : processes) {
        const auto& owned = owners[process.pid];
        const auto launched = launchedIDs.find(process.pid);
        auto handle = handleLocked(process, owned,
                                   launched == launchedIDs.end() ? std::nullopt : std::optional(launched->second));
        handle->setHasWindows(!windows || !owned.empty());
        applications.push_back(std::move(handle));
    }
    return applications;
}

std::shared_ptr<RunningApplication> GnomeWorkspace::frontmostApplication() {
    const ShellWindowID focused = windows_->focusedWindow();
    const auto windows = focused ? windows_->windows() : std::nullopt;
    if (!windows) return nullptr;
    const auto window = std::find_if(windows->begin(), windows->end(),
                                     [focused](const ShellWindow& candidate) { return candidate.id == focused; });
    if (window == windows->end() || window->pid <= 0) return nullptr;
    const LinuxProcess process = linuxProcess(window->pid);
    if (!process.startTime) return nullptr;
    std::lock_guard lock(mutex_);
    return handleLocked(process, {*window});
}

LinuxProcess GnomeWorkspace::frontmostProcess() {
    const ShellWindowID focused = windows_->focusedWindow();
    const auto windows = focused ? windows_->windows() : std::nullopt;
    for (const auto& window : windows.value_or(std::vector<ShellWindow>{})) {
        if (window.id == focused && window.pid > 0) return linuxProcess(window.pid);
    }
    return {};
}

std::vector<ShellWindow> GnomeWorkspace::windowsOf(const LinuxProcess& process, WindowState state) {
    std::vector<ShellWindow> owned;
    for (auto& window : windows_->windows().value_or(std::vector<ShellWindow>{})) {
        if (window.pid != process.pid || !window.isApplicationWindow()) continue;
        if (state == WindowState::minimized && !window.minimized) continue;
        if (state == WindowState::shown && window.minimized) continue;
        owned.push_back(std::move(window));
    }
    return owned;
}

bool GnomeWorkspace::activateWindows(std::vector<ShellWindow> owned, bool allWindows) {
    if (owned.empty()) return false;
    if (!allWindows) owned.erase(owned.begin() + 1, owned.end());
    // Back to front, so the frontmost window ends up in front; activation
    // also restores a minimized window.
    bool activated = false;
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) activated = windows_->activate(it->id) || activated;
    return activated;
}

bool GnomeWorkspace::activateProcess(const LinuxProcess& process, bool allWindows) {
    // A minimized window stays so while the application shows another.
    auto shown = windowsOf(process, WindowState::shown);
    if (shown.empty()) return activateWindows(windowsOf(process, WindowState::minimized), allWindows);
    return activateWindows(std::move(shown), allWindows);
}

bool GnomeWorkspace::unhideProcess(const LinuxProcess& process) {
    if (!windowsOf(process, WindowState::shown).empty()) return false;
    return activateWindows(windowsOf(process, WindowState::minimized), true);
}

bool GnomeWorkspace::isProcessHidden(const LinuxProcess& process) {
    const auto owned = windowsOf(process, WindowState::any);
    return !owned.empty() &&
           std::all_of(owned.begin(), owned.end(), [](const ShellWindow& window) { return window.minimized; });
}

bool GnomeWorkspace::showsModalWindow(const LinuxProcess& process) {
    const auto owned = windowsOf(process, WindowState::any);
    return std::any_of(owned.begin(), owned.end(),
                       [](const ShellWindow& window) { return window.type == modalDialogType; });
}

bool GnomeWorkspace::terminateProcess(const LinuxProcess& process) {
    for (const auto& window : windowsOf(process, WindowState::any)) windows_->close(window.id);
    return termination_.schedule(process);
}

}  // namespace zentrabo::platform
