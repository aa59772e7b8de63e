#include "platform/store/store_files.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/atomic_file.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {
namespace {

constexpr const char* productFolder = "zentrabo";

std::error_code lastError() { return {errno, std::generic_category()}; }

class Descriptor {
 public:
  explicit Descriptor(int descriptor) noexcept : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

std::error_code ensurePrivateFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return error;
  if (::chmod(folder.c_str(), 0700) != 0) return lastError();
  return {};
}

std::filesystem::path dataFolder() { return xdgDataHome() / productFolder; }

std::filesystem::path configFolder() { return xdgConfigHome() / productFolder; }

std::error_code readStoreFile(const std::filesystem::path& path, std::string& contents) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return lastError();
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return lastError();
  if (static_cast<std::size_t>(status.st_size) > maximumStoreFileSize) {
    return std::make_error_code(std::errc::file_too_large);
  }
  contents.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    if (count == 0) return {};
    if (contents.size() + static_cast<std::size_t>(count) > maximumStoreFileSize) {
      return std::make_error_code(std::errc::file_too_large);
    }
    contents.append(buffer, static_cast<std::size_t>(count));
  }
}

std::error_code writeStoreFileAtomically(const std::filesystem::path& path,
                                         std::string_view contents) {
  if (auto error = ensurePrivateFolder(path.parent_path())) return error;
  return replaceFileAtomically(path, contents, 0600);
}

}  // namespace zentrabo::platform
