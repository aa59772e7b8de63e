#pragma once
// Tells, without looking a path up again, whether what it names may have
// changed since the watch began: an inotify watch on the file and on its
// folder. Anything created, removed or renamed in the folder, and the file
// or the folder renamed or removed, counts as a change; writes do not.
// Asking costs one read that finds nothing in the usual case.
#include <string>

#include "platform/files/file_descriptor.hpp"

namespace zentrabo::platform {

class PathChangeWatch {
public:
    // Watches the file at the path and its folder from now on, in place of
    // any earlier watch. False when no watch can be had (no inotify instance
    // left, the file or its folder missing); nothing is watched then.
    bool start(const std::string& path);
    void stop() { descriptor_.reset(); }
    bool isWatching() const { return static_cast<bool>(descriptor_); }

    // Whether a change was seen since start; once true it stays true until
    // the next start. True as well when the watch cannot be read.
    bool sawChange();

private:
    FileDescriptor descriptor_;
    bool changed_ = false;
};

}  // namespace zentrabo::platform
