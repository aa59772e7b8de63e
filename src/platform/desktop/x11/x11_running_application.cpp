#include "platform/desktop/x11/x11_running_application.hpp"

#include "platform/desktop/freedesktop/icon_theme.hpp"
#include "platform/desktop/x11/x11_workspace.hpp"

namespace zentrabo::platform {

std::optional<std::string> X11RunningApplication::bundleIdentifier() const {
    if (!entry_) return std::nullopt;
    return entry_->id;
}

std::optional<std::string> X11RunningApplication::localizedName() const { return entry_ ? entry_->name : name_; }

std::optional<std::filesystem::path> X11RunningApplication::bundleURL() const {
    if (!entry_) return std::nullopt;
    return entry_->path;
}

std::optional<RgbaImage> X11RunningApplication::icon() const {
    if (!entry_) return std::nullopt;
    return loadIcon(entry_->icon, X11Workspace::iconPixelSize);
}

bool X11RunningApplication::isActive() const {
    const auto workspace = workspace_.lock();
    return workspace && workspace->frontmostProcess() == process_;
}

bool X11RunningApplication::isHidden() const {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->isProcessHidden(process_);
}

bool X11RunningApplication::isTerminated() const {
    // A child of ours that ended stays a zombie, still in /proc, until reaped.
    if (const auto workspace = workspace_.lock()) workspace->reapChildren();
    return linuxProcess(process_.pid) != process_;
}

bool X11RunningApplication::activate(bool allWindows) {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->activateProcess(process_, allWindows);
}

bool X11RunningApplication::unhide() {
    const auto workspace = workspace_.lock();
    if (!workspace || isTerminated()) return false;
    // An application showing a window already is unhidden.
    workspace->unhideProcess(process_);
    return true;
}

bool X11RunningApplication::terminate() {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->terminateProcess(process_);
}

bool X11RunningApplication::forceTerminate() {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->forceTerminateProcess(process_);
}

}  // namespace zentrabo::platform
