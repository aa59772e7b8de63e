#pragma once
// The processes of this user that a desktop shell or file manager started
// from a desktop entry. GLib's launcher, which they use, puts the entry's
// file in the child's environment (GIO_LAUNCHED_DESKTOP_FILE) with the
// child's own pid (GIO_LAUNCHED_DESKTOP_FILE_PID): a child of that process
// inherits both but has another pid, so only the launched process counts.
// Where no window list says which applications run, these do.
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::platform {

// The entry file an environment block (NUL-separated "NAME=value" items, as
// /proc/<pid>/environ holds it) says the process `pid` was launched from.
std::optional<std::filesystem::path> launchedEntryFile(std::string_view environment, ProcessID pid);

class EntryLaunchedProcesses {
public:
    // This user's processes launched from an entry, with the entry's file.
    // A process's environment is read once, when it is first seen, and what
    // it said kept while the process lives.
    std::map<ProcessID, std::filesystem::path> scan();

private:
    struct Seen {
        LinuxProcess process;
        std::optional<std::filesystem::path> entryFile;
    };
    std::map<ProcessID, Seen> seen_;
};

}  // namespace zentrabo::platform
