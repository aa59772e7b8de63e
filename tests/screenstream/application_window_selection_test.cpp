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
#include <tuple>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/accessibility_error_description.hpp"
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
                                             std::optional<std::string> name = std::nullopt,
                                             std::optional<platform::WindowID> windowID = std::nullopt) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = std::move(bundleIdentifier);
        options.applicationName = std::move(name);
        options.applicationWindowID = windowID;
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

    testing::TemporaryHome home;
    platform::ManualClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop;
};

TEST_F(ApplicationWindowSelectionTest, FindsLaunchesOrGivesUpWithTheRightNameAfterItsWaits) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID).window("Main", {1200, 100, 400, 300});
    builder.application("Sketch", "com.example.sketch").notRunning().window("Canvas", {50, 50, 300, 200});
    builder.application("Slow", "com.example.slow").notRunning().launchDelay(4.9).window("Late", {0, 0, 200, 200});
    builder.application("Broken", "com.example.broken").notRunning().failsToLaunch().window("Never", {0, 0, 99, 99});
    builder.application("Ghost", "com.example.ghost").notRunning().notInstalled();
    builder.display(1, {0, 0, 1000, 800}, 2).display(2, {1000, 0, 800, 600});
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
    const std::vector<Row> rows = {
        {"running", request("\t com.example.editor \n", " "), "Main", 0, 0},
        {"launched", request("com.example.sketch"), "Canvas", 5, 0.08},
        {"launched just in time", request("com.example.slow"), "Late", 62, 0.08},
        {"a window number is never replaced", request(editorID, {}, 4242), notFound("Editor"), 8, 0.18},
        {"named in the request", request(editorID, " Writer ", 4242), notFound("Writer"), 8, 0.18},
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
    // The window's display, with the application's own sound on it.
    const auto editor = select(request(editorID)).selected.value();
    EXPECT_EQ(editor.displayID, 2u);
    EXPECT_EQ(editor.audioFilter, platform::ContentFilter(platform::ApplicationContentFilter{2, processOf(editorID)}));
    EXPECT_EQ(home.logCount("Screen stream app launch failed for com.example.broken: The application can’t be opened."),
              1u);
}

TEST_F(ApplicationWindowSelectionTest, EachLookBringsTheApplicationForwardAsItsAttemptSays) {
    platform::DesktopBuilder builder;
    builder.application("Editor", editorID).window("Main", {100, 100, 400, 300});
    builder.display(1, {0, 0, 1000, 800});
    start(builder);
    const double started = clock.monotonicNow();
    ASSERT_EQ(select(request(editorID, {}, 4242)).waits.size(), 8u);

    // Per look, the reopens and activations after it (and before look 0).
    std::vector<std::vector<std::string>> byLook(9);
    for (const auto& entry : desktop->journal()) {
        if (entry.action != "reopen" && entry.action != "activate") continue;
        byLook.at(static_cast<std::size_t>(std::lround((entry.time - started) / 0.18))).push_back(entry.action);
    }
    std::vector<std::vector<std::string>> expected = {{"activate", "reopen", "activate"}, {"reopen"}};
    expected.resize(9, {"activate", "activate"});
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
        std::vector<std::string> entries;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "setWindow" || entry.action == "raise") entries.push_back(entry.text());
        }
        const std::vector<std::string> restored = {"setWindow com.example.editor: Main minimized = false",
                                                   "raise com.example.editor: Main"};
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

TEST_F(ApplicationWindowSelectionTest, TitlesMatchWholeOrByTheirBeginningAndUntitledWindowsAreCalledWindow) {
    platform::DesktopBuilder builder;
    // A name that trims to nothing: its untitled window is labelled "Window".
    builder.application(" ", editorID)
        .window("Front", {0, 0, 300, 200})
        .window("Ébauche finale", {0, 300, 200, 100})
        .window("", {400, 0, 100, 100});
    start(builder);
    const std::vector<std::tuple<std::string, std::optional<MenuTitleMatchMode>, std::string>> rows = {
        {"EBAUCHE", MenuTitleMatchMode::beginsWith, "Ébauche finale"},
        {"ebauche finale", MenuTitleMatchMode::exact, "Ébauche finale"},
        {"ébauche FINALE", std::nullopt, "Ébauche finale"},
        // Not the whole title: the application's front window instead.
        {"ebauche", MenuTitleMatchMode::exact, "Front"},
        {"ebauche", std::nullopt, "Front"},
        {"window", std::nullopt, ""},
    };
    for (const auto& [title, mode, expected] : rows) {
        auto options = request(editorID);
        options.applicationWindowTitle = title;
        options.applicationWindowTitleMatchMode = mode;
        EXPECT_EQ(selectedTitle(select(options)), expected) << title;
    }
}

TEST(AccessibilityErrorDescriptionTest, CodesOutsideTheKnownRangeShareOneText) {
    const std::vector<std::pair<platform::AXError, std::string>> rows = {
        {-25204, "cannot complete"},
        {-25214, "unknown accessibility error"},
        {-25199, "unknown accessibility error"},
        {1, "unknown accessibility error"},
    };
    for (const auto& [code, text] : rows) EXPECT_EQ(accessibilityErrorDescription(code), text) << code;
}

}  // namespace
}  // namespace zentrabo
