#include "platform/store/user_defaults.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <utility>

#include "platform/store/store_files.hpp"
#include "platform/store/user_defaults_file.hpp"

namespace zentrabo::platform {
namespace {

// Batched writes reach the disk at most this often.
constexpr double batchInterval = 1.0;

// "20261207T051500Z" for the wall time of the clock.
std::string timestamp(Date now) {
    const auto seconds = static_cast<std::time_t>(std::floor(now.unixSeconds()));
    std::tm calendar{};
    char text[32] = "unknown-time";
    if (gmtime_r(&seconds, &calendar) != nullptr) {
        std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &calendar);
    }
    return text;
}

template <class T>
std::optional<T> alternative(std::optional<DefaultsValue> value) {
    if (!value) return std::nullopt;
    if (auto* held = std::get_if<T>(&*value)) return std::move(*held);
    return std::nullopt;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::create(Clock& clock, asio::any_io_executor writer,
                                                   ProblemReporter reporter) {
    return std::shared_ptr<UserDefaults>(new UserDefaults(clock, std::move(writer), std::move(reporter)));
}

UserDefaults::UserDefaults(Clock& clock, asio::any_io_executor writer, ProblemReporter reporter)
    : clock_(clock), writer_(std::move(writer)), reporter_(std::move(reporter)) {}

UserDefaults::~UserDefaults() { flush(); }

std::filesystem::path UserDefaults::filePath() { return configFolder() / "defaults.json"; }

void UserDefaults::report(const std::string& problem) const {
    if (reporter_) reporter_(problem);
}

void UserDefaults::ensureCurrent() {
    const std::filesystem::path path = filePath();
    {
        std::lock_guard state(stateMutex_);
        if (loadedPath_ == path) return;
    }
    // The environment now names another file: what is pending belongs to the
    // old one.
    writeNow();

    std::string text;
    Values loaded;
    const std::error_code error = readStoreFile(path, text);
    if (error && error != std::errc::no_such_file_or_directory) {
        report("The settings file " + path.string() + " could not be read (" + error.message() +
               "); starting with empty settings.");
    } else if (!error) {
        if (auto values = defaults::parse(text)) {
            loaded = std::move(*values);
        } else {
            const std::filesystem::path aside = path.string() + ".unreadable-" + timestamp(clock_.now());
            std::error_code renameError;
            std::filesystem::rename(path, aside, renameError);
            report(renameError ? "The settings file " + path.string() + " is not valid and could not be moved aside (" +
                                     renameError.message() + "); starting with empty settings."
                               : "The settings file " + path.string() + " is not valid; kept it as " + aside.string() +
                                     " and started with empty settings.");
        }
    }
    std::lock_guard state(stateMutex_);
    values_ = std::move(loaded);
    loadedPath_ = path;
    dirty_ = false;
}

std::error_code UserDefaults::writeNow() {
    std::string text;
    std::filesystem::path path;
    {
        std::lock_guard state(stateMutex_);
        if (!dirty_ || !loadedPath_) return {};
        path = *loadedPath_;
        text = defaults::serialize(values_);
        dirty_ = false;
    }
    if (const std::error_code error = writeStoreFileAtomically(path, text)) {
        {
            std::lock_guard state(stateMutex_);
            dirty_ = true;  // the next write tries again
        }
        report("The settings file " + path.string() + " could not be written (" + error.message() + ").");
        return error;
    }
    return {};
}

std::error_code UserDefaults::writeChange(std::string_view key, std::optional<DefaultsValue> earlier) {
    const std::error_code error = writeNow();
    if (!error) return {};
    std::lock_guard state(stateMutex_);
    if (earlier) {
        values_.insert_or_assign(std::string(key), std::move(*earlier));
    } else {
        values_.erase(std::string(key));
    }
    return error;
}

std::optional<DefaultsValue> UserDefaults::value(std::string_view key) {
    {
        std::lock_guard state(stateMutex_);
        if (loadedPath_ == filePath()) {
            const auto found = values_.find(key);
            return found == values_.end() ? std::nullopt : std::optional(found->second);
        }
    }
    std::lock_guard file(fileMutex_);
    ensureCurrent();
    std::lock_guard state(stateMutex_);
    const auto found = values_.find(key);
    return found == values_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<bool> UserDefaults::boolean(std::string_view key) { return alternative<bool>(value(key)); }
std::optional<std::int64_t> UserDefaults::integer(std::string_view key) {
    return alternative<std::int64_t>(value(key));
}
std::optional<std::string> UserDefaults::string(std::string_view key) { return alternative<std::string>(value(key)); }
std::optional<Bytes> UserDefaults::data(std::string_view key) { return alternative<Bytes>(value(key)); }
std::optional<std::vector<std::string>> UserDefaults::stringArray(std::string_view key) {
    return alternative<std::vector<std::string>>(value(key));
}

std::error_code UserDefaults::set(std::string_view key, DefaultsValue value, DefaultsWrite write) {
    if (const double* number = std::get_if<double>(&value); number && !std::isfinite(*number)) {
        report("The setting " + std::string(key) + " was not changed: JSON cannot hold " +
               (std::isnan(*number) ? "NaN." : "infinity."));
        return std::make_error_code(std::errc::invalid_argument);
    }
    if (write == DefaultsWrite::coalescible) {
        std::lock_guard state(stateMutex_);
        if (loadedPath_ == filePath()) {
            values_.insert_or_assign(std::string(key), std::move(value));
            dirty_ = true;
            scheduleBatch();
            return {};
        }
    }
    std::lock_guard file(fileMutex_);
    ensureCurrent();
    std::optional<DefaultsValue> earlier;
    {
        std::lock_guard state(stateMutex_);
        const auto [entry, inserted] = values_.try_emplace(std::string(key), std::move(value));
        if (!inserted) earlier = std::exchange(entry->second, std::move(value));
        dirty_ = true;
        if (write == DefaultsWrite::coalescible) {
            scheduleBatch();
            return {};
        }
    }
    return writeChange(key, std::move(earlier));
}

std::error_code UserDefaults::remove(std::string_view key) {
    std::lock_guard file(fileMutex_);
    ensureCurrent();
    std::optional<DefaultsValue> earlier;
    {
        std::lock_guard state(stateMutex_);
        const auto found = values_.find(key);
        if (found == values_.end()) return {};
        earlier = std::move(found->second);
        values_.erase(found);
        dirty_ = true;
    }
    return writeChange(key, std::move(earlier));
}

void UserDefaults::scheduleBatch() {
    if (batchScheduled_) return;
    batchScheduled_ = true;
    const double delay = lastBatchWrite_ ? *lastBatchWrite_ + batchInterval - clock_.monotonicNow() : 0.0;
    batchTimer_ = clock_.schedule(writer_, delay, [weak = weak_from_this()] {
        const auto self = weak.lock();
        if (!self) return;
        std::lock_guard file(self->fileMutex_);
        {
            std::lock_guard state(self->stateMutex_);
            self->batchScheduled_ = false;
            self->lastBatchWrite_ = self->clock_.monotonicNow();
        }
        self->writeNow();
    });
}

void UserDefaults::flush() {
    std::lock_guard file(fileMutex_);
    {
        std::lock_guard state(stateMutex_);
        batchTimer_.cancel();
        batchScheduled_ = false;
    }
    writeNow();
}

}  // namespace zentrabo::platform
