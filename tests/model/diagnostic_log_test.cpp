#include "model/crash_handlers.hpp"
#include "model/diagnostic_log.hpp"
#include "model/diagnostic_log_state.hpp"
#include "support/temporary_home.hpp"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zentrabo {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "the log ends with a line feed";
    return lines;
}

// "[yyyy-MM-ddTHH:mm:ssZ] " at the start of a line; returns the rest.
std::optional<std::string> afterTimestamp(const std::string& line) {
    constexpr std::string_view shape = "[dddd-dd-ddTdd:dd:ddZ] ";
    if (line.size() < shape.size()) return std::nullopt;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return std::nullopt;
    }
    return line.substr(shape.size());
}

// Runs body in a forked child (diagnostics are installed once per process)
// and returns the child's wait status. The child exits 0 unless body fails.
int runInChild(const std::function<bool()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

class DiagnosticLogTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;

    void makeLogFolder() { std::filesystem::create_directories(home.logFolder()); }
};

TEST_F(DiagnosticLogTest, WritesOneTimestampedLinePerEvent) {
    makeLogFolder();
    EXPECT_EQ(diagnosticLogPath(), (home.path() / ".local/state/zentrabo/ZentraboMac.log").string());
    ZENTRABO_LOG("Processing request: menu");
    diagnosticLog("two\nlines", "server/listener.cpp", 4294967295u);

    const std::vector<std::string> lines = splitLines(home.logText());
    ASSERT_EQ(lines.size(), 3u);
    const std::string expected =
        "model/diagnostic_log_test.cpp:" + std::to_string(__LINE__ - 6u) + " Processing request: menu";
    EXPECT_EQ(afterTimestamp(lines[0]), expected) << lines[0];
    EXPECT_THAT(lines[1], EndsWith("] server/listener.cpp:4294967295 two"));
    EXPECT_EQ(lines[2], "lines");
}

TEST_F(DiagnosticLogTest, CreatesAMissingFileButNotAMissingFolder) {
    diagnosticLog("lost", "model/a.cpp", 1);
    EXPECT_FALSE(std::filesystem::exists(home.logFolder()));

    makeLogFolder();
    diagnosticLog("first", "model/a.cpp", 2);
    EXPECT_THAT(home.logText(), EndsWith("] model/a.cpp:2 first\n"));
    EXPECT_EQ(splitLines(home.logText()).size(), 1u);
    // No temporary file is left beside it.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(home.logFolder()), std::filesystem::directory_iterator()), 1);
}

TEST_F(DiagnosticLogTest, LinesFromConcurrentThreadsNeverInterleave) {
    makeLogFolder();
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 200;
    const std::string payload(300, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < linesPerThread; ++i) {
                diagnosticLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " " + payload,
                              "model/t.cpp", 7);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::vector<std::string> lines = splitLines(home.logText());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threadCount * linesPerThread));
    std::set<std::string> expected;
    for (int t = 0; t < threadCount; ++t) {
        for (int i = 0; i < linesPerThread; ++i) {
            expected.insert("model/t.cpp:7 thread " + std::to_string(t) + " line " + std::to_string(i) + " " + payload);
        }
    }
    std::set<std::string> written;
    for (const std::string& line : lines) {
        const std::optional<std::string> rest = afterTimestamp(line);
        ASSERT_TRUE(rest) << line;
        written.insert(*rest);
    }
    EXPECT_EQ(written, expected);
}

TEST_F(DiagnosticLogTest, ALineGoesToTheFileNowAtThePathWhateverHappenedToTheOneBefore) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        // Done to the log between the two lines; the log file's path stays.
        std::function<void(const fs::path& log)> change;
        // Where the first line is found afterwards, beside the log path.
        const char* firstLineFile;
    };
    const Case cases[] = {
        {"removed", [](const fs::path& log) { fs::remove(log); }, nullptr},
        {"renamed away", [](const fs::path& log) { fs::rename(log, log.string() + ".1"); }, "ZentraboMac.log.1"},
        {"replaced",
         [](const fs::path& log) {
             const fs::path other = log.string() + ".new";
             std::ofstream(other) << "other\n";
             fs::rename(other, log);
         },
         nullptr},
        {"folder removed and made again",
         [](const fs::path& log) {
             fs::remove_all(log.parent_path());
             fs::create_directories(log.parent_path());
         },
         nullptr},
        {"folder renamed away and made again",
         [](const fs::path& log) {
             fs::rename(log.parent_path(), log.parent_path().string() + ".old");
             fs::create_directories(log.parent_path());
         },
         nullptr},
        {"unchanged", [](const fs::path&) {}, "ZentraboMac.log"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        fs::remove_all(home.logFolder());
        fs::remove_all(home.logFolder().string() + ".old");
        makeLogFolder();
        diagnosticLog("first", "model/a.cpp", 1);
        test.change(home.logFile());
        diagnosticLog("second", "model/a.cpp", 2);

        const std::string log = home.logText();
        EXPECT_THAT(log, EndsWith("] model/a.cpp:2 second\n"));
        EXPECT_EQ(home.logCount("second"), 1u);
        if (test.firstLineFile == nullptr) {
            EXPECT_EQ(log.find("first"), std::string::npos);
        } else {
            std::ifstream file(home.logFolder() / test.firstLineFile, std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            EXPECT_THAT(text, StartsWith("[")) << test.firstLineFile;
            EXPECT_THAT(text, HasSubstr("] model/a.cpp:1 first\n")) << test.firstLineFile;
        }
    }

    // Another folder named by the environment takes the next line.
    diagnosticLog("before", "model/a.cpp", 3);
    testing::TemporaryHome otherHome;
    std::filesystem::create_directories(otherHome.logFolder());
    diagnosticLog("after", "model/a.cpp", 4);
    EXPECT_EQ(otherHome.logCount("after"), 1u);
    EXPECT_EQ(otherHome.logCount("before"), 0u);
    EXPECT_EQ(home.logCount("after"), 0u);
}

TEST_F(DiagnosticLogTest, PastItsLimitTheLogRotatesAndKeepsEveryLineOnce) {
    makeLogFolder();
    constexpr std::uint64_t limit = 1000;
    setDiagnosticLogByteLimit(limit);
    constexpr int lineCount = 60;
    for (int i = 0; i < lineCount; ++i) diagnosticLog("line " + std::to_string(i), "model/r.cpp", 5);
    setDiagnosticLogByteLimit(defaultDiagnosticLogByteLimit);

    std::ifstream older(home.logFolder() / "ZentraboMac.log.1", std::ios::binary);
    const std::string olderText((std::istreambuf_iterator<char>(older)), std::istreambuf_iterator<char>());
    const std::string newerText = home.logText();
    EXPECT_LE(olderText.size(), limit);
    EXPECT_LE(newerText.size(), limit);
    // The two files hold the last lines, in order, each whole.
    std::vector<std::string> lines = splitLines(olderText);
    for (const std::string& line : splitLines(newerText)) lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    const int first = lineCount - static_cast<int>(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(afterTimestamp(lines[i]), "model/r.cpp:5 line " + std::to_string(first + static_cast<int>(i)));
    }
    EXPECT_GT(lines.size(), 20u) << "both files are used";
}

TEST_F(DiagnosticLogTest, InstallingTwiceOpensTheFileOnceAndLogsOnce) {
    const int status = runInChild([] {
        installDiagnostics();
        const int descriptor = diagnostics::logDescriptor().load();
        installDiagnostics();
        struct stat info {};
        return descriptor >= 0 && diagnostics::logDescriptor().load() == descriptor && fstat(descriptor, &info) == 0 &&
               (info.st_mode & 0777) == 0600 && (fcntl(descriptor, F_GETFD) & FD_CLOEXEC) != 0;
    });
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<std::string> lines = splitLines(home.logText());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], EndsWith(" Diagnostics installed. Log file: " + home.logFile().string()));
    EXPECT_THAT(lines[0], HasSubstr("] model/install_diagnostics.cpp:"));
}

TEST_F(DiagnosticLogTest, WithItsFolderGoneALineGoesThroughTheOpenDescriptor) {
    const int status = runInChild([this] {
        installDiagnostics();
        std::filesystem::remove_all(home.logFolder());
        diagnosticLog("after removal", "model/a.cpp", 3);
        const std::string held = "/proc/self/fd/" + std::to_string(diagnostics::logDescriptor().load());
        std::ifstream file(held, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        return text.find("Diagnostics installed") != std::string::npos && text.size() > 26 &&
               text.ends_with("] model/a.cpp:3 after removal\n");
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(DiagnosticLogTest, AFatalSignalLeavesItsNumberAndEndsTheProcessBySignal) {
    for (const int signalNumber : {SIGABRT, SIGILL, SIGSEGV, SIGBUS, SIGTRAP}) {
        std::filesystem::remove_all(home.logFolder());
        const int status = runInChild([signalNumber] {
            installDiagnostics();
            raise(signalNumber);
            return false;
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << signalNumber;
        EXPECT_EQ(WTERMSIG(status), signalNumber);
        const std::string text = home.logText();
        EXPECT_THAT(text, EndsWith("\n\nZentrabo terminated by signal " + std::to_string(signalNumber) + "\n"));
        EXPECT_THAT(text, HasSubstr("Diagnostics installed"));
    }
}

TEST_F(DiagnosticLogTest, UncaughtExceptionsAreLoggedWithTypeReasonAndStack) {
    const int status = runInChild([] {
        installDiagnostics();
        std::thread([] { throw std::runtime_error("disk on fire"); }).join();
        return false;
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    const std::string text = home.logText();
    EXPECT_THAT(text, HasSubstr("] model/crash_handlers.cpp:"));
    EXPECT_THAT(text, HasSubstr(" Uncaught exception: std::runtime_error\nReason: disk on fire\nCall stack:\n"));
    EXPECT_THAT(text, EndsWith("\nZentrabo terminated by signal 6\n"));

    std::filesystem::remove_all(home.logFolder());
    const int otherStatus = runInChild([] {
        installDiagnostics();
        std::thread([] { throw 42; }).join();
        return false;
    });
    ASSERT_TRUE(WIFSIGNALED(otherStatus));
    EXPECT_THAT(home.logText(), HasSubstr(" Uncaught exception: int\nReason: unknown\nCall stack:\n"));
}

TEST_F(DiagnosticLogTest, UncaughtExceptionTextHasNoTrailingLineFeedOfItsOwn) {
    makeLogFolder();
    handleUncaughtException("NSRangeException", std::nullopt, {"0 a", "1 b"});
    const std::string text = home.logText();
    EXPECT_THAT(text, EndsWith(" Uncaught exception: NSRangeException\nReason: unknown\nCall stack:\n0 a\n1 b\n"));
}

}  // namespace
}  // namespace zentrabo
