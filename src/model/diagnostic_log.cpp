#include "model/diagnostic_log.hpp"

#include "model/diagnostic_log_state.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace zentrabo {

namespace diagnostics {

std::mutex& logLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

bool& installed() {
    static bool value = false;
    return value;
}

std::atomic<int>& logDescriptor() {
    static std::atomic<int> descriptor{-1};
    return descriptor;
}

bool writeAll(int descriptor, const char* bytes, std::size_t count) noexcept {
    while (count > 0) {
        const ssize_t written = ::write(descriptor, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace diagnostics

namespace {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return "/";
}

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// Writes a file that does not exist yet in one step: a temporary file beside
// it, renamed into place. Fails when the folder is missing.
bool writeWholeFile(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool written = diagnostics::writeAll(descriptor, bytes.data(), bytes.size());
    const bool closed = ::close(descriptor) == 0;
    if (written && closed && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

bool appendToLogFile(const std::string& path, const std::string& bytes) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (descriptor < 0) return errno == ENOENT && writeWholeFile(path, bytes);
    const bool written = diagnostics::writeAll(descriptor, bytes.data(), bytes.size());
    ::close(descriptor);  // the bytes are out; a late close error must not write them twice
    return written;
}

}  // namespace

std::string diagnosticLogPath() { return homeDirectory() + "/Library/Logs/Zentrabo/ZentraboMac.log"; }

void diagnosticLog(std::string_view message, std::string_view file, std::uint32_t line) noexcept {
    try {
        std::string text;
        text.reserve(message.size() + file.size() + 40);
        text += '[';
        text += timestamp();
        text += "] ";
        text += file;
        text += ':';
        text += std::to_string(line);
        text += ' ';
        text += message;
        text += '\n';

        std::lock_guard lock(diagnostics::logLock());
        if (!appendToLogFile(diagnosticLogPath(), text)) {
            const int descriptor = diagnostics::logDescriptor().load();
            if (descriptor >= 0) diagnostics::writeAll(descriptor, text.data(), text.size());
        }
    } catch (...) {
        // Out of memory: the line is lost, the caller goes on.
    }
}

}  // namespace zentrabo
