// What a stream captures and at what size: the output size, frame rate and
// channel rules, the client-native target, the frontmost-window candidate,
// display and window selection on built desktops, and the window choice.
#include <gmock/gmock.h>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/application_window_choice.hpp"
#include "screenstream/capture_configuration.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/content_selection.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using platform::Rect;

RemoteScreenStreamRequest requestWith(std::optional<std::int64_t> maximumPixelDimension) {
    RemoteScreenStreamRequest request;
    request.maximumPixelDimension = maximumPixelDimension;
    return request;
}

TEST(CaptureConfigurationTest, OutputSizeFollowsTheMaximumAndStaysEven) {
    struct Case {
        std::optional<std::int64_t> maximum;
        PixelSize source, output;
    };
    for (const auto& c : std::vector<Case>{
             {100, {3024, 1964}, {480, 312}},
             {9000, {6000, 3000}, {5120, 2560}},
             {0, {3024, 1964}, {3024, 1964}},
             {-5, {3024, 1964}, {3024, 1964}},
             {1280, {3024, 1964}, {1280, 832}},
             {1280, {800, 600}, {800, 600}},
             {1280, {801, 601}, {802, 602}},
             {std::nullopt, {1, 1}, {2, 2}},
         }) {
        const auto request = requestWith(c.maximum);
        EXPECT_EQ(captureOutputSize(request, c.source), c.output)
            << c.source.width << "x" << c.source.height << " max " << c.maximum.value_or(-1);
        // The picture is scaled by the capture exactly when its size changes.
        EXPECT_EQ(captureConfiguration(request, c.source, c.output, 24).scalesToFit, c.source != c.output);
    }
    EXPECT_EQ(captureMaximumPixelDimension(requestWith(100), {10, 10}), 480);
    EXPECT_EQ(captureMaximumPixelDimension(requestWith(9000), {10, 10}), 5120);
    EXPECT_EQ(captureMaximumPixelDimension(requestWith(0), {300, 700}), 700);
}

TEST(CaptureConfigurationTest, TheClientNativeTargetReplacesTheSourceSize) {
    EXPECT_EQ(clientNativeTargetSize(2556, 1179), (PixelSize{2556, 1180}));
    EXPECT_EQ(clientNativeTargetSize(10240, 2001), (PixelSize{5120, 1002}));
    EXPECT_EQ(clientNativeTargetSize(1.5, 1.5), (PixelSize{2, 2}));
    EXPECT_EQ(clientNativeTargetSize(1, 500), std::nullopt);
    EXPECT_EQ(clientNativeTargetSize(std::nan(""), 500), std::nullopt);

    RemoteScreenStreamRequest request = requestWith(480);
    request.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative;
    request.clientRenderPixelWidth = 2556;
    request.clientRenderPixelHeight = 1179;
    // Used as it is: neither the maximum nor the source bounds it.
    EXPECT_EQ(captureOutputSize(request, {1280, 720}), (PixelSize{2556, 1180}));
    request.clientRenderPixelHeight.reset();
    EXPECT_EQ(captureOutputSize(request, {1280, 720}), (PixelSize{480, 270}));
}

TEST(CaptureConfigurationTest, FrameRateAndChannelsAreClamped) {
    struct Case {
        std::optional<std::int64_t> requested;
        int framesPerSecond, channels;
    };
    for (const auto& c : std::vector<Case>{{1, 5, 1}, {120, 60, 2}, {0, 5, 1}, {6, 6, 2}, {std::nullopt, 24, 2}}) {
        RemoteScreenStreamRequest request;
        request.framesPerSecond = c.requested;
        request.audioChannelCount = c.requested;
        EXPECT_EQ(captureFramesPerSecond(request), c.framesPerSecond) << c.requested.value_or(-1);
        EXPECT_EQ(captureAudioChannelCount(request), c.channels) << c.requested.value_or(-1);
    }
    RemoteScreenStreamRequest request;
    request.framesPerSecond = 30;
    const auto configuration = captureConfiguration(request, {640, 360}, {640, 360}, 30);
    EXPECT_EQ(configuration.minimumFrameInterval.seconds(), 1.0 / 30);
    EXPECT_EQ(configuration.queueDepth, 4);
    EXPECT_TRUE(configuration.showsCursor);
    EXPECT_TRUE(configuration.capturesAudio);
}

class ListedWindows final : public platform::WindowServer {
public:
    std::optional<std::vector<platform::ListedWindow>> windows() override { return listed; }
    std::vector<platform::ListedWindow> listed;
};

platform::ListedWindow streamableWindow(platform::WindowID id, platform::ProcessID pid, double width, double alpha,
                                        std::int64_t layer = 0) {
    platform::ListedWindow window;
    window.id = id;
    window.ownerPID = pid;
    window.layer = layer;
    window.alpha = alpha;
    window.frame = {5, 6, width, 100};
    window.onScreen = true;
    return window;
}

TEST(FrontmostWindowCandidateTest, TakesTheFirstUsableWindowOfTheProcess) {
    struct Case {
        const char* name;
        std::vector<platform::ListedWindow> listed;
        std::optional<platform::WindowID> expected;
    };
    auto offScreen = streamableWindow(10, 42, 100, 1.0);
    offScreen.onScreen = false;
    auto desktopElement = streamableWindow(10, 42, 100, 1.0);
    desktopElement.isDesktopElement = true;
    const std::vector<Case> cases{
        {"opaque", {streamableWindow(10, 42, 100, 1.0)}, 10},
        {"alpha 0", {streamableWindow(10, 42, 100, 0.0), streamableWindow(11, 42, 100, 1.0)}, 11},
        {"39 points wide", {streamableWindow(10, 42, 39, 1.0), streamableWindow(11, 42, 40, 1.0)}, 11},
        {"another process", {streamableWindow(10, 7, 100, 1.0)}, std::nullopt},
        {"layer 3", {streamableWindow(10, 42, 100, 1.0, 3)}, std::nullopt},
        {"off screen", {offScreen, streamableWindow(11, 42, 100, 1.0)}, 11},
        {"desktop element", {desktopElement}, std::nullopt},
    };
    for (const auto& c : cases) {
        ListedWindows windows;
        windows.listed = c.listed;
        const auto candidate = frontmostWindowCandidate(windows, 42);
        EXPECT_EQ(candidate ? std::optional(candidate->windowID) : std::nullopt, c.expected) << c.name;
        if (candidate) {
            EXPECT_EQ(candidate->bounds, (Rect{5, 6, candidate->bounds.width, 100})) << c.name;
        }
    }
}

class SelectionTest : public ::testing::Test {
protected:
    void start(const platform::DesktopBuilder& builder) {
        desktop = platform::VirtualDesktop::create(builder.build(), clock);
        content = *desktop->shareableContent(false, true);
    }

    const platform::ShareableWindow& window(const std::string& title) {
        for (const auto& entry : content.windows) {
            if (entry.title == title) return entry;
        }
        throw std::logic_error("no window " + title);
    }

    std::shared_ptr<platform::RunningApplication> application(const std::string& bundleIdentifier) {
        for (auto& running : desktop->runningApplications()) {
            if (running->bundleIdentifier() == bundleIdentifier) return running;
        }
        throw std::logic_error("not running: " + bundleIdentifier);
    }

    static std::string failure(const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "no failure";
    }

    testing::TemporaryHome home;
    platform::ManualClock clock;
    std::shared_ptr<platform::VirtualDesktop> desktop;
    platform::ShareableContent content;
};

TEST_F(SelectionTest, DisplaysAreChosenByIdThenMainThenFirst) {
    platform::DesktopBuilder builder;
    builder.display(1, {0, 0, 1000, 800}, 2).display(7, {1000, 0, 800, 600});
    start(builder);
    RemoteScreenStreamRequest request;
    const auto main = displayContent(request, content, *desktop);
    EXPECT_EQ(main.displayID, 1u);
    EXPECT_EQ(main.sourceWidth, 2000);
    EXPECT_EQ(main.sourceHeight, 1600);
    EXPECT_EQ(main.pointPixelScale, 2);
    EXPECT_EQ(main.pointerBounds, (Rect{0, 0, 1000, 800}));
    EXPECT_EQ(main.windowID, std::nullopt);
    EXPECT_EQ(main.filter, platform::ContentFilter(platform::DisplayContentFilter{1}));

    request.displayID = 7;
    const auto second = displayContent(request, content, *desktop);
    EXPECT_EQ(second.displayID, 7u);
    EXPECT_EQ(second.pointerBounds, (Rect{1000, 0, 800, 600}));
    EXPECT_EQ(second.pointPixelScale, 1);

    request.displayID = 99;
    EXPECT_EQ(displayContent(request, content, *desktop).displayID, 1u);
    content.displays.erase(content.displays.begin());
    EXPECT_EQ(displayContent(request, content, *desktop).displayID, 7u);
    content.displays.clear();
    EXPECT_EQ(failure([&] { displayContent(request, content, *desktop); }), "The requested monitor is not available.");
}

TEST_F(SelectionTest, AWindowBelongsToTheDisplayItOverlapsMost) {
    platform::DesktopBuilder builder;
    builder.application("Editor", "com.example.editor")
        .window("Straddling", {900, 100, 200, 100})
        .window("Mostly right", {950, 100, 200, 101});
    builder.display(1, {0, 0, 1000, 800}, 2).display(7, {1000, 0, 800, 600});
    start(builder);
    // Equal areas on both: the first active display wins.
    EXPECT_EQ(displayID({900, 100, 200, 100}, *desktop), 1u);
    EXPECT_EQ(displayID({950, 100, 200, 100}, *desktop), 7u);
    EXPECT_EQ(displayID({5000, 5000, 10, 10}, *desktop), 1u);

    const auto selected = windowContent(window("Mostly right"), std::nullopt, *desktop);
    EXPECT_EQ(selected.displayID, 7u);
    // The window filter's own scale is that of the display the window is on.
    EXPECT_EQ(selected.pointPixelScale, 1);
    EXPECT_EQ(selected.sourceWidth, 200);
    EXPECT_EQ(selected.sourceHeight, 101);
    EXPECT_EQ(windowPixelSize({0, 0, 100.2, 50}, 2), (PixelSize{201, 100}));
    EXPECT_EQ(windowPixelSize({0, 0, 0, 50}, 0.5), (PixelSize{1, 50}));

    const auto byNumber = windowContent(selected.windowID.value(), content, {1, 2, 3, 4}, *desktop);
    ASSERT_TRUE(byNumber);
    EXPECT_EQ(byNumber->pointerBounds, (Rect{1, 2, 3, 4}));
    EXPECT_EQ(windowContent(selected.windowID.value(), content, {1, 2, 0, 4}, *desktop)->pointerBounds,
              (Rect{950, 100, 200, 101}));
    EXPECT_EQ(windowContent(4242, content, {}, *desktop), std::nullopt);
}

TEST_F(SelectionTest, FrontmostWindowModeFallsBackOnTheApplicationsBestWindow) {
    platform::DesktopBuilder builder;
    builder.application("Editor", "com.example.editor")
        .window("Small", {0, 0, 201, 121})
        .window("Large", {300, 0, 600, 400});
    builder.application("Empty", "com.example.empty");
    builder.frontmost("com.example.editor");
    builder.display(1, {0, 0, 1000, 800});
    start(builder);
    RemoteScreenStreamRequest request;
    request.mode = RemoteScreenStreamMode::frontmostWindow;

    const auto candidate = frontmostWindowCandidate(*desktop, application("com.example.editor")->processIdentifier());
    ASSERT_TRUE(candidate);
    EXPECT_EQ(frontmostWindowContent(request, content, candidate, *desktop).windowID, window("Small").windowID);
    // Without a candidate: the application's front window in the list.
    EXPECT_EQ(frontmostWindowContent(request, content, std::nullopt, *desktop).windowID, window("Small").windowID);

    application("com.example.empty")->activate(false);
    EXPECT_EQ(failure([&] { frontmostWindowContent(request, content, std::nullopt, *desktop); }),
              "The app window is not available for streaming.");
}

TEST_F(SelectionTest, TheBestApplicationWindowByNumberTitleFrontAndSize) {
    platform::DesktopBuilder builder;
    builder.application("Editor", "com.example.editor")
        .window("Résumé draft", {0, 0, 300, 200})
        .window("", {0, 300, 500, 400})
        .window("Notes", {400, 0, 39, 500});
    builder.display(1, {0, 0, 1000, 800});
    start(builder);
    const auto editor = application("com.example.editor");
    const auto best = [&](std::optional<platform::WindowID> number, std::optional<std::string> title,
                          std::optional<MenuTitleMatchMode> mode) -> std::string {
        RemoteScreenStreamRequest request;
        request.applicationWindowTitle = std::move(title);
        request.applicationWindowTitleMatchMode = mode;
        const auto chosen = bestApplicationWindow(*editor, number, content, request, *desktop);
        return chosen ? chosen->title.value_or("?") : "none";
    };
    const auto resume = window("Résumé draft").windowID;
    EXPECT_EQ(best(resume, std::nullopt, std::nullopt), "Résumé draft");
    // A number is never replaced by another window; a 39-point window is no candidate.
    EXPECT_EQ(best(window("Notes").windowID, "Résumé draft", std::nullopt), "none");
    EXPECT_EQ(best(std::nullopt, "  RESUME DRAFT ", std::nullopt), "Résumé draft");
    EXPECT_EQ(best(std::nullopt, "resume", MenuTitleMatchMode::beginsWith), "Résumé draft");
    EXPECT_EQ(best(std::nullopt, "resume", MenuTitleMatchMode::exact), "Résumé draft");  // the front window
    // An untitled window takes the application's name as its label.
    EXPECT_EQ(best(std::nullopt, "editor", std::nullopt), "");

    // The application's front window is not among the candidates: the largest.
    std::erase_if(content.windows, [resume](const auto& entry) { return entry.windowID == resume; });
    EXPECT_EQ(best(std::nullopt, "nothing like it", std::nullopt), "");
}

}  // namespace
}  // namespace zentrabo
