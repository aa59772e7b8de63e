#include "platform/store/store_files.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zentrabo::platform {
namespace {

constexpr const char* productFolder = "zentrabo";

std::error_code lastError() { return {errno, std::generic_category()}; }

std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return "/";
}

std::filesystem::path xdgFolder(const char* variable, const char* fallbackBelowHome) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
    return std::filesystem::path(value) / productFolder;
  }
  return homeFolder() / fallbackBelowHome / productFolder;
}

std::error_code writeAll(int descriptor, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(descriptor, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return lastError();
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

class Descriptor {
 public:
  explicit Descriptor(int descriptor) noexcept : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const noexcept { return descriptor_; }
  std::error_code close() noexcept {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return ::close(descriptor) == 0 ? std::error_code{} : lastError();
  }

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

std::filesystem::path dataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path configFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

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
  const std::filesystem::path folder = path.parent_path();
  if (auto error = ensurePrivateFolder(folder)) return error;

  std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));  // mkostemp creates it 0600
  if (file.get() < 0) return lastError();
  auto discard = [&](std::error_code error) {
    ::unlink(temporary.c_str());
    return error;
  };
  if (::fchmod(file.get(), 0600) != 0) return discard(lastError());
  if (auto error = writeAll(file.get(), contents)) return discard(error);
  if (::fsync(file.get()) != 0) return discard(lastError());
  if (auto error = file.close()) return discard(error);
  if (::rename(temporary.c_str(), path.c_str()) != 0) return discard(lastError());

  Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0 || ::fsync(directory.get()) != 0) return lastError();
  return {};
}

}  // namespace zentrabo::platform
