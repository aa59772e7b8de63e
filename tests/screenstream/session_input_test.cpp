// The device's input applied by a running session on a virtual desktop:
// focusing the streamed window, head-tracking targets, nothing left pressed
// however the stream or its controller ends, and no queued input applied
// after a stop.
#include <gmock/gmock.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

#include "model/records/stream_input_wire.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/streamed_window.hpp"
#include "stream_server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Kind = RemoteScreenStreamFrameKind;
using PointerKind = RemoteScreenPointerEventKind;
using ::testing::IsEmpty;

std::string pointerFrame(PointerKind kind, double x = 0, double y = 0) {
    const auto payload = RemoteScreenPointerEventWire::encode({kind, x, y});
    return frameBytes(Kind::pointerEvent, std::string(payload.begin(), payload.end()));
}

std::string headPoseFrame(const std::optional<std::string>& target) {
    RemoteScreenHeadPoseEvent event;
    event.yawDelta = 10;
    event.sensitivityX = 1;
    event.sensitivityY = 1;
    event.targetBundleIdentifier = target;
    const auto payload = RemoteScreenHeadPoseEventWire::encode(event);
    return frameBytes(Kind::headPose, std::string(payload.begin(), payload.end()));
}

class SessionInputTest : public StreamServerTest {
protected:
    platform::DesktopBuilder scenario() override {
        platform::DesktopBuilder builder;
        builder.display(1, {0, 0, 1000, 800});
        builder.application("Notes", "com.example.notes")
            .window("Note", {100, 100, 300, 200})
            .window("Note B", {100, 500, 200, 150});
        builder.application("Sketch", "com.example.sketch").window("Canvas", {500, 300, 400, 300});
        builder.frontmost("com.example.sketch");
        return builder;
    }

    platform::WindowID windowNumber(const std::string& title) {
        for (const auto& window : desktop->windows().value_or(std::vector<platform::ListedWindow>{})) {
            if (window.title == title) return window.id;
        }
        ADD_FAILURE() << "no window " << title;
        return 0;
    }

    static SelectedContent selection(platform::Rect bounds, std::optional<platform::WindowID> window = {}) {
        SelectedContent selected;
        selected.pointerBounds = bounds;
        selected.windowID = window;
        return selected;
    }

    // A stream whose session shows the selection.
    struct Stream {
        std::unique_ptr<StreamClient> client;
        std::shared_ptr<RemoteScreenStreamSession> session;
    };
    Stream stream(const RemoteScreenStreamRequest& options, const SelectedContent& selected) {
        auto client = connect(options);
        auto session = started(streamCount++).session;
        if (session) session->selection().apply(selected);
        return {std::move(client), std::move(session)};
    }

    std::vector<std::string> journalOf(const std::string& action) {
        std::vector<std::string> entries;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == action) entries.push_back(entry.text());
        }
        return entries;
    }

    bool waitForPosts(std::size_t count) {
        return waitFor([&] { return desktop->postedEvents().size() >= count; });
    }

    bool nothingHeld() { return desktop->heldMouseButtons().empty() && desktop->heldKeys().empty(); }

    // Whoever owns the stream server lets the desktop go right after it, so
    // a pointer release still queued behind input must have run by the time
    // the server is gone: a session holds a button down while its control
    // queue is held, and the server goes on another thread meanwhile.
    void expectServerToGoAfterRelease(bool endedFirst) {
        auto [client, session] = stream({}, selection({0, 0, 1000, 800}));
        ASSERT_TRUE(session);
        client->write(pointerFrame(PointerKind::dragStart));
        ASSERT_TRUE(waitFor([&] { return !desktop->heldMouseButtons().empty(); }));
        std::promise<void> open;
        session->controlQueue().post([gate = open.get_future().share()] { gate.wait(); });
        if (endedFirst) streamServer->endSessions(device.fingerprint(), "Not authorized.");

        std::shared_ptr<RemoteScreenStreamServer> server;
        {
            std::lock_guard guard(mutex);
            server = std::move(streamServer);
        }
        auto gone = std::async(std::launch::async, [server = std::move(server)]() mutable { server.reset(); });
        EXPECT_EQ(gone.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
            << "the server went while a release was still queued";
        open.set_value();
        gone.get();
        EXPECT_TRUE(nothingHeld());
    }

    std::size_t streamCount = 0;
};

TEST_F(SessionInputTest, ADisplayStreamAppliesPointerInputWithoutActivatingAnything) {
    auto [client, session] = stream({}, selection({0, 0, 1000, 800}));
    ASSERT_TRUE(session);
    desktop->clearJournal();
    client->write(pointerFrame(PointerKind::moveTo, 0.5, 0.5) + pointerFrame(PointerKind::scroll, 0, 10));
    ASSERT_TRUE(waitForPosts(4));
    EXPECT_THAT(journalOf("activate"), IsEmpty());
    EXPECT_THAT(journalOf("unhide"), IsEmpty());
    EXPECT_THAT(journalOf("raise"), IsEmpty());
    EXPECT_EQ(session->selection().pointerController()->location(), (platform::Point{500, 400}));
}

TEST_F(SessionInputTest, AWindowStreamBringsItsWindowForwardAndDropsPointerInputOnceItsApplicationQuit) {
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::applicationWindow;
    options.applicationBundleIdentifier = " com.example.notes\n";
    auto [client, session] = stream(options, selection({100, 100, 300, 200}, windowNumber("Note")));
    ASSERT_TRUE(session);
    desktop->clearJournal();
    client->write(pointerFrame(PointerKind::moveTo, 0, 0));
    ASSERT_TRUE(waitForPosts(1));
    const auto journal = desktop->journal();
    ASSERT_GE(journal.size(), 4u);
    EXPECT_EQ(journal[0].text(), "unhide com.example.notes");
    EXPECT_EQ(journal[1].text(), "activate com.example.notes: all windows");
    EXPECT_EQ(journal[2].text(), "raise com.example.notes: Note");
    EXPECT_EQ(journal[3].text(), "post com.example.notes: mouse moved at (101, 101) clicks 1 flags 0x0");

    const auto notes = desktop->frontmostApplication();
    ASSERT_TRUE(notes->forceTerminate());
    clock.advance(1);
    ASSERT_TRUE(notes->isTerminated());
    client->write(pointerFrame(PointerKind::leftClickAt, 0.5, 0.5) + frameBytes(Kind::pasteText, "still here"));
    ASSERT_TRUE(client->waitForFrames(1));
    const auto result = decodeRecord<RemoteScreenStreamCommandResultPayload>(payloadText(client->frames()[0]));
    EXPECT_EQ(result.command, RemoteScreenStreamCommandKind::pasteText);
    EXPECT_FALSE(result.succeeded);
    EXPECT_EQ(result.message, "The streamed window is no longer available.");
    EXPECT_EQ(desktop->postedEvents().size(), 1u) << "the click was dropped";
    EXPECT_EQ(home.logCount("Screen stream pointer event ignored because the stream window could not be focused: The "
                            "streamed window is no longer available."),
              1u);
    EXPECT_FALSE(client->isClosed());
}

TEST_F(SessionInputTest, HeadPoseMovesThePointerOnlyWhileItsTargetIsFrontmost) {
    struct Row {
        std::optional<std::string> target;
        std::optional<std::string> requestApplication;
        bool moves;
    };
    const std::vector<Row> rows = {
        {"com.example.sketch", {}, true},
        {" com.example.sketch ", "com.example.notes", true},
        {{}, "com.example.sketch", true},
        {"  ", "com.example.sketch", true},
        {"COM.EXAMPLE.SKETCH", {}, false},
        {"com.example.notes", "com.example.sketch", false},
        {{}, {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target.value_or("(none)") + " / " + row.requestApplication.value_or("(none)"));
        RemoteScreenStreamRequest options;
        options.applicationBundleIdentifier = row.requestApplication;
        auto [client, session] = stream(options, selection({0, 0, 1000, 800}));
        ASSERT_TRUE(session);
        desktop->clearJournal();
        client->write(headPoseFrame(row.target));
        // A paste behind it shows when the pose has been handled.
        client->write(frameBytes(Kind::pasteText, "x"));
        ASSERT_TRUE(client->waitForFrames(1));
        EXPECT_EQ(session->selection().pointerController()->location(),
                  (platform::Point{row.moves ? 510.0 : 500.0, 400}));
        EXPECT_EQ(client->frames().size(), 1u) << "no answer to a head pose";
    }
    EXPECT_EQ(home.logCount("head tracking"), 0u);
}

TEST_F(SessionInputTest, NothingStaysPressedHoweverTheStreamOrItsControllerEnds) {
    struct Ending {
        const char* name;
        std::function<void(Stream&)> end;
    };
    const std::vector<Ending> endings = {
        {"the client disconnects", [](Stream& stream) { stream.client.reset(); }},
        {"the stream is ended by the server",
         [this](Stream&) { streamServer->endSessions(device.fingerprint(), "Not authorized."); }},
        {"a selection replaces the controller",
         [this](Stream& stream) {
             stream.session->selection().apply(selection({0, 0, 1000, 800}));
         }},
    };
    for (const auto& ending : endings) {
        for (const auto kind : {PointerKind::dragMove, PointerKind::pinchStart}) {
            SCOPED_TRACE(std::string(ending.name) + (kind == PointerKind::dragMove ? ", dragging" : ", pinching"));
            auto current = stream({}, selection({0, 0, 1000, 800}));
            ASSERT_TRUE(current.session);
            current.client->write(pointerFrame(kind, 0.25, 0.25));
            ASSERT_TRUE(waitFor([&] { return !desktop->heldMouseButtons().empty(); }));
            const auto before = current.session->selection().pointerController()->location();
            ending.end(current);
            EXPECT_TRUE(waitFor([&] { return nothingHeld(); }));
            if (const auto successor = current.session->selection().pointerController()) {
                EXPECT_EQ(successor->location(), before) << "the same display keeps the pointer's place";
            }
        }
    }
}

TEST_F(SessionInputTest, QueuedInputIsNotAppliedAfterAStopButAHeldButtonIsLetGo) {
    auto [client, session] = stream({}, selection({0, 0, 1000, 800}));
    ASSERT_TRUE(session);
    client->write(pointerFrame(PointerKind::dragStart));
    ASSERT_TRUE(waitFor([&] { return !desktop->heldMouseButtons().empty(); }));
    const std::size_t postsBefore = desktop->postedEvents().size();
    const std::size_t pasteboardWritesBefore = journalOf("pasteboard").size();

    std::promise<void> release;
    session->controlQueue().post([blocked = release.get_future().share()] { blocked.wait(); });
    // Queued behind the blocked job, then a malformed pointer event stops the
    // session on the connection queue.
    client->write(pointerFrame(PointerKind::dragMove, 50, 50) + frameBytes(Kind::pasteText, "late") +
                  frameBytes(Kind::keyboardEvent, R"({"key":"a","modifiers":[]})") +
                  frameBytes(Kind::pointerEvent, std::string(19, '\0')));
    ASSERT_TRUE(client->waitForFrames(1));
    EXPECT_EQ(payloadText(client->frames()[0]), "The stream pointer event is invalid.");
    release.set_value();
    drain(session->controlQueue());

    EXPECT_TRUE(nothingHeld());
    const auto posted = desktop->postedEvents();
    ASSERT_EQ(posted.size(), postsBefore + 1) << "only the release";
    const auto* up = std::get_if<platform::MouseEvent>(&posted.back());
    ASSERT_TRUE(up);
    EXPECT_EQ(up->type, platform::MouseEventType::leftMouseUp);
    EXPECT_EQ(journalOf("pasteboard").size(), pasteboardWritesBefore);
    EXPECT_EQ(client->frames().size(), 1u) << "no command results";
}

TEST_F(SessionInputTest, TheStreamServerGoesOnlyOnceAStreamingSessionsPointerHasLetGo) {
    expectServerToGoAfterRelease(false);
}

TEST_F(SessionInputTest, TheStreamServerGoesOnlyOnceAnEndedSessionsPointerHasLetGo) {
    expectServerToGoAfterRelease(true);
}

TEST_F(SessionInputTest, TheStreamedApplicationAndItsWindowElementAreFoundByModeNumberFrameOrFocus) {
    struct Row {
        const char* name;
        RemoteScreenStreamMode mode;
        std::optional<std::string> bundleIdentifier;
        std::string selectedWindow;  // "" for a window of no application
        std::optional<platform::Rect> frame;
        std::string expected;  // "application / window", or the failure's text
    };
    const std::vector<Row> rows = {
        {"display streams have no application",
         RemoteScreenStreamMode::display,
         {},
         "Note",
         {},
         "Only app window streams can be resized."},
        {"the window's owner, though another application is in front",
         RemoteScreenStreamMode::frontmostWindow,
         {},
         "Note B",
         {},
         "com.example.notes / Note B"},
        {"a window of no application: the frontmost application",
         RemoteScreenStreamMode::frontmostWindow,
         {},
         "",
         {},
         "com.example.sketch / Canvas"},
        {"the requested application, trimmed",
         RemoteScreenStreamMode::applicationWindow,
         "\tcom.example.notes ",
         "Note B",
         {},
         "com.example.notes / Note B"},
        {"an unknown number: the nearest frame", RemoteScreenStreamMode::applicationWindow, "com.example.notes", "",
         platform::Rect{110, 490, 190, 170}, "com.example.notes / Note B"},
        {"an unknown number without a frame: the focused window",
         RemoteScreenStreamMode::applicationWindow,
         "com.example.notes",
         "",
         {},
         "com.example.notes / Note"},
        {"no application named",
         RemoteScreenStreamMode::applicationWindow,
         " ",
         "Note",
         {},
         "The streamed window is no longer available."},
        {"an application that does not run",
         RemoteScreenStreamMode::applicationWindow,
         "com.example.gone",
         "Note",
         {},
         "The streamed window is no longer available."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RemoteScreenStreamRequest options;
        options.mode = row.mode;
        options.applicationBundleIdentifier = row.bundleIdentifier;
        const platform::WindowID window = row.selectedWindow.empty() ? 99999 : windowNumber(row.selectedWindow);
        auto [client, session] = stream(options, selection({0, 0, 1000, 800}, window));
        ASSERT_TRUE(session);
        std::string found;
        // On the control queue, where input runs.
        std::promise<void> done;
        session->controlQueue().post([&] {
            try {
                const auto application = streamedApplication(*session);
                const auto title = resizableWindow(*session, *application, window, row.frame).title;
                found = application->bundleIdentifier().value_or("") + " / " + title;
            } catch (const std::exception& error) {
                found = error.what();
            }
            done.set_value();
        });
        done.get_future().wait();
        EXPECT_EQ(found, row.expected);
    }
}

TEST_F(SessionInputTest, AnApplicationWhoseWindowsAreAllMinimizedExposesNoWindowElement) {
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::applicationWindow;
    options.applicationBundleIdentifier = "com.example.notes";
    const auto note = windowNumber("Note");
    auto [client, session] = stream(options, selection({100, 100, 300, 200}, note));
    ASSERT_TRUE(session);
    for (const auto& window : desktop->applicationWindows(streamedApplication(*session)->processIdentifier())) {
        desktop->setWindowMinimized(window.handle, true);
    }
    try {
        resizableWindow(*session, *streamedApplication(*session), note, std::nullopt);
        ADD_FAILURE() << "a minimized window was chosen";
    } catch (const RemoteScreenStreamServerError& error) {
        EXPECT_STREQ(error.what(), "The streamed app does not expose a resizable window.");
    }
    // Input still reaches the application: focusing succeeds without the element.
    desktop->clearJournal();
    client->write(pointerFrame(PointerKind::moveTo, 0, 0));
    ASSERT_TRUE(waitForPosts(1));
}

}  // namespace
}  // namespace zentrabo::testing
