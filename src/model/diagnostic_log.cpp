#include "model/diagnostic_log.hpp"

#include "model/diagnostic_log_state.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string_view>

#include "platform/files/atomic_file.hpp"
#include "platform/files/path_change_watch.hpp"
#include "platform/files/product_identity.hpp"
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

// The line's time to the second, formatted once per second and thread:
// formatting looks up the time zone and the environment each time.
std::string_view timestamp() {
    thread_local std::time_t formattedSecond = -1;
    thread_local char text[32] = {};
    thread_local std::size_t length = 0;
    const std::time_t now = std::time(nullptr);
    if (now != formattedSecond) {
        std::tm utc{};
        gmtime_r(&now, &utc);
        length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
        formattedSecond = now;
    }
    return {text, length};
}

// Writes a file that does not exist yet in one step: a temporary file beside
// it, renamed into place. Fails when the folder is missing. Nothing waits for
// the disk: a log file starts between two lines, and a crash handler must
// find the new file in place as soon as the old one has moved aside.
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

// Past its limit the log becomes "<path>.1" (replacing the older one, which
// is emptied should a hard link still lead to it) and the line starts a new
// file, so the log never holds much more than twice the limit on disk.
bool startNewLogFile(const std::string& path, const std::string& bytes) {
    // The older file replaced keeps nothing under a name someone else made.
    platform::SupersededFile older(path + ".1");
    if (std::rename(path.c_str(), (path + ".1").c_str()) != 0) return false;
    const bool started = writeWholeFile(path, bytes);
    if (started) repointCrashDescriptor(path);
    older.emptyIfStillNamed();
    return started;
}

// The log file, held open from one line to the next instead of being opened
// and closed for each: a line costs a look at a watch, a look at the file's
// size and one write. The watch is what keeps it honest: a file renamed,
// removed or replaced at the path since the last line (another process
// rotated the log, the folder was removed), or a path the environment has
// changed, lets the file go, and the line goes to the file now at the path,
// as if it had been opened for this line. Without a watch (no inotify
// instance to be had) each line looks at the path instead. Used under the
// log lock only.
class HeldLogFile {
public:
    bool append(const std::string& path, const std::string& bytes) {
        if (descriptor_ >= 0 && !stillAtPath(path)) release();
        if (descriptor_ < 0) {
            struct stat atPath {};
            // A missing file is created with its first line; a missing folder is not.
            if (::stat(path.c_str(), &atPath) != 0) return errno == ENOENT && writeWholeFile(path, bytes);
            if (!open(path)) return false;
        }
        // The size of the file, written by whoever writes it, from the held
        // descriptor rather than the path.
        const off_t size = ::lseek(descriptor_, 0, SEEK_END);
        if (size > 0 && static_cast<std::uint64_t>(size) + bytes.size() > diagnostics::logByteLimit().load()) {
            release();
            if (startNewLogFile(path, bytes)) return true;
            // Not rotated: the line still goes to the file it would have ended.
            if (!open(path)) return false;
        }
        if (diagnostics::writeAll(descriptor_, bytes.data(), bytes.size())) return true;
        release();
        return false;
    }

private:
    bool stillAtPath(const std::string& path) {
        if (path != path_) return false;
        if (watch_.isWatching()) return !watch_.sawChange();
        struct stat atPath {};
        return ::stat(path.c_str(), &atPath) == 0 && atPath.st_dev == device_ && atPath.st_ino == inode_;
    }

    bool open(const std::string& path) {
        // Watched before it is opened: whatever happens to the path after
        // the open is seen.
        static_cast<void>(watch_.start(path));
        descriptor_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        struct stat opened {};
        if (descriptor_ < 0 || ::fstat(descriptor_, &opened) != 0) {
            release();
            return false;
        }
        path_ = path;
        device_ = opened.st_dev;
        inode_ = opened.st_ino;
        return true;
    }

    void release() noexcept {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = -1;
        watch_.stop();
    }

    std::string path_;
    int descriptor_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    platform::PathChangeWatch watch_;
};

// The log's path for the environment and identity of the moment, built
// again only when XDG_STATE_HOME, HOME or the program's identity changed since
// the last line instead of from its parts for every line. Used under the log
// lock only.
class LogPath {
public:
    const std::string& current() {
        const char* state = std::getenv("XDG_STATE_HOME");
        const char* home = std::getenv("HOME");
        const std::uint64_t identity = platform::productIdentityGeneration();
        if (!path_ || identity != identity_ || !same(state, state_) || !same(home, home_)) {
            path_ = diagnosticLogPath();
            identity_ = identity;
            state_ = copy(state);
            home_ = copy(home);
        }
        return *path_;
    }

private:
    static bool same(const char* now, const std::optional<std::string>& before) {
        return now != nullptr ? before && *before == now : !before;
    }
    static std::optional<std::string> copy(const char* value) {
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }

    std::optional<std::string> path_;
    std::uint64_t identity_ = 0;
    std::optional<std::string> state_;
    std::optional<std::string> home_;
};

// Never destroyed: a static destructor may still log.
LogPath& logPath() {
    static auto* path = new LogPath;
    return *path;
}

// Never destroyed: a static destructor may still log.
HeldLogFile& heldLogFile() {
    static auto* file = new HeldLogFile;
    return *file;
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
        if (!heldLogFile().append(logPath().current(), text)) {
            const int descriptor = diagnostics::logDescriptor().load();
            if (descriptor >= 0) diagnostics::writeAll(descriptor, text.data(), text.size());
        }
    } catch (...) {
        // Out of memory: the line is lost, the caller goes on.
    }
}

}  // namespace zentrabo
