#include "platform/desktop/gnome/remote_desktop_link.hpp"

namespace zentrabo::platform {

std::shared_ptr<RemoteDesktopSession> RemoteDesktopLink::session() {
    std::lock_guard locked(mutex_);
    if (session_ && !session_->closed()) return session_;
    session_.reset();
    const auto state = displays_->state();
    if (!state) return nullptr;
    try {
        session_ = RemoteDesktopSession::open(bus_, state->monitors, clock_);
    } catch (const GnomeBusError&) {
        return nullptr;
    }
    return session_;
}

}  // namespace zentrabo::platform
