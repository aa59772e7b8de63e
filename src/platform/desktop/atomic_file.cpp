#include "platform/desktop/atomic_file.hpp"

#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zentrabo::platform {

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    const auto temporary = path.string() + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) fail(temporary);
    std::size_t written = 0;
    while (written < content.size()) {
        const auto n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            throw std::system_error(saved, std::generic_category(), temporary);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        throw std::system_error(saved, std::generic_category(), temporary);
    }
    if (::close(fd) != 0) fail(temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail(path.string());
}

}  // namespace zentrabo::platform
