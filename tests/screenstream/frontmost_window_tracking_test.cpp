// Frontmost-window tracking on a manual clock, its steps run on the test's
// main loop: the stream follows the window the user brings to the front,
// keeps the pointer on a window that moves, drops a lookup that the user
// overtook, logs what went wrong, and ends with its session.
#include <gmock/gmock.h>

#include <functional>
#include <future>
#include <limits>
#include <map>

#include "capture_stream_doubles.hpp"
#include "direct_session_fixture.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/frontmost_window_tracking.hpp"

namespace zentrabo::testing {
namespace {

class FrontmostWindowTrackingTest : public DirectSessionTest {
public:  // the tables' steps reach in
    static RemoteScreenStreamRequest following() {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::frontmostWindow;
        options.windowTrackingMode = RemoteScreenStreamWindowTrackingMode::followActiveWindow;
        return options;
    }

    // The editor is in front with its document streamed; the viewer and a
    // palette that is too small to stream run behind it; notes are
    // installed and not running.
    void startTracking(const RemoteScreenStreamRequest& options = following()) {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 800, 600});
        builder.application("Editor", "com.example.editor").window("Doc", {100, 100, 300, 200});
        builder.application("Viewer", "com.example.viewer").window("Photo", {400, 100, 300, 200});
        builder.application("Palette", "com.example.palette").window("Tools", {10, 10, 30, 30});
        builder.application("Notes", "com.example.notes").window("Note", {50, 300, 300, 200}).notRunning();
        builder.frontmost("com.example.editor");
        start(builder, options);
        encoder = std::make_shared<CountingVideoEncoder>();

        const auto content = *desktop->shareableContent(false, true);
        for (const auto& window : content.windows) windows[window.title.value_or("")] = window.windowID;
        const auto selected = *windowContent(windows["Doc"], content, {}, *desktop);
        platform::StreamConfiguration configuration;
        configuration.width = 300;
        configuration.height = 200;
        configuration.minimumFrameInterval = {1, 5};
        stream = std::make_shared<ScriptedCaptureStream>(
            desktop->makeCaptureStream(selected.filter, configuration, [](const platform::ScreenCaptureError&) {}));
        // Its updates are answered on the main loop, as the test advances the clock.
        stream->outputsOn = mainLoop.executor();
        startPipeline(selected, encoder, stream);
        startFrontmostWindowTracking(*session);
        mainLoop.runReady();
    }

    void activate(const std::string& bundleIdentifier) {
        for (auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() == bundleIdentifier) application->activate(false);
        }
    }

    void launchNotes() {
        ASSERT_TRUE(desktop->openApplication(*desktop->urlForApplication("com.example.notes"), true).ok);
    }

    // A window's title: from the start, or from the window list for a
    // window opened since.
    std::string titleOf(platform::WindowID id) {
        for (const auto& [title, number] : windows) {
            if (id == number) return title;
        }
        if (const auto window = platform::listedWindow(*desktop, id); window && window->onScreen) {
            return window->title.value_or("");
        }
        return "another window";
    }

    // The window streamed now, by title; "" for none.
    std::string selectedTitle() {
        const auto id = session->selection().windowID();
        return id ? titleOf(*id) : "";
    }

    std::vector<std::string> filterTitles() {
        std::vector<std::string> titles;
        for (const auto& filter : stream->filters) {
            titles.push_back(titleOf(std::get<platform::WindowContentFilter>(filter).window));
        }
        return titles;
    }

    int keyFrames() {
        std::promise<void> reached;
        session->pipeline().encoderQueue().post([&] { reached.set_value(); });
        reached.get_future().wait();
        return encoder->keyFrameRequests;
    }

    void moveWindow(const std::string& bundleIdentifier, platform::Point origin) {
        for (auto& application : desktop->runningApplications()) {
            if (application->bundleIdentifier() != bundleIdentifier) continue;
            const auto window = desktop->applicationWindows(application->processIdentifier()).at(0);
            desktop->setWindowPosition(window.handle, origin);
        }
    }

    std::map<std::string, platform::WindowID> windows;
    std::shared_ptr<ScriptedCaptureStream> stream;
    std::shared_ptr<CountingVideoEncoder> encoder;
};

TEST_F(FrontmostWindowTrackingTest, OneStepFollowsTheFrontWindowOrItsBounds) {
    struct Row {
        const char* name;
        std::function<void(FrontmostWindowTrackingTest&)> act;
        std::string selected;
        platform::Rect bounds;
        std::vector<std::string> filters;
        int keyFrames;
        std::vector<std::string> lines;
    };
    const platform::Rect doc{100, 100, 300, 200}, photo{400, 100, 300, 200};
    const std::vector<Row> rows = {
        {"another application in front",
         [](auto& t) { t.activate("com.example.viewer"); },
         "Photo",
         photo,
         {"Photo"},
         1,
         {}},
        {"the window moved",
         [](auto& t) {
             t.moveWindow("com.example.editor", {500, 350});
         },
         "Doc",
         {500, 350, 300, 200},
         {},
         0,
         {}},
        {"the front application has no window to stream",
         [](auto& t) { t.activate("com.example.palette"); },
         "Doc",
         doc,
         {},
         0,
         {}},
        {"the filter update fails",
         [](auto& t) {
             t.desktop->setCaptureUpdateBehaviour({0, "The capture refused."});
             t.activate("com.example.viewer");
         },
         "Doc",
         doc,
         {"Photo", "Photo"},
         0,
         {"Frontmost window stream update failed: The capture refused.",
          "Frontmost window stream update failed: The capture refused."}},
        {"the filter update completes late",
         [](auto& t) {
             t.desktop->setCaptureUpdateBehaviour({0.3, std::nullopt});
             t.activate("com.example.viewer");
         },
         "Photo",
         photo,
         {"Photo"},
         1,
         {}},
        {"the shareable content is refused",
         [](auto& t) {
             t.desktop->setScreenRecordingAllowed(false);
             t.activate("com.example.viewer");
         },
         "Doc",
         doc,
         {},
         0,
         {"Frontmost window tracking skipped: Screen Recording permission is missing.",
          "Frontmost window tracking skipped: Screen Recording permission is missing."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = logMessages("Frontmost window").size();
        startTracking();
        row.act(*this);
        advance(0.5);  // a step, and the next one
        advance(0.5);
        EXPECT_EQ(selectedTitle(), row.selected);
        EXPECT_EQ(session->selection().pointerBounds(), row.bounds);
        const auto pointer = session->selection().pointerController()->location();
        EXPECT_TRUE(pointer.x >= row.bounds.minX() && pointer.x <= row.bounds.maxX() &&
                    pointer.y >= row.bounds.minY() && pointer.y <= row.bounds.maxY())
            << "the pointer follows the window";
        EXPECT_EQ(filterTitles(), row.filters);
        EXPECT_EQ(keyFrames(), row.keyFrames);
        auto lines = logMessages("Frontmost window");
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        ASSERT_EQ(lines.size(), row.lines.size()) << ::testing::PrintToString(lines);
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_THAT(lines[i], ::testing::StartsWith(row.lines[i]));
        session->stop();
    }
}

TEST_F(FrontmostWindowTrackingTest, AFilterUpdateThatNeverAnswersIsGivenUpAfterTwoSecondsAndTriedAgain) {
    startTracking();
    desktop->setCaptureUpdateBehaviour({std::numeric_limits<double>::infinity(), std::nullopt});
    activate("com.example.viewer");
    advance(0.5);  // the step asks for the filter
    ASSERT_EQ(filterTitles(), std::vector<std::string>{"Photo"});
    advance(1.99);
    EXPECT_TRUE(logMessages("Frontmost window").empty());
    advance(0.01);
    EXPECT_EQ(
        logMessages("Frontmost window"),
        std::vector<std::string>{"Frontmost window stream update failed: the capture did not answer within 2 s."});
    EXPECT_EQ(selectedTitle(), "Doc");
    EXPECT_EQ(keyFrames(), 0);
    desktop->setCaptureUpdateBehaviour({});
    advance(0.5);  // the next step
    EXPECT_EQ(filterTitles(), (std::vector<std::string>{"Photo", "Photo"}));
    EXPECT_EQ(selectedTitle(), "Photo");
    EXPECT_EQ(keyFrames(), 1);
}

TEST_F(FrontmostWindowTrackingTest, AWindowMissingFromEveryLookupIsTriedAgainAtTheNextStep) {
    startTracking();
    // The new window reaches the shareable content after four fetches: the
    // four lookups of one step.
    desktop->setShareableContentLag(4);
    launchNotes();
    advance(0.5);
    advance(0.12);
    advance(0.12);
    advance(0.12);
    EXPECT_EQ(selectedTitle(), "Doc");
    EXPECT_TRUE(stream->filters.empty());
    EXPECT_TRUE(logMessages("Frontmost window").empty());
    advance(0.5);
    EXPECT_EQ(selectedTitle(), "Note");
    EXPECT_EQ(filterTitles(), std::vector<std::string>{"Note"});
}

TEST_F(FrontmostWindowTrackingTest, AWindowOvertakenDuringItsLookupIsDropped) {
    startTracking();
    desktop->setShareableContentLag(2);
    launchNotes();
    advance(0.5);  // the step looks the notes window up and pauses
    ASSERT_EQ(selectedTitle(), "Doc");
    activate("com.example.viewer");
    advance(0.12);
    advance(0.12);  // found, but no longer in front
    EXPECT_TRUE(stream->filters.empty());
    advance(0.5);
    EXPECT_EQ(filterTitles(), std::vector<std::string>{"Photo"});
    EXPECT_EQ(selectedTitle(), "Photo");
}

TEST_F(FrontmostWindowTrackingTest, OnlyAFollowingFrontmostWindowStreamIsTracked) {
    for (const auto& [mode, tracking] :
         std::vector<std::pair<RemoteScreenStreamMode, std::optional<RemoteScreenStreamWindowTrackingMode>>>{
             {RemoteScreenStreamMode::frontmostWindow, std::nullopt},
             {RemoteScreenStreamMode::frontmostWindow, RemoteScreenStreamWindowTrackingMode::locked},
             {RemoteScreenStreamMode::display, RemoteScreenStreamWindowTrackingMode::followActiveWindow}}) {
        RemoteScreenStreamRequest options;
        options.mode = mode;
        options.windowTrackingMode = tracking;
        startTracking(options);
        activate("com.example.viewer");
        advance(0.5);
        EXPECT_EQ(selectedTitle(), "Doc");
        EXPECT_TRUE(stream->filters.empty());
        session->stop();
    }
}

TEST_F(FrontmostWindowTrackingTest, AStepThatOutlivesItsSessionChangesNothingAndSchedulesNothing) {
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "session released" : "session stopped");
        startTracking();
        desktop->setShareableContentLag(2);
        launchNotes();
        advance(0.5);  // in the lookup's pause
        std::weak_ptr<RemoteScreenStreamSession> weak = session;
        stream->stopCapture([](std::optional<platform::ScreenCaptureError>) {});
        if (released) {
            session.reset();
        } else {
            session->stop();
        }
        advance(0.12);
        advance(0.12);
        advance(0.5);
        if (!released) {
            EXPECT_EQ(session->selection().windowID(), std::nullopt);
        }
        EXPECT_EQ(weak.expired(), released);
        EXPECT_EQ(clock.pendingCount(), 0u) << "no further step";
    }
}

}  // namespace
}  // namespace zentrabo::testing
