#include "model/diagnostic_log.hpp"

#include "model/diagnostic_log_state.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/files/xdg_folders.hpp"

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

std::atomic<std::uint64_t>& logByteLimit() {
    static std::atomic<std::uint64_t> limit{defaultDiagnosticLogByteLimit};
    return limit;
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

// Points the crash handlers' descriptor at the file now at the path, keeping
// its number: a handler that reads the number at any moment writes into an
// open log file, never into a closed or reused descriptor.
void repointCrashDescriptor(const std::string& path) {
    const int current = diagnostics::logDescriptor().load();
    if (current < 0) return;
    const int fresh = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fresh < 0) return;
    ::dup3(fresh, current, O_CLOEXEC);
    ::close(fresh);
}

// Past its limit the log becomes "<path>.1" (replacing the older one) and
// the line starts a new file, so the log never holds much more than twice
// the limit on disk.
bool startNewLogFile(const std::string& path, const std::string& bytes) {
    if (std::rename(path.c_str(), (path + ".1").c_str()) != 0) return false;
    if (!writeWholeFile(path, bytes)) return false;
    repointCrashDescriptor(path);
    return true;
}

bool appendToLogFile(const std::string& path, const std::string& bytes, bool mayRotate = true) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (descriptor < 0) return errno == ENOENT && writeWholeFile(path, bytes);
    struct stat file {};
    if (mayRotate && ::fstat(descriptor, &file) == 0 && file.st_size > 0 &&
        static_cast<std::uint64_t>(file.st_size) + bytes.size() > diagnostics::logByteLimit().load()) {
        ::close(descriptor);
        if (startNewLogFile(path, bytes)) return true;
        // Not rotated: the line still goes to the file it would have ended.
        return appendToLogFile(path, bytes, false);
    }
    const bool written = diagnostics::writeAll(descriptor, bytes.data(), bytes.size());
    ::close(descriptor);  // the bytes are out; a late close error must not write them twice
    return written;
}

}  // namespace

std::string diagnosticLogPath() { return (platform::stateFolder() / "ZentraboMac.log").string(); }

void setDiagnosticLogByteLimit(std::uint64_t bytes) { diagnostics::logByteLimit().store(bytes); }

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
