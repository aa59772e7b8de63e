#include "app/process_setup.hpp"

#include <malloc.h>
#include <sys/resource.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "model/diagnostic_log.hpp"
#include "platform/files/atomic_file.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo {

namespace {

// A 1080p yuv420p picture is 3 MB, a 1080p RGBA one 8 MB; the encoders'
// frames are of the same sizes.
constexpr int largeBufferBytes = 1 << 20;

}  // namespace

void raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        ZENTRABO_LOG(std::string("Open-file limit unreadable: ") + std::strerror(errno));
        return;
    }
    if (limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        ZENTRABO_LOG(std::string("Open-file limit not raised: ") + std::strerror(errno));
    }
}

void keepLargeBuffersOutOfTheHeap() { mallopt(M_MMAP_THRESHOLD, largeBufferBytes); }

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

void applyDiagnosticLogLimitFromEnvironment() {
    const char* text = std::getenv("ZENTRABO_DIAGNOSTIC_LOG_LIMIT");
    if (text == nullptr) return;
    const std::string_view value(text);
    std::uint64_t bytes = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), bytes);
    if (error == std::errc() && end == value.data() + value.size() && bytes > 0) setDiagnosticLogByteLimit(bytes);
}

std::size_t removeLeftoverTemporaryFiles(const std::string& receiveFolder) {
    // Deep enough for the virtual desktop's bundles in the data folder
    // (virtual-desktop/Home/Applications/<name>.app/Contents/Resources).
    constexpr int ownFolderDepth = 8;
    std::size_t removed = platform::removeLeftoverTemporaryFiles(receiveFolder);
    for (const auto& folder :
         {platform::dataFolder(), platform::configFolder(), std::filesystem::path(diagnosticLogPath()).parent_path()}) {
        removed += platform::removeLeftoverTemporaryFiles(folder, ownFolderDepth);
    }
    ZENTRABO_LOG("Removed " + std::to_string(removed) + " temporary file" + (removed == 1 ? "" : "s") +
                 " left by an interrupted write");
    return removed;
}

}  // namespace zentrabo
