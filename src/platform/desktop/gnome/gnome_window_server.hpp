#pragma once
// The window list over the shell extension's window records: the one place
// that turns one into the other.
#include <memory>

#include "platform/desktop/gnome/shell_windows.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo::platform {

class GnomeWindowServer final : public WindowServer {
public:
    explicit GnomeWindowServer(std::shared_ptr<ShellWindows> windows) : windows_(std::move(windows)) {}

    // None when the extension does not answer.
    std::optional<std::vector<ListedWindow>> windows() override;

private:
    std::shared_ptr<ShellWindows> windows_;
};

}  // namespace zentrabo::platform
