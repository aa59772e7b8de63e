// The application-window selection on a built desktop and a manual clock:
// launching, the looks and their waits, what each look does to the
// application, the window choice and the accessibility error texts.
#include <gtest/gtest.h>

#include <asio/bind_cancellation_slot.hpp>
#include <asio/cancellation_signal.hpp>
#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/accessibility_error_description.hpp"
#include "screenstream/application_window_choice.hpp"
#include "screenstream/application_window_selection.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using platform::Rect;

constexpr const char* editorID = "com.example.editor";

class ApplicationWindowSelectionTest : public ::testing::Test {
protected:
    // A power of two, so that the clock's sums stay exact.
    static constexpr double step = 1.0 / 1024;

    struct Run {
        std::optional<SelectedContent> selected;
        std::string error;
        // How long each wait lasted, to one step.
        std::vector<double> waits;
    };

    void start(const platform::DesktopBuilder& builder) {
        std::filesystem::create_directories(home.logFolder());
        desktop = platform::VirtualDesktop::create(builder.build(), clock);
    }

    // Runs the selection to its end, moving the clock a step at a time while
    // it waits; cancelAfterWaits cancels it once that many waits are over.
    Run select(const RemoteScreenStreamRequest& request, std::optional<std::size_t> cancelAfterWaits = std::nullopt) {
        asio::io_context io;
        asio::cancellation_signal cancel;
        Run run;
        bool done = false;
        asio::co_spawn(
            io, applicationWindowSelection(request, *desktop, clock),
            asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr error, SelectedContent selected) {
                done = true;
                if (!error) {
                    run.selected = std::move(selected);
                    return;
                }
                try {
                    std::rethrow_exception(error);
                } catch (const std::exception& thrown) {
                    run.error = thrown.what();
                }
            }));
        double waited = 0;
        for (int turn = 0; turn < 20 * 1024; ++turn) {
            io.restart();
            io.poll();
            if (done) return run;
            EXPECT_EQ(clock.pendingCount(), 1u) << "not waiting on the clock";
            if (cancelAfterWaits && run.waits.size() == *cancelAfterWaits) {
                cancel.emit(asio::cancellation_type::all);
                continue;
            }
            clock.advance(step);
            waited += step;
            if (clock.pendingCount() == 0) {
                run.waits.push_back(waited);
                waited = 0;
            }
        }
        ADD_FAILURE() << "the selection never ended";
        return run;
    }

    static RemoteScreenStreamRequest request(std::optional<std::string> bundleIdentifier,
                                             std::optional<std::string> name = std::nullopt) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = std::move(bundleIdentifier);
        options.applicationName = std::move(name);
        return options;
    }

    std::optional<std::string> selectedTitle(const Run& run) {
        if (!run.selected || !run.selected->windowID) return std::nullopt;
        const auto content = desktop->shareableContent(false, true);
        for (const auto& window : content->windows) {
            if (window.windowID == *run.selected->windowID) return window.title.value_or("");
        }
        return "?";
    }

    platform::ProcessID processOf(const std::string& bundleIdentifier) {
        for (const auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() == bundleIdentifier) return application->processIdentifier();
        }
        return 0;
    }

    // The journal's entries of these actions, as "action subject: detail".
    std::vector<std::string> journal(const std::vector<std::string>& actions) {
        std::vector<std::string> texts;
        for (const auto& entry : desktop->journal()) {
            if (std::find(actions.begin(), actions.end(), entry.action) != actions.end()) texts.push_back(entry.text());
        }
        return texts;
    }

    testing::TemporaryHome home;
    platform::ManualClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop;
};

TEST_F(ApplicationWindowSelectionTest, FindsLaunchesOrGivesUpWithTheRightNameAfterItsWaits) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID).window("Main", {100, 100, 400, 300});
    builder.application("Sketch", "com.example.sketch").notRunning().window("Canvas", {50, 50, 300, 200});
    builder.application("Slow", "com.example.slow").notRunning().launchDelay(4.9).window("Late", {0, 0, 200, 200});
    builder.application("Broken", "com.example.broken").notRunning().failsToLaunch().window("Never", {0, 0, 99, 99});
    builder.application("Ghost", "com.example.ghost").notRunning().notInstalled();
    builder.display(1, {0, 0, 1000, 800});
    start(builder);

    const auto notFound = [](const std::string& name) {
        return name + " does not have an available window for streaming.";
    };
    struct Row {
        std::string name;
        RemoteScreenStreamRequest request;
        std::string expected;  // the window's title, or the error
        std::size_t waits;
        double wait;
    };
    auto missingNumber = request(editorID);
    missingNumber.applicationWindowID = 4242;
    const std::vector<Row> rows = {
        {"running", request("\t com.example.editor \n", " "), "Main", 0, 0},
        {"launched", request("com.example.sketch"), "Canvas", 5, 0.08},
        {"launched just in time", request("com.example.slow"), "Late", 62, 0.08},
        {"a window number is never replaced", missingNumber, notFound("Editor"), 8, 0.18},
        {"named in the request",
         [&] {
             auto r = missingNumber;
             r.applicationName = " Writer ";
             return r;
         }(),
         notFound("Writer"), 8, 0.18},
        {"launch fails and the wait runs out", request("com.example.broken"), notFound("com.example.broken"), 63, 0.08},
        {"not installed", request("com.example.ghost", "  Ghost\n"), notFound("Ghost"), 0, 0},
        {"no identifier", request(" ", " Ghost "), notFound("Ghost"), 0, 0},
        {"neither identifier nor name", request(std::nullopt), notFound("The selected app"), 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Run run = select(row.request);
        EXPECT_EQ(run.selected ? selectedTitle(run).value_or("") : run.error, row.expected);
        ASSERT_EQ(run.waits.size(), row.waits);
        for (const double wait : run.waits) EXPECT_NEAR(wait, row.wait, step);
    }
    EXPECT_EQ(home.logCount("Screen stream app launch failed for com.example.broken: The application can’t be opened."),
              1u);
}

TEST_F(ApplicationWindowSelectionTest, TheWindowComesWithTheApplicationsOwnSoundOnItsDisplay) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID).window("Right", {1200, 100, 400, 300});
    builder.display(1, {0, 0, 1000, 800}, 2).display(2, {1000, 0, 800, 600});
    start(builder);
    const Run run = select(request(editorID));
    ASSERT_TRUE(run.selected) << run.error;
    EXPECT_EQ(run.selected->displayID, 2u);
    EXPECT_EQ(run.selected->pointerBounds, (Rect{1200, 100, 400, 300}));
    EXPECT_EQ(run.selected->audioFilter,
              platform::ContentFilter(platform::ApplicationContentFilter{2, processOf(editorID)}));
}

TEST_F(ApplicationWindowSelectionTest, EachLookBringsTheApplicationForwardAsItsAttemptSays) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID).window("Main", {100, 100, 400, 300});
    builder.display(1, {0, 0, 1000, 800});
    start(builder);
    auto options = request(editorID);
    options.applicationWindowID = 4242;
    const double started = clock.monotonicNow();
    ASSERT_EQ(select(options).waits.size(), 8u);

    // Per look: the reopens and activations made after it (look 0 also has
    // the ones before it).
    std::map<int, std::vector<std::string>> byLook;
    for (const auto& entry : desktop->journal()) {
        if (entry.action != "reopen" && entry.action != "activate") continue;
        byLook[static_cast<int>(std::lround((entry.time - started) / 0.18))].push_back(entry.action);
    }
    const std::vector<std::string> forward = {"activate", "activate"};
    const std::map<int, std::vector<std::string>> expected = {{0, {"activate", "reopen", "activate"}},
                                                              {1, {"reopen"}},
                                                              {2, forward},
                                                              {3, forward},
                                                              {4, forward},
                                                              {5, forward},
                                                              {6, forward},
                                                              {7, forward},
                                                              {8, forward}};
    EXPECT_EQ(byLook, expected);
}

TEST_F(ApplicationWindowSelectionTest, AMinimizedOnlyWindowIsRestoredAndRaisedOnlyWithTrust) {
    for (const bool trusted : {true, false}) {
        SCOPED_TRACE(trusted);
        platform::DesktopBuilder builder;
        platform::ScenarioWindow window;
        window.title = "Main";
        window.frame = {100, 100, 400, 300};
        window.minimized = true;
        builder.application("Editor", editorID).window(window);
        builder.display(1, {0, 0, 1000, 800});
        builder.accessibilityTrusted(trusted);
        start(builder);
        const Run run = select(request(editorID));
        // Without trust the reopen request shows it all the same.
        EXPECT_EQ(selectedTitle(run), "Main");
        const std::vector<std::string> restored = {"setAttribute com.example.editor: Main AXMinimized = false",
                                                   "raise com.example.editor: Main"};
        const auto entries = journal({"setAttribute", "raise"});
        EXPECT_EQ(std::search(entries.begin(), entries.end(), restored.begin(), restored.end()) != entries.end(),
                  trusted);
        EXPECT_EQ(entries.empty(), !trusted);
    }
}

TEST_F(ApplicationWindowSelectionTest, CancellingEndsTheLaunchWaitAtOnce) {
    platform::DesktopBuilder builder;
    builder.application("Broken", "com.example.broken").notRunning().failsToLaunch().window("Never", {0, 0, 99, 99});
    start(builder);
    const Run run = select(request("com.example.broken"), 3);
    EXPECT_EQ(run.error, "Operation aborted.");
    EXPECT_EQ(run.waits.size(), 3u);
    EXPECT_EQ(clock.pendingCount(), 0u);
}

// A running application without a name of its own.
class NamelessApplication final : public platform::RunningApplication {
public:
    explicit NamelessApplication(platform::ProcessID pid) : pid_(pid) {}
    platform::ProcessID processIdentifier() const override { return pid_; }
    std::optional<std::string> bundleIdentifier() const override { return std::nullopt; }
    std::optional<std::string> localizedName() const override { return " "; }
    std::optional<std::filesystem::path> bundleURL() const override { return std::nullopt; }
    platform::ActivationPolicy activationPolicy() const override { return platform::ActivationPolicy::regular; }
    bool isActive() const override { return false; }
    bool isHidden() const override { return false; }
    bool isTerminated() const override { return false; }
    std::optional<platform::RgbaImage> icon() const override { return std::nullopt; }
    bool activate(bool) override { return false; }
    bool unhide() override { return false; }
    bool terminate() override { return false; }
    bool forceTerminate() override { return false; }

private:
    platform::ProcessID pid_;
};

TEST_F(ApplicationWindowSelectionTest, TitlesMatchWholeOrByTheirBeginningAndUntitledWindowsAreCalledWindow) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID)
        .window("Front", {0, 0, 300, 200})
        .window("Ébauche finale", {0, 300, 200, 100})
        .window("", {400, 0, 100, 100});
    builder.display(1, {0, 0, 1000, 800});
    start(builder);
    const auto content = *desktop->shareableContent(false, true);
    struct Row {
        std::string title;
        std::optional<MenuTitleMatchMode> mode;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"EBAUCHE", MenuTitleMatchMode::beginsWith, "Ébauche finale"},
        {"ebauche finale", MenuTitleMatchMode::exact, "Ébauche finale"},
        {"ébauche FINALE", std::nullopt, "Ébauche finale"},
        // Not the whole title: the application's front window instead.
        {"ebauche", MenuTitleMatchMode::exact, "Front"},
        {"ebauche", std::nullopt, "Front"},
    };
    const NamelessApplication nameless(processOf(editorID));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        auto options = request(editorID);
        options.applicationWindowTitle = row.title;
        options.applicationWindowTitleMatchMode = row.mode;
        const auto chosen = bestApplicationWindow(nameless, std::nullopt, content, options, *desktop);
        EXPECT_EQ(chosen ? chosen->title.value_or("") : "none", row.expected);
    }
    // Untitled, of an application without a name: the label "Window".
    auto options = request(editorID);
    options.applicationWindowTitle = "window";
    const auto untitled = bestApplicationWindow(nameless, std::nullopt, content, options, *desktop);
    EXPECT_EQ(untitled ? untitled->frame : Rect{}, (Rect{400, 0, 100, 100}));
}

TEST(AccessibilityErrorDescriptionTest, KnownCodesHaveTheirTextsAndOthersOne) {
    const std::vector<std::pair<platform::AXError, std::string>> rows = {
        {0, "success"},
        {-25204, "cannot complete"},
        {-25211, "accessibility API disabled"},
        {-25213, "parameterized attribute unsupported"},
        {-25214, "unknown accessibility error"},
        {-25199, "unknown accessibility error"},
        {1, "unknown accessibility error"},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(accessibilityErrorDescription(code), text) << code;
}

}  // namespace
}  // namespace zentrabo
