#pragma once
// One open file descriptor, owned: closed when its owner goes, moved but
// never copied.
#include <utility>

namespace zentrabo::platform {

class FileDescriptor {
public:
    FileDescriptor() noexcept = default;
    // Takes the descriptor; a negative one is none.
    explicit FileDescriptor(int descriptor) noexcept : descriptor_(descriptor < 0 ? -1 : descriptor) {}
    FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            descriptor_ = std::exchange(other.descriptor_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    // -1 when there is none.
    int get() const noexcept { return descriptor_; }
    explicit operator bool() const noexcept { return descriptor_ >= 0; }
    // Closes the descriptor now.
    void reset() noexcept;
    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(descriptor_, -1); }

private:
    int descriptor_ = -1;
};

}  // namespace zentrabo::platform
