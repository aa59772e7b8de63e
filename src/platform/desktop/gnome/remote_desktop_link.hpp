#pragma once
// The remote desktop session the event poster and the pasteboard share. It
// opens on the first key, pointer event or clipboard use and stays open for
// the desktop's life (GNOME shows its indicator from then on): opening one
// takes a warm-up of its own and a session per event would lose events to
// it. One that mutter closed is opened anew on the next use.
#include <memory>
#include <mutex>

#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/gnome_displays.hpp"
#include "platform/desktop/gnome/remote_desktop_session.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

class RemoteDesktopLink {
public:
    RemoteDesktopLink(std::shared_ptr<GnomeBus> bus, std::shared_ptr<GnomeDisplays> displays, Clock& clock)
        : bus_(std::move(bus)), displays_(std::move(displays)), clock_(clock) {}

    // The open session, opened now when there is none; null when mutter
    // refuses one or does not answer.
    std::shared_ptr<RemoteDesktopSession> session();

private:
    std::shared_ptr<GnomeBus> bus_;
    std::shared_ptr<GnomeDisplays> displays_;
    Clock& clock_;
    std::mutex mutex_;
    std::shared_ptr<RemoteDesktopSession> session_;
};

}  // namespace zentrabo::platform
