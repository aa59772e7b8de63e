// Exec lines made into argument vectors: quoting, escapes and field codes,
// and shell characters that stay plain text.
#include <gtest/gtest.h>

#include "platform/desktop/freedesktop/exec_line.hpp"
#include "platform/desktop/freedesktop/key_file.hpp"

namespace zentrabo::testing {
namespace {

using platform::LaunchTarget;
using Argv = std::optional<std::vector<std::string>>;

struct ExecCase {
    const char* what;
    // As written in the entry file, before the value escapes.
    std::string written;
    std::vector<LaunchTarget> targets;
    Argv expected;
};

TEST(ExecLine, MakesExactlyTheIntendedArguments) {
    const LaunchTarget file{"/home/me/My File;rm -rf ~.txt", true};
    const LaunchTarget url{"https://example.com/a b?c=$d", false};
    const std::vector<ExecCase> cases = {
        {"plain words", "app --flag value", {}, Argv{{"app", "--flag", "value"}}},
        {"runs of white space", "app   a\tb", {}, Argv{{"app", "a", "b"}}},
        {"quotes keep spaces", R"(app "two words" x)", {}, Argv{{"app", "two words", "x"}}},
        {"escapes inside quotes, after the value escapes",
         R"(app "a \\" b" "\\$HOME" "\\`id\\`" "back\\\\slash")",
         {},
         Argv{{"app", R"(a " b)", "$HOME", "`id`", R"(back\slash)"}}},
        {"shell characters are text", "app ;|&<>*?$HOME ~ $(id)", {}, Argv{{"app", ";|&<>*?$HOME", "~", "$(id)"}}},
        {"an empty quoted argument stays", R"(app "" x)", {}, Argv{{"app", "", "x"}}},
        {"%% is a percent sign", R"(app 100%% "50%%")", {}, Argv{{"app", "100%", "50%"}}},
        {"%c, %k and %i",
         "app %c --file=%k %i",
         {},
         Argv{{"app", "My App", "--file=/apps/my.desktop", "--icon", "my-icon"}}},
        {"no target: file codes vanish", "app %f %U end", {}, Argv{{"app", "end"}}},
        {"%f is the path, one argument whatever it holds", "app %f", {file}, Argv{{"app", file.text}}},
        {"%u of a file is its file URL",
         "app %u",
         {file},
         Argv{{"app", "file:///home/me/My%20File%3Brm%20-rf%20~.txt"}}},
        {"%U of a URL is the URL unchanged", "app %U", {url}, Argv{{"app", url.text}}},
        {"%F takes every file", "app %F", {file, {"/b", true}}, Argv{{"app", file.text, "/b"}}},
        {"%f of a file URL is its path", "app %f", {{"file:///tmp/a%20b", false}}, Argv{{"app", "/tmp/a b"}}},
        {"%f cannot take a web URL", "app %f", {url}, std::nullopt},
        {"a target for a line without a code", "app", {file}, std::nullopt},
        {"deprecated codes are dropped", "app %d %n %m x", {}, Argv{{"app", "x"}}},
        {"an unknown code", "app %z", {}, std::nullopt},
        {"an unterminated quote", R"(app "open)", {}, std::nullopt},
        {"a lone percent at the end", "app %", {}, std::nullopt},
        {"nothing to run", "  ", {}, std::nullopt},
    };
    for (const auto& test : cases) {
        platform::DesktopEntry entry;
        entry.name = "My App";
        entry.path = "/apps/my.desktop";
        entry.icon = "my-icon";
        entry.exec = platform::unescapeKeyValue(test.written);
        EXPECT_EQ(platform::execArguments(entry, test.targets), test.expected) << test.what;
    }
}

}  // namespace
}  // namespace zentrabo::testing
