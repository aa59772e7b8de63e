#pragma once
// One running copy of a program per folder: an exclusive flock on a lock
// file, held for as long as the object lives (and released by the kernel
// when the process ends, however it ends).
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace zentrabo::platform {

class InstanceLock {
public:
    // Another process holds the lock; its pid when it could be read.
    struct HeldElsewhere {
        std::optional<pid_t> pid;
    };
    // The lock file could not be made or locked; nothing else holds it.
    struct Failed {
        std::string reason;
    };
    using Outcome = std::variant<InstanceLock, HeldElsewhere, Failed>;

    // Creates the folder (owner-only) and the lock file (0600) when missing,
    // takes the lock without waiting and writes this process's pid into the
    // file. When another process holds the lock, nothing is written.
    static Outcome acquire(const std::filesystem::path& lockFile);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

private:
    explicit InstanceLock(int descriptor) : descriptor_(descriptor) {}

    int descriptor_ = -1;
};

}  // namespace zentrabo::platform
