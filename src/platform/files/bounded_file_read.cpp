#include "platform/files/bounded_file_read.hpp"

#include "platform/files/file_descriptor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zentrabo::platform {

namespace {

// Buffers grow by doubling from the size stat reported, starting here when it
// reported none (files whose size is only known by reading them).
constexpr std::size_t initialBufferSize = 64 * 1024;

BoundedFileRead failure(BoundedFileRead::Status status, int error = 0) {
    BoundedFileRead result;
    result.status = status;
    if (error != 0) result.error = std::error_code(error, std::generic_category());
    return result;
}

}  // namespace

BoundedFileRead readRegularFile(const std::string& path, std::size_t maximumByteCount) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; O_NOCTTY: a
    // terminal must not become ours.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file) return failure(BoundedFileRead::Status::failed, errno);
    return readRegularFile(file.get(), maximumByteCount);
}

BoundedFileRead readRegularFile(int descriptor, std::size_t maximumByteCount) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return failure(BoundedFileRead::Status::failed, errno);
    if (!S_ISREG(status.st_mode)) return failure(BoundedFileRead::Status::notRegularFile);

    const auto statSize = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
    if (statSize > maximumByteCount) {
        BoundedFileRead result = failure(BoundedFileRead::Status::tooLarge);
        result.size = static_cast<std::int64_t>(statSize);
        return result;
    }

    // One byte beyond the bound tells a file that grew past it.
    const std::size_t limit = maximumByteCount + 1;
    BoundedFileRead result;
    result.bytes.resize(std::min<std::size_t>(statSize > 0 ? statSize + 1 : initialBufferSize, limit));
    std::size_t total = 0;
    for (;;) {
        if (total == result.bytes.size()) {
            if (total == limit) break;
            result.bytes.resize(std::min(limit, std::max(total * 2, initialBufferSize)));
        }
        const ssize_t count =
            ::pread(descriptor, result.bytes.data() + total, result.bytes.size() - total, static_cast<off_t>(total));
        if (count < 0) {
            if (errno == EINTR) continue;
            return failure(BoundedFileRead::Status::failed, errno);
        }
        if (count == 0) break;
        total += static_cast<std::size_t>(count);
    }
    if (total > maximumByteCount) {
        BoundedFileRead tooLarge = failure(BoundedFileRead::Status::tooLarge);
        tooLarge.size = static_cast<std::int64_t>(total);
        return tooLarge;
    }
    result.bytes.resize(total);
    result.size = static_cast<std::int64_t>(total);
    return result;
}

}  // namespace zentrabo::platform
