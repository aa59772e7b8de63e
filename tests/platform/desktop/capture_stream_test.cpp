// Capture streams of the virtual desktop on a manual clock: pacing, the
// queue depth, what frames show, the cursor, scaling and the ways a stream
// refuses to start or stops by itself.
#include <gmock/gmock.h>

#include <asio/io_context.hpp>

#include "desktop_fixture.hpp"

namespace zentrabo::platform {
namespace {

class CaptureStreamTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        ScenarioWindow left, right;
        left.title = "Left";
        left.frame = {0, 0, 32, 40};
        left.color = 0x336699FF;
        right.title = "Right";
        right.frame = {32, 0, 32, 40};
        right.color = 0x336699FF;
        builder.application("Editor", "com.example.editor").window(left).window(right);
        builder.display(1, {0, 0, 64, 40}, 1).display(2, {64, 0, 40, 30}, 2);
        start(builder);
        const auto windows = desktop->windows().value();
        for (const auto& window : windows) {
            if (window.title == "Left") leftWindow = window.id;
            if (window.title == "Right") rightWindow = window.id;
        }
    }

    static StreamConfiguration configuration(std::int64_t width, std::int64_t height) {
        StreamConfiguration result;
        result.width = width;
        result.height = height;
        result.queueDepth = 4;
        result.minimumFrameInterval = {1, 8};
        result.showsCursor = false;
        return result;
    }

    // Starts a stream whose frames are kept in `frames`; the start's error, if any.
    std::optional<std::string> startStream(ContentFilter filter, StreamConfiguration config) {
        stream = desktop->makeCaptureStream(std::move(filter), std::move(config),
                                            [this](const ScreenCaptureError& e) { stopErrors.push_back(e.what()); });
        stream->addScreenOutput(context.get_executor(),
                                [this](CapturedScreenSample sample) { frames.push_back(std::move(sample)); });
        std::optional<std::string> error = "no completion";
        stream->startCapture([&error](std::optional<ScreenCaptureError> e) {
            error = e ? std::optional<std::string>(e->what()) : std::nullopt;
        });
        run();
        return error;
    }

    void run() {
        context.poll();
        context.restart();
    }

    void advance(double seconds) {
        clock.advance(seconds);
        run();
    }

    asio::io_context context;
    std::shared_ptr<CaptureStream> stream;
    std::vector<CapturedScreenSample> frames;
    std::vector<std::string> stopErrors;
    WindowID leftWindow = 0;
    WindowID rightWindow = 0;
};

TEST_F(CaptureStreamTest, FramesArePacedAndAConsumerThatHoldsThemSlowsCaptureDown) {
    ASSERT_EQ(startStream(DisplayContentFilter{1}, configuration(64, 40)), std::nullopt);
    for (int i = 0; i < 9; ++i) advance(0.125);
    // Ten frame times, but only four frames may be held at once.
    ASSERT_EQ(frames.size(), 4u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].presentationTime, std::chrono::milliseconds(125) * i);
        EXPECT_EQ(frames[i].image.width, 64u);
        EXPECT_EQ(frames[i].image.height, 40u);
    }
    frames.erase(frames.begin(), frames.begin() + 2);
    advance(0.125);
    advance(0.125);
    advance(0.125);
    EXPECT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames.back().presentationTime, std::chrono::milliseconds(1375));

    bool stopped = false;
    stream->stopCapture([&stopped](std::optional<ScreenCaptureError> error) { stopped = !error; });
    frames.clear();
    advance(1);
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(frames.empty());
}

TEST_F(CaptureStreamTest, ContentMovesWithTheClockAndTellsWindowsApart) {
    ASSERT_EQ(startStream(WindowContentFilter{leftWindow}, configuration(32, 40)), std::nullopt);
    advance(0.125);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_NE(frames[0].image, frames[1].image);
    const RgbaImage left = frames[1].image;

    frames.clear();
    ASSERT_EQ(startStream(WindowContentFilter{rightWindow}, configuration(32, 40)), std::nullopt);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].presentationTime, std::chrono::milliseconds(125));
    // Same colour, same moment, same size: only the pattern differs.
    EXPECT_NE(frames[0].image, left);
}

TEST_F(CaptureStreamTest, TheCursorIsDrawnAtThePointerWhenAsked) {
    desktop->post(MouseEvent{MouseEventType::mouseMoved, {40, 10}});
    for (bool showsCursor : {false, true}) {
        frames.clear();
        auto config = configuration(64, 40);
        config.showsCursor = showsCursor;
        ASSERT_EQ(startStream(DisplayContentFilter{1}, config), std::nullopt);
        ASSERT_EQ(frames.size(), 1u);
        // Inside the arrow, a few points below its tip.
        const std::uint8_t* pixel = frames[0].image.pixel(41, 16);
        const bool black = pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0;
        EXPECT_EQ(black, showsCursor) << "showsCursor " << showsCursor;
    }
}

TEST_F(CaptureStreamTest, FramesTakeTheConfiguredSize) {
    struct Case {
        std::int64_t width, height;
        bool scalesToFit, preservesAspectRatio;
        bool cornerIsBlack;  // the bottom-right pixel lies outside the picture
    };
    for (const auto& c : std::vector<Case>{{32, 20, true, false, false},
                                           {80, 40, true, true, true},
                                           {80, 50, false, false, true},
                                           {40, 20, false, false, false}}) {
        frames.clear();
        auto config = configuration(c.width, c.height);
        config.scalesToFit = c.scalesToFit;
        config.preservesAspectRatio = c.preservesAspectRatio;
        ASSERT_EQ(startStream(DisplayContentFilter{1}, config), std::nullopt);
        ASSERT_EQ(frames.size(), 1u);
        const auto& image = frames[0].image;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        const std::uint8_t* corner = image.pixel(image.width - 1, image.height - 1);
        EXPECT_EQ(corner[0] == 0 && corner[1] == 0 && corner[2] == 0, c.cornerIsBlack) << c.width << "x" << c.height;
    }
}

TEST_F(CaptureStreamTest, ScreenRecordingSwitchedOffStopsTheStreamWithAnError) {
    ASSERT_EQ(startStream(DisplayContentFilter{1}, configuration(64, 40)), std::nullopt);
    desktop->setScreenRecordingAllowed(false);
    advance(0.125);
    advance(0.125);
    EXPECT_EQ(frames.size(), 1u);
    EXPECT_THAT(stopErrors, ::testing::ElementsAre("Screen recording is not allowed."));
}

TEST_F(CaptureStreamTest, StartsThatAreRefused) {
    auto withAudio = configuration(64, 40);
    withAudio.capturesAudio = true;
    withAudio.sampleRate = 4000;
    auto noFrames = configuration(0, 40);
    EXPECT_EQ(startStream(DisplayContentFilter{1}, withAudio), "The stream's audio format is not valid.");
    EXPECT_EQ(startStream(DisplayContentFilter{1}, noFrames), "The stream's frame size is not valid.");
    EXPECT_EQ(startStream(WindowContentFilter{9999}, configuration(64, 40)),
              "The content to capture is not available.");
    desktop->setScreenRecordingAllowed(false);
    EXPECT_EQ(startStream(DisplayContentFilter{1}, configuration(64, 40)), "Screen recording is not allowed.");
    EXPECT_TRUE(frames.empty());
    EXPECT_THROW(stream->addScreenOutput(context.get_executor(), [](CapturedScreenSample) {}), ScreenCaptureError);
}

TEST_F(CaptureStreamTest, AWindowFilterHasItsDisplaysScale) {
    EXPECT_EQ(desktop->pointPixelScale(WindowContentFilter{leftWindow}), 1);
    EXPECT_EQ(desktop->pointPixelScale(DisplayContentFilter{2}), 2);
    EXPECT_EQ(desktop->pointPixelScale(WindowContentFilter{9999}), 0);
}

}  // namespace
}  // namespace zentrabo::platform
