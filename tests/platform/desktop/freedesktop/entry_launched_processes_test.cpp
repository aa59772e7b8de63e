// Which entry a process was launched from, by its environment.
#include <gtest/gtest.h>

#include "platform/desktop/freedesktop/entry_launched_processes.hpp"

namespace zentrabo::testing {
namespace {

using namespace std::string_literals;

TEST(EntryLaunchedProcesses, OnlyTheLaunchedProcessNamesItsEntry) {
    const std::string file = "GIO_LAUNCHED_DESKTOP_FILE=/usr/share/applications/org.example.Editor.desktop"s;
    const struct {
        const char* what;
        std::string environment;
        std::optional<std::filesystem::path> expected;
    } cases[] = {
        {"launched", "HOME=/h\0"s + file + "\0GIO_LAUNCHED_DESKTOP_FILE_PID=42\0"s,
         "/usr/share/applications/org.example.Editor.desktop"},
        {"the pid before the file, no final NUL", "GIO_LAUNCHED_DESKTOP_FILE_PID=42\0"s + file,
         "/usr/share/applications/org.example.Editor.desktop"},
        {"a child that inherited both", file + "\0GIO_LAUNCHED_DESKTOP_FILE_PID=41\0"s, std::nullopt},
        {"a pid that is no number", file + "\0GIO_LAUNCHED_DESKTOP_FILE_PID=42x\0"s, std::nullopt},
        {"no pid", file + "\0"s, std::nullopt},
        {"no file", "GIO_LAUNCHED_DESKTOP_FILE_PID=42\0"s, std::nullopt},
        {"a relative file", "GIO_LAUNCHED_DESKTOP_FILE=x.desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=42\0"s, std::nullopt},
        {"a look-alike name", "XGIO_LAUNCHED_DESKTOP_FILE=/a.desktop\0GIO_LAUNCHED_DESKTOP_FILE_PID=42\0"s,
         std::nullopt},
        {"empty", ""s, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        EXPECT_EQ(platform::launchedEntryFile(testCase.environment, 42), testCase.expected);
    }
}

}  // namespace
}  // namespace zentrabo::testing
