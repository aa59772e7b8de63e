// Which entry a running process belongs to.
#include <gtest/gtest.h>

#include "platform/desktop/application_identifier.hpp"
#include "platform/desktop/freedesktop/application_matching.hpp"

namespace zentrabo::testing {
namespace {

using platform::ProcessClues;
using platform::WindowClassHints;

platform::DesktopEntry entry(std::string id, std::string exec, std::optional<std::string> wmClass = std::nullopt) {
    platform::DesktopEntry made;
    made.id = std::move(id);
    made.name = made.id;
    made.exec = std::move(exec);
    made.startupWMClass = std::move(wmClass);
    return made;
}

TEST(ApplicationMatching, TheStrongestClueDecides) {
    const std::vector<platform::DesktopEntry> entries = {
        entry("org.example.Editor.desktop", "/usr/bin/env editor %F"),
        entry("browser.desktop", "/bin/true %u", "Navigator"),
        entry("org.example.Viewer.desktop", "/bin/false"),
        entry("shell.desktop", "sh -c x"),
    };
    const WindowClassHints editorWindow{"org.example.Editor", "navigator", "Navigator"};
    const struct {
        const char* what;
        ProcessClues clues;
        std::optional<std::string> expected;
    } cases[] = {
        {"the launch wins over everything",
         {{editorWindow}, std::nullopt, "org.example.Viewer.desktop"},
         "org.example.Viewer.desktop"},
        {"a launch of an entry now gone", {{}, std::nullopt, "gone.desktop"}, std::nullopt},
        {"the application ID before WM_CLASS",
         {{editorWindow}, std::nullopt, std::nullopt},
         "org.example.Editor.desktop"},
        {"StartupWMClass by class",
         {{{std::nullopt, "x", "Navigator"}}, std::nullopt, std::nullopt},
         "browser.desktop"},
        {"StartupWMClass by instance",
         {{{std::nullopt, "Navigator", "X"}}, std::nullopt, std::nullopt},
         "browser.desktop"},
        {"the ID by class, ignoring case",
         {{{std::nullopt, "viewer", "ORG.EXAMPLE.VIEWER"}}, std::nullopt, std::nullopt},
         "org.example.Viewer.desktop"},
        {"a later window may tell",
         {{{std::nullopt, "", ""}, {"org.example.Editor", "", ""}}, std::nullopt, std::nullopt},
         "org.example.Editor.desktop"},
        {"the executable of Exec, through PATH",
         {{{std::nullopt, "sh", "Sh"}}, "/usr/bin/true", std::nullopt},
         "browser.desktop"},
        {"nothing matches", {{{std::nullopt, "other", "Other"}}, "/nonexistent", std::nullopt}, std::nullopt},
    };
    for (const auto& test : cases) {
        const auto match = platform::matchingEntry(entries, test.clues);
        EXPECT_EQ(match ? std::optional(match->id) : std::nullopt, test.expected) << test.what;
    }
}

TEST(ApplicationMatching, ADeviceNamesAnEntryWithOrWithoutTheEnding) {
    const struct {
        const char* identifier;
        const char* requested;
        bool answers;
    } cases[] = {
        {"org.example.Editor.desktop", "org.example.Editor.desktop", true},
        {"org.example.Editor.desktop", "org.example.Editor", true},
        {"org.example.Editor", "org.example.Editor", true},
        // Only the one ending, only at the end, and never for nothing.
        {"org.example.Editor", "org.example.Editor.desktop", false},
        {"org.example.Editor.desktop", "org.example.Edit", false},
        {"org.example.Editor.desktop", "org.example", false},
        {"org.example.Editor.desktop.desktop", "org.example.Editor", false},
        {"org.example.Editorxdesktop", "org.example.Editor", false},
        {".desktop", "", false},
        {"", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::identifierAnswers(std::string_view(c.identifier), c.requested), c.answers)
            << c.identifier << " asked as " << c.requested;
    }
    EXPECT_FALSE(platform::identifierAnswers(std::optional<std::string>(), "")) << "no identifier answers nothing";
}

}  // namespace
}  // namespace zentrabo::testing
