#include "platform/desktop/freedesktop/session_running_application.hpp"

#include "platform/desktop/freedesktop/entry_workspace.hpp"
#include "platform/desktop/freedesktop/icon_theme.hpp"

namespace zentrabo::platform {

std::optional<std::string> SessionRunningApplication::bundleIdentifier() const {
    if (!entry_) return std::nullopt;
    return entry_->id;
}

std::optional<std::string> SessionRunningApplication::localizedName() const { return entry_ ? entry_->name : name_; }

std::optional<std::filesystem::path> SessionRunningApplication::bundleURL() const {
    if (!entry_) return std::nullopt;
    return entry_->path;
}

std::optional<RgbaImage> SessionRunningApplication::icon() const {
    if (!entry_) return std::nullopt;
    return loadIcon(entry_->icon, EntryWorkspace::iconPixelSize);
}

bool SessionRunningApplication::isActive() const {
    const auto workspace = workspace_.lock();
    return workspace && workspace->frontmostProcess() == process_;
}

bool SessionRunningApplication::isHidden() const {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->isProcessHidden(process_);
}

bool SessionRunningApplication::isTerminated() const {
    // A child of ours that ended stays a zombie, still in /proc, until reaped.
    if (const auto workspace = workspace_.lock()) workspace->reapChildren();
    return linuxProcess(process_.pid) != process_;
}

bool SessionRunningApplication::activate(bool allWindows) {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->activateProcess(process_, allWindows);
}

bool SessionRunningApplication::unhide() {
    const auto workspace = workspace_.lock();
    if (!workspace || isTerminated()) return false;
    // An application showing a window already is unhidden.
    workspace->unhideProcess(process_);
    return true;
}

bool SessionRunningApplication::terminate() {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->terminateProcess(process_);
}

bool SessionRunningApplication::forceTerminate() {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->forceTerminateProcess(process_);
}

}  // namespace zentrabo::platform
