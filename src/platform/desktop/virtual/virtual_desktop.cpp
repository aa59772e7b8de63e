#include "platform/desktop/virtual/virtual_desktop.hpp"

#include <algorithm>

#include "platform/desktop/virtual/bundle_materializer.hpp"
#include "platform/desktop/virtual/desktop_picture.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/desktop/virtual/virtual_running_application.hpp"

namespace zentrabo::platform {

namespace {

// Journal details are for reading, not for storing what callers typed.
constexpr std::size_t maximumDetailLength = 200;

}  // namespace

std::shared_ptr<VirtualDesktop> VirtualDesktop::create(const DesktopScenario& scenario, Clock& clock) {
    validateScenario(scenario);
    auto pictures = loadDesktopPictures(scenario);
    auto iconPictures = loadApplicationIconPictures(scenario);
    std::shared_ptr<VirtualDesktop> desktop(new VirtualDesktop(scenario, clock));
    desktop->installedBundles_ = materializeApplicationBundles(scenario, desktop->applicationFolders(), iconPictures);
    for (auto& [bundleIdentifier, picture] : iconPictures) {
        desktop->iconPictures_.emplace(bundleIdentifier, std::move(picture.image));
    }
    desktop->start(scenario, std::move(pictures));
    std::weak_ptr<VirtualDesktop> weak = desktop;
    clock.setNextDueHook([weak]() -> std::optional<double> {
        auto strong = weak.lock();
        return strong ? strong->nextDueTime() : std::nullopt;
    });
    return desktop;
}

VirtualDesktop::VirtualDesktop(const DesktopScenario& scenario, Clock& clock)
    : clock_(clock),
      catalog_(scenario.applications),
      accessibilityTrusted_(scenario.permissions.accessibility),
      screenRecordingAllowed_(scenario.permissions.screenRecording),
      keyboardLayout_(scenario.keyboard.currentLayout),
      inputSources_(scenario.keyboard.inputSources) {}

void VirtualDesktop::start(const DesktopScenario& scenario, std::vector<std::shared_ptr<const RgbaImage>> pictures) {
    auto lock = settle();
    for (std::size_t index = 0; index < scenario.displays.size(); ++index) {
        const auto& spec = scenario.displays[index];
        Display display;
        display.spec = spec;
        display.mode = {static_cast<std::int64_t>(spec.bounds.width),
                        static_cast<std::int64_t>(spec.bounds.height),
                        static_cast<std::int64_t>(spec.bounds.width * spec.scale),
                        static_cast<std::int64_t>(spec.bounds.height * spec.scale),
                        spec.refreshRate,
                        1,
                        0,
                        true};
        display.pictureSource = std::move(pictures[index]);
        if (display.pictureSource) {
            display.picture =
                std::make_shared<const RgbaImage>(pictureForDisplay(*display.pictureSource, display.mode));
        }
        // The desktop picture is a window of the Dock behind everything else.
        Window picture;
        picture.number = nextWindow_++;
        picture.owner = 0;
        picture.ownerName = "Dock";
        picture.title = "Wallpaper-" + std::to_string(spec.id);
        picture.frame = spec.bounds;
        picture.layer = -2147483623;
        picture.color = spec.background;
        display.desktopPicture = picture.number;
        windows_[picture.number] = picture;
        zOrder_.push_back(picture.number);
        displays_.push_back(std::move(display));
    }
    const Rect& main = scenario.displays.front().bounds;
    pointer_ = {main.midX(), main.midY()};
    for (const auto& spec : scenario.applications) {
        if (!spec.running) continue;
        auto installed = installedBundles_.find(spec.bundleIdentifier);
        launchLocked(spec, installed == installedBundles_.end() ? std::nullopt : std::optional(installed->second),
                     false);
    }
    // Every application has been in front once, the earlier ones more recently.
    for (auto it = applications_.rbegin(); it != applications_.rend(); ++it) {
        if (it->spec.activationPolicy == ActivationPolicy::regular && !it->hidden) activateLocked(*it, true);
    }
    if (Application* front = scenario.frontmost ? applicationLocked(*scenario.frontmost) : nullptr) {
        activateLocked(*front, true);
    }
    if (scenario.pasteboardText) {
        pasteboardItems_.push_back(
            {{{pasteboardtype::string,
               std::vector<std::uint8_t>(scenario.pasteboardText->begin(), scenario.pasteboardText->end())}}});
    }
    journal_.clear();
}

std::unique_lock<std::mutex> VirtualDesktop::settle() {
    const double now = clock_.monotonicNow();
    std::unique_lock lock(mutex_);
    settleLocked(now);
    return lock;
}

void VirtualDesktop::settleLocked(double now) {
    while (!pending_.empty() && pending_.begin()->first.first <= now) {
        auto node = pending_.extract(pending_.begin());
        now_ = std::max(now_, node.key().first);
        applyLocked(node.mapped());
    }
    now_ = std::max(now_, now);
}

void VirtualDesktop::scheduleLocked(double delay, PendingEvent event) {
    pending_.emplace(std::make_pair(now_ + delay, nextSequence_++), std::move(event));
}

void VirtualDesktop::applyLocked(PendingEvent& event) {
    if (auto* launch = std::get_if<Launch>(&event)) {
        launchLocked(launch->spec, launch->bundlePath, launch->activates);
    } else if (auto* exit = std::get_if<Exit>(&event)) {
        exitLocked(exit->pid);
    } else if (auto* effect = std::get_if<DelayedEffect>(&event)) {
        runEffectLocked(effect->owner, effect->source, effect->effect);
    }
}

std::optional<double> VirtualDesktop::nextDueTime() {
    // Settling first means the answer always lies ahead: a wait that asks
    // never gets a moment that has already passed.
    auto lock = settle();
    if (pending_.empty()) return std::nullopt;
    return pending_.begin()->first.first;
}

void VirtualDesktop::recordLocked(std::string action, std::string subject, std::string detail) {
    if (detail.size() > maximumDetailLength) {
        detail.resize(maximumDetailLength);
        detail += "…";
    }
    if (journal_.size() == journalCapacity) journal_.pop_front();
    journal_.push_back({now_, std::move(action), std::move(subject), std::move(detail)});
}

std::vector<JournalEntry> VirtualDesktop::journal() {
    auto lock = settle();
    return {journal_.begin(), journal_.end()};
}

std::vector<InputEvent> VirtualDesktop::postedEvents() {
    auto lock = settle();
    return {posted_.begin(), posted_.end()};
}

void VirtualDesktop::clearJournal() {
    auto lock = settle();
    journal_.clear();
    posted_.clear();
}

void VirtualDesktop::setAccessibilityTrusted(bool trusted) {
    auto lock = settle();
    accessibilityTrusted_ = trusted;
}

void VirtualDesktop::setScreenRecordingAllowed(bool allowed) {
    auto lock = settle();
    screenRecordingAllowed_ = allowed;
}

VirtualDesktop::Application* VirtualDesktop::applicationLocked(ProcessID pid) {
    for (auto& application : applications_) {
        if (application.pid == pid) return &application;
    }
    return nullptr;
}

VirtualDesktop::Application* VirtualDesktop::applicationLocked(const std::string& bundleIdentifier) {
    for (auto& application : applications_) {
        if (application.spec.bundleIdentifier == bundleIdentifier) return &application;
    }
    return nullptr;
}

const ScenarioApplication* VirtualDesktop::catalogEntryLocked(const std::string& bundleIdentifier) const {
    for (const auto& entry : catalog_) {
        if (entry.bundleIdentifier == bundleIdentifier) return &entry;
    }
    return nullptr;
}

std::string VirtualDesktop::subjectLocked(ProcessID pid) const {
    for (const auto& application : applications_) {
        if (application.pid == pid) return application.spec.bundleIdentifier;
    }
    return "pid " + std::to_string(pid);
}

std::string VirtualDesktop::elementPathLocked(NodeID id) const {
    std::vector<std::string> titles;
    for (int depth = 0; id != 0 && depth < maximumTreeDepth; ++depth) {
        auto it = nodes_.find(id);
        if (it == nodes_.end()) break;
        const auto& node = it->second;
        std::string title = node.window ? windows_.at(node.window).title : node.title.value_or("");
        titles.push_back(title.empty() ? node.role : title);
        id = node.parent;
    }
    std::string path;
    for (auto it = titles.rbegin(); it != titles.rend(); ++it) {
        if (!path.empty()) path += " > ";
        path += *it;
    }
    return path;
}

ProcessID VirtualDesktop::launchLocked(const ScenarioApplication& spec, std::optional<std::filesystem::path> bundlePath,
                                       bool activates) {
    Application application;
    application.pid = nextPID_++;
    application.spec = spec;
    application.bundlePath = bundlePath;
    application.hidden = spec.hidden;
    application.handle = std::make_shared<VirtualRunningApplication>(
        weak_from_this(), VirtualRunningApplication::Facts{application.pid, spec.bundleIdentifier, spec.name,
                                                           std::move(bundlePath), spec.activationPolicy});
    applications_.push_back(std::move(application));
    const ProcessID pid = applications_.back().pid;
    const NodeID menuBar = addNodeLocked(pid, 0, "AXMenuBar");
    nodes_[menuBar].enabled = true;
    applications_.back().menuBar = menuBar;
    for (const auto& menu : spec.menus) buildMenuLocked(pid, menuBar, menu, true, 1);
    for (const auto& window : spec.windows) addWindowLocked(applications_.back(), window, false);
    recordLocked("appear", spec.bundleIdentifier);
    if (activates) activateLocked(applications_.back(), true);
    return pid;
}

void VirtualDesktop::exitLocked(ProcessID pid) {
    auto* application = applicationLocked(pid);
    if (!application) return;
    for (auto window : std::vector<WindowID>(application->windows)) closeWindowLocked(*application, window);
    removeNodeLocked(application->menuBar);
    std::erase_if(nodes_, [pid](const auto& entry) { return entry.second.owner == pid; });
    recordLocked("exit", application->spec.bundleIdentifier);
    std::erase_if(applications_, [pid](const Application& a) { return a.pid == pid; });
    std::erase(activationOrder_, pid);
    if (active_ == pid) chooseFrontmostLocked();
}

void VirtualDesktop::activateLocked(Application& application, bool allWindows) {
    application.hidden = false;
    active_ = application.pid;
    std::erase(activationOrder_, application.pid);
    activationOrder_.insert(activationOrder_.begin(), application.pid);
    if (allWindows) {
        for (auto it = application.windows.rbegin(); it != application.windows.rend(); ++it)
            moveWindowToFrontLocked(*it);
    } else if (!application.windows.empty()) {
        moveWindowToFrontLocked(application.windows.front());
    }
}

void VirtualDesktop::chooseFrontmostLocked() {
    active_ = 0;
    for (auto pid : activationOrder_) {
        auto* application = applicationLocked(pid);
        if (application && !application->hidden && !application->terminating &&
            application->spec.activationPolicy == ActivationPolicy::regular) {
            active_ = pid;
            return;
        }
    }
}

void VirtualDesktop::moveWindowToFrontLocked(WindowID window) {
    std::erase(zOrder_, window);
    zOrder_.insert(zOrder_.begin(), window);
}

void VirtualDesktop::raiseWindowLocked(Application& application, WindowID window) {
    std::erase(application.windows, window);
    application.windows.insert(application.windows.begin(), window);
    moveWindowToFrontLocked(window);
}

bool VirtualDesktop::terminateLocked(Application& application, bool force) {
    const auto subject = application.spec.bundleIdentifier;
    if (!force && !application.spec.acceptsTerminate) {
        recordLocked("terminate", subject, "refused");
        return false;
    }
    if (application.terminating && !force) return true;
    application.terminating = true;
    recordLocked(force ? "forceTerminate" : "terminate", subject);
    scheduleLocked(force ? application.spec.forceTerminateDelay : application.spec.terminateDelay,
                   Exit{application.pid});
    return true;
}

bool VirtualDesktop::launchInstalledLocked(const std::string& bundleIdentifier, bool activates) {
    const auto* entry = catalogEntryLocked(bundleIdentifier);
    auto installed = installedBundles_.find(bundleIdentifier);
    if (!entry || installed == installedBundles_.end()) return false;
    return requestLaunchLocked(*entry, installed->second, activates).ok;
}

OpenResult VirtualDesktop::requestLaunchLocked(const ScenarioApplication& spec,
                                               std::optional<std::filesystem::path> bundlePath, bool activates) {
    if (spec.launchFailure) {
        recordLocked("launch", spec.bundleIdentifier, "failed");
        return {false, *spec.launchFailure};
    }
    recordLocked("launch", spec.bundleIdentifier);
    scheduleLocked(spec.launchDelay, Launch{spec, std::move(bundlePath), activates});
    return {true, {}};
}

bool VirtualDesktop::applicationIsRunning(ProcessID pid) {
    auto lock = settle();
    return applicationLocked(pid) != nullptr;
}

bool VirtualDesktop::applicationIsActive(ProcessID pid) {
    auto lock = settle();
    return active_ == pid && applicationLocked(pid);
}

bool VirtualDesktop::applicationIsHidden(ProcessID pid) {
    auto lock = settle();
    auto* application = applicationLocked(pid);
    return application && application->hidden;
}

bool VirtualDesktop::activateApplication(ProcessID pid, bool allWindows) {
    auto lock = settle();
    auto* application = applicationLocked(pid);
    if (!application || application->spec.activationPolicy == ActivationPolicy::prohibited) return false;
    recordLocked("activate", application->spec.bundleIdentifier, allWindows ? "all windows" : "");
    activateLocked(*application, allWindows);
    return true;
}

bool VirtualDesktop::unhideApplication(ProcessID pid) {
    auto lock = settle();
    auto* application = applicationLocked(pid);
    if (!application) return false;
    recordLocked("unhide", application->spec.bundleIdentifier);
    application->hidden = false;
    return true;
}

bool VirtualDesktop::terminateApplication(ProcessID pid, bool force) {
    auto lock = settle();
    auto* application = applicationLocked(pid);
    return application && terminateLocked(*application, force);
}

std::vector<std::shared_ptr<RunningApplication>> VirtualDesktop::runningApplications() {
    auto lock = settle();
    std::vector<std::shared_ptr<RunningApplication>> result;
    for (const auto& application : applications_) result.push_back(application.handle);
    return result;
}

std::shared_ptr<RunningApplication> VirtualDesktop::frontmostApplication() {
    auto lock = settle();
    auto* application = applicationLocked(active_);
    return application ? application->handle : nullptr;
}

}  // namespace zentrabo::platform
