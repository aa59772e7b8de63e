#pragma once
// Starting an entry with DBusActivatable=true as its applications expect:
// through org.freedesktop.Application on the session bus, which starts the
// application when it does not run yet. Its bus name is the desktop file ID
// without ".desktop", its object path that name with "." made "/" and "-"
// made "_".
#include <chrono>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/exec_line.hpp"

namespace zentrabo::platform {

// Calls Open with the targets as URIs, or Activate without targets, with
// the startup id in the platform data, and waits at most `timeout` for the
// answer. False when there is no session bus ($DBUS_SESSION_BUS_ADDRESS;
// the bus is never started for us), the ID is no bus name, the call fails
// or no answer came in time: the caller then launches the Exec line.
bool activateOnSessionBus(const DesktopEntry& entry, const std::vector<LaunchTarget>& targets,
                          const std::string& startupID, std::chrono::milliseconds timeout);

}  // namespace zentrabo::platform
