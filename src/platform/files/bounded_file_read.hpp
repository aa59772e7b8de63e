#pragma once
// Reads a whole regular file, but never more than a bound: a file that is
// larger, or grows past the bound while it is read, is refused instead of
// filling memory, and anything that is not a regular file (a FIFO, a
// device) is refused before a byte is read, so no read can block.
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace zentrabo::platform {

struct BoundedFileRead {
    enum class Status {
        ok,
        // The file holds more than the bound; size is what was seen of it.
        tooLarge,
        // Not a regular file; nothing was read.
        notRegularFile,
        // Opening or reading failed with error.
        failed,
    };
    Status status = Status::ok;
    std::vector<std::uint8_t> bytes;
    std::int64_t size = 0;
    std::error_code error;
};

BoundedFileRead readRegularFile(const std::string& path, std::size_t maximumByteCount);

// The same through a descriptor open for reading, from its first byte on
// (pread: the descriptor's offset is neither used nor moved). The file is
// measured and read through the descriptor alone.
BoundedFileRead readRegularFile(int descriptor, std::size_t maximumByteCount);

}  // namespace zentrabo::platform
