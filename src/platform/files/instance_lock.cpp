#include "platform/files/instance_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

namespace zentrabo::platform {
namespace {

// A pid is at most a few digits and a line feed.
constexpr std::size_t maximumPidTextLength = 32;

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

std::optional<pid_t> readPid(int descriptor) {
    char text[maximumPidTextLength];
    const ssize_t count = ::pread(descriptor, text, sizeof text, 0);
    if (count <= 0) return std::nullopt;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text, text + count, pid);
    if (error != std::errc() || pid <= 0 || (end != text + count && *end != '\n')) return std::nullopt;
    return pid;
}

bool writePid(int descriptor) {
    const std::string text = std::to_string(::getpid()) + "\n";
    return ::ftruncate(descriptor, 0) == 0 &&
           ::pwrite(descriptor, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

}  // namespace

InstanceLock::Outcome InstanceLock::acquire(const std::filesystem::path& lockFile) {
    const auto folder = lockFile.parent_path();
    std::error_code folderError;
    if (std::filesystem::create_directories(folder, folderError)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, folderError);
    }
    if (folderError) return Failed{"cannot create " + folder.string() + ": " + folderError.message()};
    const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) return Failed{errnoText("cannot open " + lockFile.string())};
    int locked;
    do {
        locked = ::flock(descriptor, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            HeldElsewhere held{readPid(descriptor)};
            ::close(descriptor);
            return held;
        }
        Failed failed{errnoText("cannot lock " + lockFile.string())};
        ::close(descriptor);
        return failed;
    }
    // The pid only names the holder in the refusal; the lock itself is what counts.
    static_cast<void>(writePid(descriptor));
    return InstanceLock(descriptor);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : descriptor_(other.descriptor_) { other.descriptor_ = -1; }

InstanceLock::~InstanceLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace zentrabo::platform
