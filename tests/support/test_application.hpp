#pragma once
// The tests' GTK application (tests/fixtures/test_application/main.py, which
// documents its options, its reports and its colour pattern) as a child
// process, and the JSON line reports it writes into a FIFO. Every wait is
// bounded, and an application still running when its object goes is ended.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/json/json_reader.hpp"

namespace zentrabo::testing {

inline constexpr std::string_view kTestApplicationId = "org.zentrabo.TestApp";
// The second application's id, for tests that need two.
inline constexpr std::string_view kSecondTestApplicationId = "org.zentrabo.TestApp2";

// One --window option of the application.
struct TestWindowSpec {
    std::string name;
    int width = 0;
    int height = 0;
    // Where the window manager puts the frame's top-left corner; it chooses
    // when none is given.
    std::optional<std::pair<int, int>> at;
    std::optional<std::pair<int, int>> minimum;
    // RRGGBB; by default the application's palette in window order.
    std::optional<std::string> colour;
    // A menu bar and a text field above the pattern (menus.py).
    bool menus = false;
    // With menus: a menu "Many" of this many items, "Item 1" on.
    int manyItems = 0;

    std::string argument() const {
        std::string text = "name=" + name + ",size=" + std::to_string(width) + "x" + std::to_string(height);
        if (at) text += ",at=" + std::to_string(at->first) + "+" + std::to_string(at->second);
        if (minimum) text += ",minimum=" + std::to_string(minimum->first) + "x" + std::to_string(minimum->second);
        if (colour) text += ",colour=" + *colour;
        if (menus) text += ",menus=yes";
        if (manyItems > 0) text += ",items=" + std::to_string(manyItems);
        return text;
    }
};

struct TestApplicationOptions {
    std::vector<TestWindowSpec> windows;
    std::string applicationId{kTestApplicationId};
    // Trailing arguments, only reported back in "argv".
    std::vector<std::string> arguments = {};
};

// The command line that starts the application with its reports going to
// reportPath, for tests that launch it some other way than TestApplication.
inline std::vector<std::string> testApplicationCommand(const TestApplicationOptions& options,
                                                       const std::filesystem::path& reportPath) {
    std::vector<std::string> command{"/usr/bin/python3",
                                     "-B",
                                     ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/main.py",
                                     "--report",
                                     reportPath.string(),
                                     "--application-id",
                                     options.applicationId};
    for (const auto& window : options.windows) {
        command.push_back("--window");
        command.push_back(window.argument());
    }
    command.insert(command.end(), options.arguments.begin(), options.arguments.end());
    return command;
}

// Starts command[0] with its arguments; the child's pid.
inline pid_t spawnProgram(const std::vector<std::string>& command) {
    // Built before the fork: the child of a threaded process must not allocate.
    std::vector<char*> argv;
    for (const auto& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// One report: its text and its parsed object.
class TestApplicationReport {
public:
    explicit TestApplicationReport(std::string line)
        : line_(std::move(line)), document_(platform::JsonDocument::parse(line_)) {}

    const std::string& line() const { return line_; }
    std::optional<platform::JsonValue> value(std::string_view key) const {
        const auto object = document_.root().asObject();
        return object ? object->find(key) : std::nullopt;
    }
    std::optional<std::string> text(std::string_view key) const {
        const auto found = value(key);
        const auto string = found ? found->asString() : std::nullopt;
        return string ? std::optional<std::string>(*string) : std::nullopt;
    }
    std::optional<std::int64_t> integer(std::string_view key) const {
        const auto found = value(key);
        std::int64_t number = 0;
        if (!found || found->getInteger(number) != platform::JsonIntegerStatus::ok) return std::nullopt;
        return number;
    }
    std::string event() const { return text("event").value_or(""); }

private:
    std::string line_;
    platform::JsonDocument document_;
};

// A FIFO in a folder of its own that the application writes its reports
// into, and the reports read from it. Reports a wait passes over stay queued
// for later waits, in their order.
class TestApplicationReports {
public:
    static constexpr auto defaultDeadline = std::chrono::seconds(10);

    TestApplicationReports() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zentrabo-reports-XXXXXX").string();
        folder_ = mkdtemp(pattern.data());
        path_ = folder_ / "reports";
        mkfifo(path_.c_str(), 0600);
        // Non-blocking, so opening does not wait for the writer; poll then
        // waits for its first line and tells when it has closed.
        descriptor_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~TestApplicationReports() {
        if (descriptor_ >= 0) close(descriptor_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TestApplicationReports(const TestApplicationReports&) = delete;
    TestApplicationReports& operator=(const TestApplicationReports&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // The first report of the event (and, when named, of the window); none
    // when the reports end or the deadline passes first.
    std::optional<TestApplicationReport> waitFor(std::string_view event, std::string_view window = {},
                                                 std::chrono::milliseconds deadline = defaultDeadline) {
        const auto matches = [&](const TestApplicationReport& report) {
            return report.event() == event && (window.empty() || report.text("window") == window);
        };
        const auto end = std::chrono::steady_clock::now() + deadline;
        for (std::size_t index = 0;; ++index) {
            if (index == pending_.size() && !readLine(end)) return std::nullopt;
            if (matches(pending_[index])) {
                TestApplicationReport report = std::move(pending_[index]);
                pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(index));
                return report;
            }
        }
    }

private:
    // Queues the next whole line; false when none comes before the end.
    bool readLine(std::chrono::steady_clock::time_point end) {
        for (;;) {
            if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
                pending_.emplace_back(buffer_.substr(0, newline));
                buffer_.erase(0, newline + 1);
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd entry{descriptor_, POLLIN, 0};
            if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
            char chunk[4096];
            const ssize_t count = read(descriptor_, chunk, sizeof chunk);
            if (count > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(count));
            } else if (count == 0) {
                return false;  // the writer has closed
            }
        }
    }

    std::filesystem::path folder_;
    std::filesystem::path path_;
    int descriptor_ = -1;
    std::string buffer_;
    std::deque<TestApplicationReport> pending_;
};

// The application as a child of the test, on the test's display and session
// bus (derive the fixture from X11SessionTest).
class TestApplication {
public:
    explicit TestApplication(const TestApplicationOptions& options) {
        pid_ = spawnProgram(testApplicationCommand(options, reports_.path()));
    }
    // Ends the application: SIGTERM, then SIGKILL when it has not ended within 2 s.
    ~TestApplication() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    TestApplication(const TestApplication&) = delete;
    TestApplication& operator=(const TestApplication&) = delete;

    pid_t pid() const { return pid_; }
    TestApplicationReports& reports() { return reports_; }

private:
    TestApplicationReports reports_;
    pid_t pid_ = -1;
};

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The colour of a window's pattern at a point of its client area: the
// window's colour ("RRGGBB"), except its complement in the top-left quadrant.
inline Rgb testPatternColour(std::string_view colour, int width, int height, int x, int y) {
    const auto channel = [&](std::size_t at) {
        return static_cast<std::uint8_t>(std::stoi(std::string(colour.substr(at, 2)), nullptr, 16));
    };
    const Rgb base{channel(0), channel(2), channel(4)};
    if (x < width / 2 && y < height / 2) {
        return {static_cast<std::uint8_t>(255 - base.red), static_cast<std::uint8_t>(255 - base.green),
                static_cast<std::uint8_t>(255 - base.blue)};
    }
    return base;
}

}  // namespace zentrabo::testing
