#include "platform/desktop/virtual/virtual_running_application.hpp"

#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

bool VirtualRunningApplication::isActive() const {
    auto desktop = desktop_.lock();
    return desktop && desktop->applicationIsActive(facts_.pid);
}

bool VirtualRunningApplication::isHidden() const {
    auto desktop = desktop_.lock();
    return desktop && desktop->applicationIsHidden(facts_.pid);
}

bool VirtualRunningApplication::isTerminated() const {
    auto desktop = desktop_.lock();
    return !desktop || !desktop->applicationIsRunning(facts_.pid);
}

std::optional<RgbaImage> VirtualRunningApplication::icon() const {
    auto desktop = desktop_.lock();
    return desktop ? desktop->applicationIcon(facts_.pid) : std::nullopt;
}

bool VirtualRunningApplication::activate(bool allWindows) {
    auto desktop = desktop_.lock();
    return desktop && desktop->activateApplication(facts_.pid, allWindows);
}

bool VirtualRunningApplication::unhide() {
    auto desktop = desktop_.lock();
    return desktop && desktop->unhideApplication(facts_.pid);
}

bool VirtualRunningApplication::terminate() {
    auto desktop = desktop_.lock();
    return desktop && desktop->terminateApplication(facts_.pid, false);
}

bool VirtualRunningApplication::forceTerminate() {
    auto desktop = desktop_.lock();
    return desktop && desktop->terminateApplication(facts_.pid, true);
}

}  // namespace zentrabo::platform
