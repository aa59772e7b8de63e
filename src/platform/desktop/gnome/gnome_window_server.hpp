#pragma once
// Today's window-list dictionaries over the shell extension's typed window
// records: the one place that turns one into the other.
#include <memory>

#include "platform/desktop/gnome/shell_windows.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo::platform {

class GnomeWindowServer final : public WindowServer {
public:
    explicit GnomeWindowServer(std::shared_ptr<ShellWindows> windows) : windows_(std::move(windows)) {}

    // None when the extension does not answer.
    std::optional<std::vector<WindowListEntry>> windowList(std::uint32_t options, WindowID relativeToWindow) override;

private:
    std::shared_ptr<ShellWindows> windows_;
};

}  // namespace zentrabo::platform
