#pragma once
// The applications that own their ID on the session bus: a unique GLib
// application (and any the session bus started for a D-Bus activatable
// entry) owns the name its desktop file ID gives without ".desktop", so the
// name's owner is the application's process. Applications a shell starts
// through the bus carry no sign of the entry in their environment.
#include <map>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/desktop_entries.hpp"
#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

// The process owning each listed entry's name, with the entry's ID; an
// entry whose name has no owner, or whose owner's process is not told, is
// left out.
std::map<ProcessID, std::string> busNamedApplications(GnomeBus& bus, const std::vector<DesktopEntry>& entries);

}  // namespace zentrabo::platform
