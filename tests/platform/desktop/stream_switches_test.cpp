// What the virtual desktop offers stream tests: refused display-mode
// switches, windows with a minimum size or none at all, shareable content
// that lags behind window changes, and capture updates that complete late,
// never, or with an error.
#include <gmock/gmock.h>

#include <cmath>

#include <asio/io_context.hpp>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

class StreamSwitchesTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        ScenarioDisplay display;
        display.bounds = {0, 0, 800, 600};
        display.modes = {DisplayMode{640, 480, 640, 480, 60}};
        builder.display(display);
        ScenarioWindow tall;
        tall.title = "Tall";
        tall.frame = {10, 10, 500, 500};
        tall.minimumSize = Size{400, 400};
        ScenarioWindow fixed;
        fixed.title = "Fixed";
        fixed.frame = {20, 20, 300, 200};
        fixed.resizable = false;
        builder.application("Editor", "com.example.editor")
            .window(tall)
            .window(fixed)
            .window("Plain", {0, 0, 300, 200});
        builder.application("Notes", "com.example.notes").window("Note", {50, 50, 200, 200}).notRunning();
        start(builder);
        const auto element = desktop->applicationElement(running("com.example.editor")->processIdentifier());
        const auto list = std::get<std::vector<AXElement>>(*read(element, "AXWindows").value);
        for (const auto& window : list) windows[title(window)] = window;
    }

    std::optional<Rect> sharedFrame(const std::string& windowTitle) {
        const auto content = desktop->shareableContent(false, true);
        for (const auto& window : content->windows) {
            if (window.title == windowTitle) return window.frame;
        }
        return std::nullopt;
    }

    std::map<std::string, AXElement> windows;
};

TEST_F(StreamSwitchesTest, ARefusedModeSwitchAnswersItsCodeAndChangesNothing) {
    const auto modes = *desktop->allModes(1, true);
    desktop->setDisplayModeSwitchError(displayerror::failure);
    EXPECT_EQ(desktop->setMode(1, modes[1]), displayerror::failure);
    EXPECT_EQ(desktop->currentMode(1), modes[0]);
    desktop->setDisplayModeSwitchError(displayerror::success);
    EXPECT_EQ(desktop->setMode(1, modes[1]), displayerror::success);
    EXPECT_EQ(desktop->currentMode(1), modes[1]);
}

TEST_F(StreamSwitchesTest, WindowsKeepTheirOwnMinimumOrRefuseANewSize) {
    const struct {
        const char* window;
        Size asked;
        AXError error;
        Size size;
    } rows[] = {
        {"Tall", {200, 200}, axerror::success, {400, 400}},
        {"Tall", {600, 450}, axerror::success, {600, 450}},
        {"Plain", {50, 50}, axerror::success, {120, 80}},
        {"Fixed", {500, 500}, axerror::attributeUnsupported, {300, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.window);
        EXPECT_EQ(desktop->setAttribute(windows.at(row.window), "AXSize", row.asked), row.error);
        EXPECT_EQ(std::get<Size>(*read(windows.at(row.window), "AXSize").value), row.size);
    }
}

TEST_F(StreamSwitchesTest, ShareableContentReportsChangesAGivenNumberOfFetchesLate) {
    desktop->setShareableContentLag(2);
    desktop->setAttribute(windows.at("Plain"), "AXPosition", Point{100, 50});
    desktop->setAttribute(windows.at("Plain"), "AXSize", Size{400, 300});
    ASSERT_TRUE(desktop->openApplication(*desktop->urlForApplication("com.example.notes"), true).ok);
    clock.advance(1);
    // The second change restarts the count and keeps the frame from before the first.
    EXPECT_EQ(sharedFrame("Plain"), (Rect{0, 0, 300, 200}));
    EXPECT_EQ(sharedFrame("Note"), std::nullopt) << "opened meanwhile";
    EXPECT_EQ(sharedFrame("Plain"), (Rect{100, 50, 400, 300}));
    EXPECT_EQ(sharedFrame("Note"), (Rect{50, 50, 200, 200}));
    desktop->setShareableContentLag(0);
    desktop->setAttribute(windows.at("Plain"), "AXPosition", Point{0, 0});
    EXPECT_EQ(sharedFrame("Plain"), (Rect{0, 0, 400, 300}));
}

TEST_F(StreamSwitchesTest, CaptureUpdatesCompleteAfterTheirLatencyNeverOrWithAnError) {
    asio::io_context context;
    std::vector<CapturedScreenSample> frames;
    StreamConfiguration configuration;
    configuration.width = 80;
    configuration.height = 60;
    configuration.minimumFrameInterval = {1, 10};
    auto stream = desktop->makeCaptureStream(DisplayContentFilter{1}, configuration, [](const ScreenCaptureError&) {});
    stream->addScreenOutput(context.get_executor(), [&frames](CapturedScreenSample sample) {
        frames.clear();
        frames.push_back(std::move(sample));
    });
    stream->startCapture([](std::optional<ScreenCaptureError>) {});
    const auto advance = [&](double seconds) {
        clock.advance(seconds);
        context.poll();
        context.restart();
    };
    const auto lastWidth = [&] { return frames.empty() ? 0u : frames.back().image.width; };
    std::vector<std::string> outcomes;
    const auto record = [&outcomes](std::optional<ScreenCaptureError> error) {
        outcomes.push_back(error ? error->what() : "done");
    };
    auto smaller = configuration;
    smaller.width = 40;
    smaller.height = 30;

    desktop->setCaptureUpdateBehaviour({0.35, std::nullopt});
    stream->updateConfiguration(smaller, record);
    advance(0.3);
    EXPECT_TRUE(outcomes.empty());
    EXPECT_EQ(lastWidth(), 80u) << "the old size until the update completes";
    advance(0.1);
    EXPECT_THAT(outcomes, ::testing::ElementsAre("done"));
    advance(0.1);
    EXPECT_EQ(lastWidth(), 40u);

    desktop->setCaptureUpdateBehaviour({0, "The capture refused."});
    stream->updateConfiguration(configuration, record);
    stream->updateContentFilter(WindowContentFilter{999}, record);
    desktop->setCaptureUpdateBehaviour({INFINITY, std::nullopt});
    stream->updateConfiguration(configuration, record);
    advance(3600);
    EXPECT_THAT(outcomes, ::testing::ElementsAre("done", "The capture refused.", "The capture refused."));
    EXPECT_EQ(lastWidth(), 40u) << "neither the refused nor the pending update took effect";
    stream->stopCapture([](std::optional<ScreenCaptureError>) {});
}

}  // namespace
}  // namespace zentrabo::platform
