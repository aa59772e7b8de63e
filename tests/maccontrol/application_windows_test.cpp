// Listing an application's windows and the rules that pick one of them.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;

class ApplicationWindowsTest : public ControllerTest {
protected:
    std::vector<std::string> titles(const std::vector<RemoteApplicationWindowInfo>& windows) {
        std::vector<std::string> list;
        for (const auto& window : windows) {
            EXPECT_FALSE(window.isMinimized);
            EXPECT_TRUE(window.isOnScreen);
            list.push_back(window.title);
        }
        return list;
    }

    // The window server's entry of the application's window.
    ListedWindow listed(const std::string& windowTitle) {
        const auto windows = desktop->windows().value();
        for (const auto& window : windows) {
            if (window.title == windowTitle) return window;
        }
        ADD_FAILURE() << "no window " << windowTitle;
        return {};
    }
};

ScenarioWindow window(std::string title, Rect frame, bool minimized = false) {
    ScenarioWindow spec;
    spec.title = std::move(title);
    spec.frame = frame;
    spec.minimized = minimized;
    return spec;
}

TEST_F(ApplicationWindowsTest, ListsWindowsOfFortyPointsAndMoreByTitleThenByNumber) {
    DesktopBuilder builder;
    builder.application("Finder", "com.example.finder").window("Home", {0, 0, 400, 300});
    builder.application("Notes", "com.example.notes")
        .window("Zeta", {0, 0, 400, 300})
        .window("doc", {0, 0, 400, 300})
        .window("Narrow", {0, 0, 39, 100})
        .window("Short", {0, 0, 100, 39})
        .window("Square", {0, 0, 40, 40})
        .window(window("Hidden", {0, 0, 400, 300}, true))
        .window("Doc", {0, 0, 400, 300})
        .window(" \n", {0, 0, 400, 300});
    builder.frontmost("com.example.finder");
    start(builder);

    const auto windows = controller->applicationWindows("com.example.notes");
    // Equal titles apart from case keep the order of their numbers.
    EXPECT_THAT(titles(windows), ElementsAre("doc", "Doc", "Notes", "Square", "Zeta"));
    EXPECT_LT(windows[0].windowID, windows[1].windowID);
    EXPECT_TRUE(controller->isFrontmost(*running("com.example.notes")));
}

TEST_F(ApplicationWindowsTest, TitlesComeFromAccessibilityThenTheWindowServerThenTheApplication) {
    struct Titles {
        bool screenRecording;  // without it the window server hides names
        bool accessibility;
        std::string applicationName;
        std::string expected;
    };
    for (const auto& row : {Titles{true, true, "Notes", "Letter"}, Titles{false, true, "Notes", "Letter"},
                            Titles{true, false, "Notes", "Letter"}, Titles{false, false, "Notes", "Notes"},
                            Titles{false, false, " ", "Window"}}) {
        SCOPED_TRACE(std::to_string(row.screenRecording) + std::to_string(row.accessibility) + row.applicationName);
        DesktopBuilder builder;
        builder.application(row.applicationName, "com.example.notes").window(" Letter ", {0, 0, 400, 300});
        builder.screenRecordingAllowed(row.screenRecording).accessibilityTrusted(row.accessibility);
        start(builder);
        EXPECT_THAT(titles(controller->applicationWindows("com.example.notes")), ElementsAre(row.expected));
    }
}

TEST_F(ApplicationWindowsTest, CandidatesByOwnerPlaceLayerAlphaAndSize) {
    DesktopBuilder builder;
    builder.application("Notes", "com.example.notes").window("Letter", {0, 0, 400, 300});
    builder.application("Other", "com.example.other");
    start(builder);
    const auto notes = running("com.example.notes");
    const auto other = running("com.example.other");

    struct Change {
        const char* what;
        std::function<void(ListedWindow&)> apply;
        bool candidate;
    };
    const std::vector<Change> changes = {
        {"as listed", [](ListedWindow&) {}, true},
        {"alpha 0.01", [](ListedWindow& w) { w.alpha = 0.01; }, true},
        {"alpha 0", [](ListedWindow& w) { w.alpha = 0.0; }, false},
        {"layer 3", [](ListedWindow& w) { w.layer = 3; }, false},
        {"off screen", [](ListedWindow& w) { w.onScreen = false; }, false},
        {"desktop element", [](ListedWindow& w) { w.isDesktopElement = true; }, false},
        {"39 points wide",
         [](ListedWindow& w) {
             w.frame = {0, 0, 39, 40};
         },
         false},
        {"40 x 40 points",
         [](ListedWindow& w) {
             w.frame = {0, 0, 40, 40};
         },
         true},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        ListedWindow window = listed("Letter");
        change.apply(window);
        EXPECT_EQ(DesktopController::isCandidateWindow(window, notes->processIdentifier()), change.candidate);
        EXPECT_FALSE(DesktopController::isCandidateWindow(window, other->processIdentifier()));
    }
}

TEST_F(ApplicationWindowsTest, TitleMatchesAreExactOrAnchoredPrefixesIgnoringCaseAndDiacritics) {
    std::vector<ListedWindow> windows;
    for (const char* name : {"Résumé final", "Notes", "notes", "My Résumé"}) {
        ListedWindow window;
        window.id = static_cast<WindowID>(windows.size() + 1);
        window.title = name;
        windows.push_back(window);
    }
    windows.emplace_back();  // no title

    struct Match {
        std::optional<std::string> title;
        MenuTitleMatchMode mode;
        std::optional<WindowID> expected;
    };
    using enum MenuTitleMatchMode;
    for (const auto& match : {Match{"notes", exact, 3}, Match{" Notes\n", exact, 2}, Match{"NOTES", exact, {}},
                              Match{"NOTES", beginsWith, 2}, Match{"resume", beginsWith, 1},
                              Match{"RÉSUMÉ F", beginsWith, 1}, Match{"final", beginsWith, {}},
                              Match{"resume", exact, {}}, Match{" ", beginsWith, {}}, Match{std::nullopt, exact, {}}}) {
        SCOPED_TRACE(match.title.value_or("(none)"));
        EXPECT_EQ(DesktopController::matchingWindowNumber(match.title, match.mode, windows), match.expected);
    }
}

}  // namespace
}  // namespace zentrabo
