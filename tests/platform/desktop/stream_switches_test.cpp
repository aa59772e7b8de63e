// What the virtual desktop offers stream tests: windows with a minimum
// size or none at all, shareable content that lags behind window changes,
// and capture updates that complete late, never, or with an error.
#include <gmock/gmock.h>

#include <cmath>

#include <asio/io_context.hpp>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

class StreamSwitchesTest : public DesktopTest {
protected:
    void SetUp() override {
        ScenarioWindow tall, fixed;
        tall.title = "Tall";
        tall.frame = {10, 10, 500, 500};
        tall.minimumSize = Size{400, 400};
        fixed.title = "Fixed";
        fixed.frame = {20, 20, 300, 200};
        fixed.resizable = false;
        DesktopBuilder builder;
        builder.display(1, {0, 0, 800, 600});
        builder.application("Editor", "com.example.editor")
            .window(tall)
            .window(fixed)
            .window("Plain", {0, 0, 300, 200});
        start(builder);
        const auto element = desktop->applicationElement(running("com.example.editor")->processIdentifier());
        const auto list = std::get<std::vector<AXElement>>(*read(element, "AXWindows").value);
        for (const auto& window : list) windows[title(window)] = window;
    }

    std::map<std::string, AXElement> windows;
};

TEST_F(StreamSwitchesTest, WindowsKeepTheirMinimumOrRefuseASizeAndSharedFramesLag) {
    const struct {
        const char* window;
        Size asked;
        AXError error;
        Size size;
    } rows[] = {{"Tall", {200, 200}, axerror::success, {400, 400}},
                {"Plain", {50, 50}, axerror::success, {120, 80}},
                {"Fixed", {500, 500}, axerror::attributeUnsupported, {300, 200}}};
    for (const auto& row : rows) {
        EXPECT_EQ(desktop->setWindowSize(windows.at(row.window), row.asked), row.error) << row.window;
        EXPECT_EQ(desktop->windowFrame(windows.at(row.window))->size(), row.size) << row.window;
    }

    desktop->setShareableContentLag(2);
    desktop->setWindowPosition(windows.at("Plain"), Point{100, 50});
    desktop->setWindowSize(windows.at("Plain"), Size{400, 300});
    std::vector<Rect> reported;
    for (int fetch = 0; fetch < 3; ++fetch) {
        const auto content = desktop->shareableContent(false, true);
        for (const auto& window : content->windows) {
            if (window.title == "Plain") reported.push_back(window.frame);
        }
    }
    // The second change kept the frame from before the first and counted afresh.
    EXPECT_THAT(reported, ::testing::ElementsAre(Rect{0, 0, 120, 80}, Rect{0, 0, 120, 80}, Rect{100, 50, 400, 300}));
}

TEST_F(StreamSwitchesTest, CaptureUpdatesCompleteAfterTheirLatencyNeverOrWithAnError) {
    asio::io_context context;
    std::uint32_t frameWidth = 0;
    StreamConfiguration configuration{.width = 80, .height = 60, .minimumFrameInterval = {1, 10}};
    auto stream = desktop->makeCaptureStream(DisplayContentFilter{1}, configuration, [](const ScreenCaptureError&) {});
    stream->addScreenOutput(context.get_executor(),
                            [&frameWidth](CapturedScreenSample sample) { frameWidth = sample.image.width; });
    stream->startCapture([](std::optional<ScreenCaptureError>) {});
    const auto advance = [&](double seconds) {
        clock.advance(seconds);
        context.poll();
        context.restart();
    };
    std::vector<std::string> outcomes;
    const auto record = [&outcomes](std::optional<ScreenCaptureError> error) {
        outcomes.push_back(error ? error->what() : "done");
    };
    auto smaller = configuration;
    smaller.width = 40;

    desktop->setCaptureUpdateBehaviour({0.35, std::nullopt});
    stream->updateConfiguration(smaller, record);
    advance(0.3);
    EXPECT_TRUE(outcomes.empty());
    EXPECT_EQ(frameWidth, 80u) << "the old size until the update completes";
    advance(0.2);
    EXPECT_EQ(frameWidth, 40u);

    desktop->setCaptureUpdateBehaviour({0, "The capture refused."});
    stream->updateContentFilter(WindowContentFilter{999}, record);
    desktop->setCaptureUpdateBehaviour({INFINITY, std::nullopt});
    stream->updateConfiguration(configuration, record);
    advance(3600);
    EXPECT_THAT(outcomes, ::testing::ElementsAre("done", "The capture refused."));
    EXPECT_EQ(frameWidth, 40u) << "the pending update never took effect";
    stream->stopCapture([](std::optional<ScreenCaptureError>) {});
}

}  // namespace
}  // namespace zentrabo::platform
