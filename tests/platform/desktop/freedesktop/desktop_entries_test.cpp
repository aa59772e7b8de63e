// The installed applications as desktop entries: which entries count, which
// are listed, their IDs and localized names, and which copy of an ID wins.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <functional>

#include "freedesktop_fixture.hpp"
#include "platform/desktop/freedesktop/desktop_entries.hpp"

namespace zentrabo::testing {
namespace {

using platform::desktopEntries;

std::optional<platform::DesktopEntry> entryWithID(const std::string& id) {
    for (auto& entry : desktopEntries()) {
        if (entry.id == id) return entry;
    }
    return std::nullopt;
}

class DesktopEntries : public FreedesktopTest {};

TEST_F(DesktopEntries, TheRulesDecideWhatCountsAndWhatIsListed) {
    const auto program = write(home.path() / "bin/tool", "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
    write(home.path() / "bin/not-executable", "");
    setVariable("XDG_CURRENT_DESKTOP", "Other:GNOME");

    struct Case {
        const char* file;
        std::string lines;
        bool counts;
        bool listed;
    };
    const std::vector<Case> cases = {
        {"plain.desktop", "", true, true},
        {"nodisplay.desktop", "NoDisplay=true\n", true, false},
        {"hidden.desktop", "Hidden=true\n", false, false},
        {"link.desktop", "Type=Link\n", true, true},  // the first Type counts: Application
        {"only-here.desktop", "OnlyShowIn=KDE;GNOME;\n", true, true},
        {"only-elsewhere.desktop", "OnlyShowIn=KDE;\n", true, false},
        {"not-here.desktop", "NotShowIn=GNOME;\n", true, false},
        {"first-desktop-decides.desktop", "OnlyShowIn=Other;\nNotShowIn=GNOME;\n", true, true},
        {"tryexec-found.desktop", "TryExec=" + program.string() + "\n", true, true},
        {"tryexec-missing.desktop", "TryExec=/nonexistent/tool\n", false, false},
        {"tryexec-not-executable.desktop", "TryExec=" + (home.path() / "bin/not-executable").string() + "\n", false,
         false},
    };
    for (const auto& test : cases) writeEntry(userApplications() / test.file, test.file, test.lines);
    write(userApplications() / "no-exec.desktop", "[Desktop Entry]\nType=Application\nName=x\n");
    write(userApplications() / "directory.desktop", "[Desktop Entry]\nType=Directory\nName=x\nExec=x\n");
    write(userApplications() / "readme.txt", "[Desktop Entry]\nType=Application\nName=x\nExec=x\n");

    for (const auto& test : cases) {
        const auto entry = entryWithID(test.file);
        EXPECT_EQ(entry.has_value(), test.counts) << test.file;
        if (entry) {
            EXPECT_EQ(entry->listed, test.listed) << test.file;
        }
    }
    EXPECT_FALSE(entryWithID("no-exec.desktop"));
    EXPECT_FALSE(entryWithID("directory.desktop"));
    EXPECT_EQ(desktopEntries().size(), 8u);
}

TEST_F(DesktopEntries, TheFirstEntryOfAnIDWinsEvenWhenHidden) {
    writeEntry(userApplications() / "mine.desktop", "User's Own");
    writeEntry(systemApplications() / "mine.desktop", "System's");
    writeEntry(userApplications() / "gone.desktop", "Removed", "Hidden=true\n");
    writeEntry(systemApplications() / "gone.desktop", "Still Installed");
    writeEntry(systemApplications() / "vendor/sub/tool.desktop", "Nested");
    writeEntry(systemApplications() / ".hidden-folder/x.desktop", "Not Read");

    std::vector<std::pair<std::string, std::string>> found;
    for (const auto& entry : desktopEntries()) found.emplace_back(entry.id, entry.name);
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{{"mine.desktop", "User's Own"},
                                                                       {"vendor-sub-tool.desktop", "Nested"}}));
    EXPECT_EQ(platform::desktopEntryWithID("vendor-sub-tool.desktop")->path,
              systemApplications() / "vendor/sub/tool.desktop");
}

TEST_F(DesktopEntries, NamesFollowTheUsersLocaleAndValuesTheirEscapes) {
    writeEntry(userApplications() / "app.desktop", "Plain",
               "Name[de]=Deutsch\nName[de_AT]=Österreichisch\nName[sr@latin]=Latinica\n"
               "# Name[fr]=a comment\nIcon=my\\sicon\nMimeType=text/plain;a\\;b;;\nStartupWMClass=MyApp\n");
    const struct {
        std::optional<std::string> lcAll, lang;
        std::string name;
    } cases[] = {
        {std::nullopt, std::nullopt, "Plain"},           {std::nullopt, "de_DE.UTF-8", "Deutsch"},
        {std::nullopt, "de_AT.UTF-8", "Österreichisch"}, {"sr_RS.UTF-8@latin", "de_DE.UTF-8", "Latinica"},
        {std::nullopt, "fr_FR.UTF-8", "Plain"},          {"C", "de_DE.UTF-8", "Plain"},
    };
    for (const auto& test : cases) {
        setVariable("LC_ALL", test.lcAll);
        setVariable("LANG", test.lang);
        EXPECT_EQ(entryWithID("app.desktop")->name, test.name) << test.lang.value_or("-");
    }
    const auto entry = entryWithID("app.desktop");
    EXPECT_EQ(entry->icon, "my icon");
    EXPECT_EQ(entry->mimeTypes, (std::vector<std::string>{"text/plain", "a;b"}));
    EXPECT_EQ(entry->startupWMClass, "MyApp");
}

TEST_F(DesktopEntries, TheWalkIsKeptOnlyWhileItsFoldersAreUnchanged) {
    // Each step's folders get a time of their own well in the past, as if the
    // change were made a while ago; the newest times are not trusted at all.
    auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    const auto settle = [&past](const std::vector<std::filesystem::path>& folders) {
        past += std::chrono::seconds(1);
        for (const auto& folder : folders) std::filesystem::last_write_time(folder, past);
    };
    const auto user = userApplications();
    const auto sub = user / "sub";
    writeEntry(user / "first.desktop", "First");
    settle({user});
    const struct {
        const char* change;
        std::function<void()> make;
        const char* id;
        bool found;
    } steps[] = {
        {"as written", [] {}, "first.desktop", true},
        {"a file added",
         [&] {
             writeEntry(user / "second.desktop", "Second");
             settle({user});
         },
         "second.desktop", true},
        {"a file removed",
         [&] {
             std::filesystem::remove(user / "first.desktop");
             settle({user});
         },
         "first.desktop", false},
        {"a folder added",
         [&] {
             writeEntry(sub / "third.desktop", "Third");
             settle({user, sub});
         },
         "sub-third.desktop", true},
        {"a file added below",
         [&] {
             writeEntry(sub / "fourth.desktop", "Fourth");
             settle({sub});
         },
         "sub-fourth.desktop", true},
        {"a missing search folder made",
         [&] {
             writeEntry(systemApplications() / "fifth.desktop", "Fifth");
             settle({systemApplications()});
         },
         "fifth.desktop", true},
        {"changed a moment ago", [&] { writeEntry(user / "sixth.desktop", "Sixth"); }, "sixth.desktop", true},
    };
    for (const auto& step : steps) {
        step.make();
        // Asked twice: the second walk may be the kept one.
        for (int time = 0; time < 2; ++time) {
            EXPECT_EQ(platform::desktopEntryWithID(step.id).has_value(), step.found) << step.change;
            EXPECT_EQ(entryWithID(step.id).has_value(), step.found) << step.change;
        }
    }
}

}  // namespace
}  // namespace zentrabo::testing
