#include "platform/files/path_change_watch.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t fileEvents = IN_MOVE_SELF | IN_DELETE_SELF;
constexpr std::uint32_t folderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

}  // namespace

bool PathChangeWatch::start(const std::string& path) {
    changed_ = false;
    descriptor_ = FileDescriptor(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!descriptor_) return false;
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    if (::inotify_add_watch(descriptor_.get(), folder.c_str(), folderEvents) < 0 ||
        ::inotify_add_watch(descriptor_.get(), path.c_str(), fileEvents) < 0) {
        descriptor_.reset();
        return false;
    }
    return true;
}

bool PathChangeWatch::sawChange() {
    if (changed_ || !descriptor_) return true;
    // Only whether something came matters, not what: the caller looks at
    // the path again either way.
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t length = ::read(descriptor_.get(), events, sizeof events);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) return false;
        changed_ = true;
        return true;
    }
}

}  // namespace zentrabo::platform
