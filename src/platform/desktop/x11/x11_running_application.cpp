#include "platform/desktop/x11/x11_running_application.hpp"

#include "platform/desktop/x11/x11_workspace.hpp"

namespace zentrabo::platform {

bool X11RunningApplication::isActive() const {
    const auto workspace = workspace_.lock();
    return workspace && workspace->frontmostProcess() == process_;
}

bool X11RunningApplication::activate(bool allWindows) {
    const auto workspace = workspace_.lock();
    return workspace && !isTerminated() && workspace->activateProcess(process_, allWindows);
}

}  // namespace zentrabo::platform
