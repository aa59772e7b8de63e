// The sheet or modal window that blocks an application, as callers are
// told of it.
#include <algorithm>
#include <utility>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

namespace {

std::optional<std::string> nonEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

}  // namespace

RemoteModalInfo DesktopController::remoteModal(const platform::ModalWindow& modal) {
    RemoteModalInfo info;
    info.title = nonEmpty(modal.title);
    info.role = modal.role.empty() ? "modal window" : modal.role;
    info.subrole = nonEmpty(modal.subrole);
    info.message = nonEmpty(modal.message);
    for (const auto& button : modal.buttons) {
        const auto& titles = info.buttonTitles;
        if (!button.title.empty() && std::find(titles.begin(), titles.end(), button.title) == titles.end()) {
            info.buttonTitles.push_back(button.title);
        }
    }
    return info;
}

std::optional<RemoteModalInfo> DesktopController::blockingModal(const platform::RunningApplication& application) {
    const auto modal = desktop_.accessibility().modalWindow(application.processIdentifier(), menuReadLimits());
    if (!modal) return std::nullopt;
    return remoteModal(*modal);
}

void DesktopController::refuseInputWhileBlocked(const platform::RunningApplication& application) {
    if (auto modal = blockingModal(application))
        throw MacMenuError(MacMenuError::Case::inputBlocked, std::move(*modal));
}

}  // namespace zentrabo
