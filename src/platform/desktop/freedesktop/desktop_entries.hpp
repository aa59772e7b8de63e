#pragma once
// The installed applications of a freedesktop system: the desktop entries
// ("*.desktop") of the "applications" folders in $XDG_DATA_HOME and
// $XDG_DATA_DIRS (the variables read at every call, so tests can redirect
// them). The list of files is kept while every folder walked keeps its
// modification time (one changed in the last two seconds is walked again);
// a file's parsed contents are kept while its modification time, size and
// inode stay the same.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

struct DesktopEntry {
    // The desktop file ID: the path below the applications folder with "/"
    // made "-" ("org.example.App.desktop").
    std::string id;
    std::filesystem::path path;
    // Name, localized for the user's locale.
    std::string name;
    // Exec with the value escapes resolved; its quoting and field codes are
    // the launcher's (exec_line).
    std::string exec;
    std::optional<std::string> tryExec;
    std::string icon;
    std::optional<std::string> startupWMClass;
    std::vector<std::string> mimeTypes;
    std::vector<std::string> categories;
    // Terminal=true: the program runs inside the user's terminal emulator.
    bool terminal = false;
    // Path=: the folder the program starts in; a relative one is ignored.
    std::optional<std::filesystem::path> workingDirectory;
    // DBusActivatable=true: the session bus starts it or brings it forward.
    bool dbusActivatable = false;
    // A terminal emulator's X-TerminalArgExec: the option after which the
    // command it runs follows.
    std::optional<std::string> terminalExecArgument;
    // Whether menus and lists show it: not NoDisplay, and shown in the
    // current desktop by OnlyShowIn and NotShowIn. An entry not listed can
    // still be a handler or be launched.
    bool listed = true;
};

// The applications folders in search order: $XDG_DATA_HOME's first, then
// those of $XDG_DATA_DIRS (default /usr/local/share and /usr/share);
// relative paths in the variables are ignored.
std::vector<std::filesystem::path> applicationEntryFolders();

// Every usable application entry, in search order, the first entry of an ID
// winning (also when it is Hidden and so removes the ID). Usable: Type
// Application, not Hidden, with Name and Exec, and a TryExec program that
// exists and is executable when it names one. Folders are walked in name
// order, at most 8 levels deep and 10000 files in all.
std::vector<DesktopEntry> desktopEntries();

// The entry with the ID, or at the path; none when there is no usable one.
std::optional<DesktopEntry> desktopEntryWithID(const std::string& id);
std::optional<DesktopEntry> desktopEntryAt(const std::filesystem::path& path);

}  // namespace zentrabo::platform
