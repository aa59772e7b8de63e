#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include <asio/any_io_executor.hpp>

#include "platform/crypto/bytes.hpp"
#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

// One stored setting.
using DefaultsValue = std::variant<bool, std::int64_t, double, std::string, Bytes, std::vector<std::string>>;

enum class DefaultsWrite {
    // Reaches the disk before the call returns.
    immediate,
    // May wait: such writes are batched into at most one rewrite per second.
    coalescible,
};

// The application's settings: a JSON object in defaults.json in the config
// folder (store_files.hpp), held in memory and rewritten atomically. A file
// that cannot be read as settings is renamed aside (".unreadable-<time>")
// and the store starts empty. Every problem is handed to the reporter
// (loading, and every write that fails); the reporter may be called from the
// writer's executor, and must not call back into the store. A write that
// reaches the disk at once also tells its caller.
class UserDefaults : public std::enable_shared_from_this<UserDefaults> {
public:
    using ProblemReporter = std::function<void(const std::string& problem)>;

    // Batched writes run on `writer` (keep it off the main loop); the store
    // must be destroyed before the writer's execution context.
    static std::shared_ptr<UserDefaults> create(Clock& clock, asio::any_io_executor writer, ProblemReporter reporter);
    ~UserDefaults();  // writes what is still pending

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    static std::filesystem::path filePath();

    std::optional<DefaultsValue> value(std::string_view key);
    std::optional<bool> boolean(std::string_view key);
    std::optional<std::int64_t> integer(std::string_view key);
    std::optional<std::string> string(std::string_view key);
    std::optional<Bytes> data(std::string_view key);
    std::optional<std::vector<std::string>> stringArray(std::string_view key);

    // An immediate write that fails returns its error and leaves the
    // setting as it was, in memory too, so no later write can store what
    // its caller was told had failed. A coalescible write returns no error:
    // it is written later and reported then.
    std::error_code set(std::string_view key, DefaultsValue value, DefaultsWrite write = DefaultsWrite::immediate);
    std::error_code remove(std::string_view key);

    // Writes batched changes now (at shutdown).
    void flush();

private:
    UserDefaults(Clock& clock, asio::any_io_executor writer, ProblemReporter reporter);

    using Values = std::map<std::string, DefaultsValue, std::less<>>;

    // Loads the file the environment names now when it is not the one held.
    // Caller holds fileMutex_.
    void ensureCurrent();
    // Rewrites the held file with the current values; a failure is reported
    // and returned. Caller holds fileMutex_.
    std::error_code writeNow();
    // Writes a change to one key at once; on failure the key gets back its
    // earlier value (none: removed). Caller holds fileMutex_.
    std::error_code writeChange(std::string_view key, std::optional<DefaultsValue> earlier);
    void scheduleBatch();
    void report(const std::string& problem) const;

    Clock& clock_;
    asio::any_io_executor writer_;
    ProblemReporter reporter_;

    // Orders every read and write of the file, so the newest values are
    // always the last written. Taken before stateMutex_.
    std::mutex fileMutex_;
    // Guards the members below; never held across file access.
    std::mutex stateMutex_;
    std::optional<std::filesystem::path> loadedPath_;
    Values values_;
    bool dirty_ = false;
    bool batchScheduled_ = false;
    std::optional<double> lastBatchWrite_;  // monotonic seconds
    Timer batchTimer_;
};

}  // namespace zentrabo::platform
