#pragma once
// Which desktop entry a running process belongs to, from what its windows
// and its executable say.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/desktop_entries.hpp"

namespace zentrabo::platform {

// What one window says of its application.
struct WindowClassHints {
    // _GTK_APPLICATION_ID: the application's ID, its desktop file ID without
    // ".desktop".
    std::optional<std::string> applicationID;
    // WM_CLASS: instance and class names.
    std::string instance;
    std::string className;
};

struct ProcessClues {
    std::vector<WindowClassHints> windows;
    // The file the process runs (/proc/<pid>/exe).
    std::optional<std::filesystem::path> executable;
    // The entry we launched it from, when we did.
    std::optional<std::string> launchedID;
};

// The first that names an entry decides: the launch, an application ID
// equal to an entry's ID without ".desktop", a WM_CLASS name equal to an
// entry's StartupWMClass, a WM_CLASS name equal to an entry's ID without
// ".desktop" (ignoring case), the executable equal to the program of an
// entry's TryExec or Exec. None when nothing matches.
std::optional<DesktopEntry> matchingEntry(const std::vector<DesktopEntry>& entries, const ProcessClues& clues);

}  // namespace zentrabo::platform
