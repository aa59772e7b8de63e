// Displays, display and window screenshots, and the stream preview.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"
#include "maccontrol/display_composite.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "support/scoped_time_zone.hpp"
#include "support/test_pictures.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Case = MacMenuError::Case;
using test::blue;
using test::green;
using test::red;
constexpr std::uint32_t black = 0x000000FF;

ScenarioDisplay display(DisplayID id, Rect bounds, double scale, std::uint32_t background,
                        std::optional<std::string> name = {}) {
    ScenarioDisplay spec;
    spec.id = id;
    spec.bounds = bounds;
    spec.scale = scale;
    spec.background = background;
    spec.name = std::move(name);
    return spec;
}

// Local time for file names in a zone two hours ahead of UTC.
class ScreenshotsTest : public ControllerTest {
protected:
    static RgbaImage picture(const RemoteScreenshot& screenshot) {
        EXPECT_EQ(screenshot.contentType, "public.jpeg");
        return decodeJpeg(screenshot.data);
    }

    // Two applications: Notes in front of Finder, each window its own size.
    void startWithNotes() {
        DesktopBuilder builder;
        builder.application("Finder", "com.example.finder").window("Home", {0, 0, 500, 400});
        builder.application("Notes", "com.example.notes")
            .window("Draft", {0, 0, 400, 300})
            .window("Letter", {0, 0, 300, 200})
            .window("Résumé 2024", {0, 0, 200, 100});
        builder.application("Empty", "com.example.empty");
        builder.frontmost("com.example.notes");
        start(builder);
    }

    WindowID windowNumber(const std::string& title) {
        const auto windows = desktop->windows().value();
        for (const auto& window : windows) {
            if (window.title == title) return window.id;
        }
        ADD_FAILURE() << "no window " << title;
        return 0;
    }

private:
    testing::ScopedTimeZone zone{"XST-2"};
};

TEST_F(ScreenshotsTest, DisplaysListTheMainOneFirstThenAllThenTheOthersByIdentifier) {
    DesktopBuilder builder;
    builder.display(display(5, {0, 0, 1440, 900}, 2, black, "Built-in"));
    builder.display(display(9, {1440, 0, 1920, 1080}, 1, black));
    builder.display(display(7, {-800, -600, 800, 600}, 1, black));
    start(builder);

    const auto displays = controller->displays();
    ASSERT_EQ(displays.size(), 4u);
    std::vector<std::string> names;
    for (const auto& info : displays) names.push_back(info.name);
    EXPECT_THAT(names, ElementsAre("Built-in", "All Monitors", "Monitor 2", "Monitor 3"));
    EXPECT_EQ(displays[0].displayID, std::nullopt);
    EXPECT_TRUE(displays[0].isMain);
    EXPECT_EQ(displays[0].pixelWidth, 2880);
    EXPECT_EQ(displays[0].frameWidth, 1440);
    EXPECT_EQ(displays[2].displayID, 7u);
    EXPECT_EQ(displays[2].frameX, -800);
    EXPECT_EQ(displays[3].displayID, 9u);
    EXPECT_EQ(displays[3].capturesAllDisplays, std::nullopt);

    // All of them at the densest display's scale: 2 x (800 + 1440 + 1920) by
    // 2 x (600 + 1080).
    const auto& all = displays[1];
    EXPECT_EQ(all.displayID, std::nullopt);
    EXPECT_FALSE(all.isMain);
    EXPECT_EQ(all.capturesAllDisplays, true);
    EXPECT_EQ(all.pixelWidth, 8320);
    EXPECT_EQ(all.pixelHeight, 3360);
    EXPECT_EQ(all.frameX, -800);
    EXPECT_EQ(all.frameY, -600);
    EXPECT_EQ(all.frameWidth, 4160);
    EXPECT_EQ(all.frameHeight, 1680);

    // One display alone: no entry for all of them, and a name of its own.
    DesktopBuilder single;
    single.display(display(3, {0, 0, 800, 600}, 1, black));
    start(single);
    const auto one = controller->displays();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, "Main Monitor");
}

TEST_F(ScreenshotsTest, AllDisplaysShowEachWhereItLiesAtTheDensestScaleRowsFromTheTop) {
    DesktopBuilder builder;
    builder.display(display(1, {0, 0, 200, 100}, 2, red));
    builder.display(display(2, {0, 100, 100, 50}, 1, green));  // below the main display
    builder.display(display(3, {200, -50, 50, 50}, 1, blue));  // above, to the right
    start(builder);

    const auto screenshot = controller->displayScreenshot(std::nullopt, std::nullopt, true);
    EXPECT_EQ(screenshot.title, "All Monitors");
    EXPECT_THAT(screenshot.filename, StartsWith("monitors-all-monitors-"));
    const RgbaImage canvas = picture(screenshot);
    ASSERT_EQ(canvas.width, 500u);
    ASSERT_EQ(canvas.height, 400u);
    test::expectColourAt(canvas, 200, 200, red);    // rows 100 to 300
    test::expectColourAt(canvas, 100, 350, green);  // rows 300 to 400, stretched twice
    test::expectColourAt(canvas, 450, 50, blue);    // rows 0 to 100
    test::expectColourAt(canvas, 100, 50, black);
    test::expectColourAt(canvas, 300, 350, black);

    EXPECT_EQ(controller->displayScreenshot(std::nullopt, "Desk", true).title, "Desk");
}

TEST_F(ScreenshotsTest, ACanvasTooLargeForMemoryOrForJpegIsRefused) {
    struct Arrangement {
        const char* what;
        Rect second;
    };
    // 900,100 x 900,100 pixels would be 3 TB; 70,100 x 10 is small but wider
    // than a JPEG can be.
    for (const auto& arrangement :
         {Arrangement{"far apart", {900000, 900000, 100, 10}}, Arrangement{"too wide", {70000, 0, 100, 10}}}) {
        SCOPED_TRACE(arrangement.what);
        DesktopBuilder builder;
        builder.display(display(1, {0, 0, 100, 10}, 1, red));
        builder.display(display(2, arrangement.second, 1, green));
        start(builder);
        EXPECT_EQ(failure([&] { controller->displayScreenshot(std::nullopt, std::nullopt, true); }),
                  Case::screenshotCaptureFailed);
    }
    EXPECT_EQ(failure([] { DisplayComposite composite({}); }), Case::screenshotCaptureFailed);
}

TEST_F(ScreenshotsTest, OneDisplayByIdentifierOrTheMainOne) {
    DesktopBuilder builder;
    builder.display(display(1, {0, 0, 300, 200}, 2, red, "Built-in"));
    builder.display(display(2, {300, 0, 100, 80}, 1, green));
    start(builder);

    const auto main = controller->displayScreenshot(std::nullopt, std::nullopt, false);
    EXPECT_EQ(main.title, "Main Monitor");
    EXPECT_EQ(main.filename, "monitor-main-monitor-20010101-020000.jpg");
    const RgbaImage mainPicture = picture(main);
    EXPECT_EQ(mainPicture.width, 600u);
    test::expectColourAt(mainPicture, 300, 200, red);

    clock.advance(3661.5);
    const auto side = controller->displayScreenshot(2, std::nullopt, false);
    EXPECT_EQ(side.title, "Monitor 2");
    EXPECT_EQ(side.filename, "monitor-monitor-2-20010101-030101.jpg");
    test::expectColourAt(picture(side), 50, 40, green);
    EXPECT_EQ(controller->displayScreenshot(2, "Side", false).title, "Side");

    try {
        controller->displayScreenshot(77, std::nullopt, false);
        ADD_FAILURE() << "captured";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::screenshotDisplayUnavailable);
        EXPECT_THAT(error.errorDescription(), HasSubstr("Monitor 77"));
    }
    try {
        controller->displayScreenshot(77, "Projector", false);
        ADD_FAILURE() << "captured";
    } catch (const MacMenuError& error) {
        EXPECT_THAT(error.errorDescription(), HasSubstr("Projector"));
    }
}

TEST_F(ScreenshotsTest, FileNamesKeepLettersMarksAndDigitsOfAnyScript) {
    DesktopBuilder builder;
    start(builder);
    struct Name {
        std::string prefix;
        std::string expected;
    };
    for (const auto& name :
         {Name{"monitor-Main Monitor", "monitor-main-monitor"}, Name{"!!!", "screenshot"}, Name{"", "screenshot"},
          Name{"--a--b--", "a-b"}, Name{"Straße_Ünï 2", "straße_ünï-2"}, Name{"İstanbul", "i\u0307stanbul"},
          Name{"window-😀 Chat 🇩🇪", "window-chat"}, Name{"Caf\u0065\u0301", "cafe\u0301"}}) {
        EXPECT_EQ(controller->screenshotFilename(name.prefix), name.expected + "-20010101-020000.jpg") << name.prefix;
    }
}

TEST_F(ScreenshotsTest, WithoutScreenRecordingEveryCaptureFailsButTheDisplayListWorks) {
    startWithNotes();
    desktop->setScreenRecordingAllowed(false);
    RemoteScreenStreamRequest displayPreview;
    RemoteScreenStreamRequest windowPreview;
    windowPreview.mode = RemoteScreenStreamMode::applicationWindow;
    windowPreview.applicationBundleIdentifier = "com.example.notes";
    const std::vector<std::function<void()>> captures = {
        [&] { controller->displayScreenshot(std::nullopt, std::nullopt, false); },
        [&] { controller->displayScreenshot(std::nullopt, std::nullopt, true); },
        [&] { controller->frontmostWindowScreenshot(); },
        [&] { controller->applicationWindowScreenshot("com.example.notes", {}, {}, {}, {}, true); },
        [&] { controller->applicationWindowScreenshot("com.example.notes", {}, {}, {}, {}, false); },
        [&] { controller->screenStreamPreviewScreenshot(displayPreview); },
        [&] { controller->screenStreamPreviewScreenshot(windowPreview); },
    };
    for (std::size_t index = 0; index < captures.size(); ++index) {
        EXPECT_EQ(failure(captures[index]), Case::screenRecordingMissing) << index;
    }
    EXPECT_EQ(controller->displays().size(), 1u);
}

TEST_F(ScreenshotsTest, AWindowIsChosenByNumberThenTitleThenAsTheFrontWindow) {
    startWithNotes();
    const WindowID letter = windowNumber("Letter");
    struct Choice {
        const char* what;
        std::optional<WindowID> windowID;
        std::optional<std::string> title;
        std::optional<MenuTitleMatchMode> mode;
        std::uint32_t expectedWidth;
    };
    using enum MenuTitleMatchMode;
    for (const auto& choice : {
             Choice{"number before title", letter, "Résumé 2024", exact, 300},
             Choice{"a number that is not a candidate", 9999, "Résumé 2024", exact, 200},
             Choice{"title prefix", {}, "resume", beginsWith, 200},
             Choice{"no mode is exact", {}, "resume", {}, 400},
             Choice{"the front window", {}, {}, {}, 400},
         }) {
        SCOPED_TRACE(choice.what);
        const auto screenshot = controller->applicationWindowScreenshot("com.example.notes", {}, choice.windowID,
                                                                        choice.title, choice.mode, false);
        EXPECT_EQ(picture(screenshot).width, choice.expectedWidth);
        EXPECT_EQ(screenshot.title, "Notes Window");
        EXPECT_EQ(screenshot.filename, "window-notes-20010101-020000.jpg");
    }
    EXPECT_EQ(controller->applicationWindowScreenshot(" com.example.notes", " My App\n", {}, {}, {}, false).title,
              "My App Window");

    try {
        controller->applicationWindowScreenshot("com.example.empty", {}, {}, {}, {}, false);
        ADD_FAILURE() << "captured";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::screenshotWindowUnavailable);
        EXPECT_THAT(error.errorDescription(), HasSubstr("Empty"));
    }
    EXPECT_EQ(failure([&] { controller->applicationWindowScreenshot("com.example.none", {}, {}, {}, {}, false); }),
              Case::applicationNotRunning);
}

TEST_F(ScreenshotsTest, AWorkflowWindowScreenshotBringsTheTrimmedApplicationForward) {
    DesktopBuilder builder;
    builder.application("Finder", "com.example.finder").window("Home", {0, 0, 500, 400});
    builder.application("Notes", "com.example.notes").notRunning().window("Draft", {0, 0, 400, 300});
    start(builder);

    const auto screenshot = controller->applicationWindowScreenshot("  com.example.notes\n", {}, {}, {}, {}, true);
    EXPECT_EQ(screenshot.title, "Notes Window");
    EXPECT_EQ(picture(screenshot).width, 400u);
    EXPECT_TRUE(controller->isFrontmost(*running("com.example.notes")));
}

TEST_F(ScreenshotsTest, ThePreviewOfEachModeShowsWhatTheStreamWouldWithoutActivating) {
    startWithNotes();
    desktop->activateApplication(running("com.example.finder")->processIdentifier(), true);
    struct Preview {
        const char* what;
        RemoteScreenStreamRequest request;
        std::string expectedTitle;
    };
    const auto request = [](RemoteScreenStreamMode mode, std::optional<RemoteScreenStreamWindowTrackingMode> tracking,
                            std::optional<std::string> bundle, std::optional<std::string> title = {}) {
        RemoteScreenStreamRequest r;
        r.mode = mode;
        r.windowTrackingMode = tracking;
        r.applicationBundleIdentifier = std::move(bundle);
        r.applicationWindowTitle = std::move(title);
        r.applicationWindowTitleMatchMode = MenuTitleMatchMode::beginsWith;
        return r;
    };
    using Mode = RemoteScreenStreamMode;
    using Tracking = RemoteScreenStreamWindowTrackingMode;
    for (const auto& preview : {
             Preview{"display", request(Mode::display, {}, "com.example.notes"), "Main Monitor"},
             Preview{"following the front window",
                     request(Mode::frontmostWindow, Tracking::followActiveWindow, "com.example.notes"),
                     "Finder Window"},
             Preview{"locked to an application", request(Mode::frontmostWindow, Tracking::locked, "com.example.notes"),
                     "Notes Window"},
             Preview{"locked without an application", request(Mode::frontmostWindow, Tracking::locked, " "),
                     "Finder Window"},
             Preview{"application window by title", request(Mode::applicationWindow, {}, "com.example.notes", "LETT"),
                     "Notes Window"},
         }) {
        SCOPED_TRACE(preview.what);
        EXPECT_EQ(controller->screenStreamPreviewScreenshot(preview.request).title, preview.expectedTitle);
        EXPECT_TRUE(controller->isFrontmost(*running("com.example.finder"))) << "nothing is brought forward";
    }
    const auto byTitle =
        controller->screenStreamPreviewScreenshot(request(Mode::applicationWindow, {}, "com.example.notes", "LETT"));
    EXPECT_EQ(picture(byTitle).width, 300u);
}

}  // namespace
}  // namespace zentrabo
