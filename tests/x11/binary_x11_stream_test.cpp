// Screen streams of the tests' X session through the built binary
// (--desktop x11), short and small: each decodes with ffmpeg at the size it
// announced and shows the test application's pattern where the window is.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "screenstream/video_stream_support.hpp"
#include "support/device_request.hpp"
#include "support/stream_client.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/shown_pattern.hpp"
#include "x11/unsplit_screen.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using test::decodedPictures;
using test::expectDecodesCleanly;

std::vector<const RemoteScreenStreamFrame*> videoFrames(const std::vector<RemoteScreenStreamFrame>& frames) {
    std::vector<const RemoteScreenStreamFrame*> video;
    for (const auto& frame : frames) {
        if (frame.kind == RemoteScreenStreamFrameKind::video) video.push_back(&frame);
    }
    return video;
}

class BinaryX11Streams : public BinaryX11Test {
protected:
    std::unique_ptr<StreamClient> open(const RemoteScreenStreamRequest& options) {
        return openStream(phone, port, serverFingerprint, options);
    }

    // Reads until the stream has sent `count` video frames (or 5 s passed).
    static void readVideo(StreamClient& client, std::size_t count) {
        client.waitUntil([&] { return client.isClosed() || videoFrames(client.frames()).size() >= count; },
                         std::chrono::seconds(5));
        EXPECT_FALSE(client.isClosed()) << "the stream ended: " << client.undecoded();
    }

    // The id the binary gives the monitor at that index of the session's list.
    std::uint32_t displayID(std::size_t index) {
        const auto listed = send(phone, deviceRequest("D-1", "screenshotDisplays"));
        // The list starts with the main display and "All Monitors".
        if (!listed.displays || listed.displays->size() < index + 2) return 0;
        return listed.displays->at(index + 1).displayID.value_or(0);
    }
};

TEST_F(BinaryX11Streams, DisplayFrontmostWindowAndWindowStreamsShowTheApplicationsPattern) {
    TestApplication application({{{"Streamed", 320, 240, {{2300, 400}}, {}, {}}}});
    const auto window = waitForFrontWindow(application, "Streamed");
    ASSERT_TRUE(window);
    const auto monitors = witnessedMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    const auto& right = monitors[1];
    const auto frame = witnessedFrame(window->xid);
    ASSERT_TRUE(frame);

    struct Row {
        const char* what;
        RemoteScreenStreamMode mode;
        std::uint32_t displayID;
        // The streamed application's desktop file ID, for a window stream.
        std::string application;
        // The client area's corner and the source's width, on the screen.
        double left, top, sourceWidth;
    };
    const Row rows[] = {
        {"the right monitor", RemoteScreenStreamMode::display, displayID(1), "", double(window->x - right.x),
         double(window->y - right.y), double(right.width)},
        {"the frontmost window, its frame", RemoteScreenStreamMode::frontmostWindow, 0, "", window->x - frame->x,
         window->y - frame->y, frame->width},
        // The test application's ID names the installed entry it runs as.
        {"the application's window, its frame", RemoteScreenStreamMode::applicationWindow, 0,
         desktopID(kInstalledTestApp), window->x - frame->x, window->y - frame->y, frame->width},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto options = smallStreamRequest(row.mode);
        if (row.displayID != 0) options.displayID = row.displayID;
        if (!row.application.empty()) options.applicationBundleIdentifier = row.application;
        auto client = open(options);
        readVideo(*client, 12);
        const auto frames = client->frames();
        client.reset();
        const auto [width, height] = announcedSize(frames);
        ASSERT_GT(width, 0u);
        expectDecodesCleanly(frames, "h264", "h264," + std::to_string(width) + "," + std::to_string(height));
        const auto pictures = decodedPictures(frames, "h264", width, height);
        ASSERT_EQ(pictures.size(), videoFrames(frames).size());
        const double scale = width / row.sourceWidth;
        EXPECT_TRUE(showsPattern(pictures.back(), *window, row.left * scale, row.top * scale, scale));
    }
}

TEST_F(BinaryX11Streams, FrontmostWindowTrackingFollowsAWindowTheWindowManagerActivates) {
    TestApplication application(
        {{{"First", 320, 240, {{2100, 300}}, {}, {}}, {"Second", 320, 240, {{2600, 1000}}, {}, {}}}});
    const auto first = waitForMapped(application, "First");
    const auto second = waitForMapped(application, "Second");
    ASSERT_TRUE(first && second);
    ASSERT_NE(first->colour, second->colour);
    activateWindow(first->xid);
    const auto frame = witnessedFrame(first->xid);
    ASSERT_TRUE(frame);
    // Both windows have the same frame, so the client area sits alike in each.
    const double left = first->x - frame->x, top = first->y - frame->y;

    auto options = smallStreamRequest(RemoteScreenStreamMode::frontmostWindow);
    options.windowTrackingMode = RemoteScreenStreamWindowTrackingMode::followActiveWindow;
    auto client = open(options);
    readVideo(*client, 8);
    const std::size_t beforeSwitch = videoFrames(client->frames()).size();
    ASSERT_GT(beforeSwitch, 0u);
    activateWindow(second->xid);
    readVideo(*client, beforeSwitch + 20);
    const auto frames = client->frames();
    client.reset();

    const auto [width, height] = announcedSize(frames);
    const auto video = videoFrames(frames);
    const auto pictures = decodedPictures(frames, "h264", width, height);
    ASSERT_EQ(pictures.size(), video.size());
    ASSERT_GT(pictures.size(), beforeSwitch);
    EXPECT_TRUE(showsPattern(pictures[beforeSwitch - 1], *first, left, top));
    std::size_t shown = beforeSwitch;
    while (shown < pictures.size() && !showsPattern(pictures[shown], *second, left, top)) ++shown;
    ASSERT_LT(shown, pictures.size()) << "the stream never showed the window brought to the front";
    const auto keyFrame = std::find_if(video.begin() + static_cast<std::ptrdiff_t>(beforeSwitch),
                                       video.begin() + static_cast<std::ptrdiff_t>(shown) + 1, [](const auto* frame) {
                                           return frame->flags == RemoteScreenStreamFrame::keyFrameFlag;
                                       });
    EXPECT_NE(keyFrame, video.begin() + static_cast<std::ptrdiff_t>(shown) + 1) << "no key frame at the switch";
    EXPECT_TRUE(showsPattern(pictures.back(), *second, left, top));
}

TEST_F(BinaryX11Streams, AClientNativeStreamSwitchesTheModeAndPutsItBackWhenItStops) {
    UnsplitScreen screen("screen");
    const std::string original = witnessedCurrentModeName();
    const std::string added = screen.addMode(1280, 720);
    ASSERT_EQ(witnessedMonitors().size(), 1u);

    auto options = smallStreamRequest(RemoteScreenStreamMode::display);
    options.maximumPixelDimension.reset();
    options.framesPerSecond = 5;
    options.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative;
    options.clientRenderPixelWidth = 1280;
    options.clientRenderPixelHeight = 720;
    auto client = open(options);
    readVideo(*client, 3);
    EXPECT_EQ(witnessedCurrentModeName(), added);
    EXPECT_EQ(announcedSize(client->frames()), std::make_pair(1280u, 720u));
    client.reset();
    EXPECT_TRUE(eventually([&] { return witnessedCurrentModeName() == original; }))
        << "the mode was not put back when the stream stopped";
}

TEST_F(BinaryX11Streams, AWindowStreamLaunchesItsApplicationAndAResizeReachesTheRealWindow) {
    const InstalledApplicationsGuard guard({kInstalledTestApp});
    auto options = smallStreamRequest(RemoteScreenStreamMode::applicationWindow);
    options.applicationBundleIdentifier = desktopID(kInstalledTestApp);
    options.maximumPixelDimension.reset();
    auto client = open(options);
    const auto mapped = waitForReport(kInstalledTestApp, "mapped");
    ASSERT_TRUE(mapped) << "the stream did not launch the application";
    const MappedWindow window = mappedWindow(*mapped);
    readVideo(*client, 5);
    const auto frame = witnessedFrame(window.xid);
    ASSERT_TRUE(frame);
    const auto frames = client->frames();
    const auto [width, height] = announcedSize(frames);
    // The encoder's sizes are even.
    EXPECT_NEAR(width, frame->width, 1);
    EXPECT_NEAR(height, frame->height, 1);
    const auto pictures = decodedPictures(frames, "h264", width, height);
    ASSERT_FALSE(pictures.empty());
    EXPECT_TRUE(showsPattern(pictures.back(), window, window.x - frame->x, window.y - frame->y));

    struct Row {
        const char* what;
        const char* request;
        double width, height;
    };
    // The frame keeps its centre; the stream follows with a configuration of the new size.
    for (const auto& row : {Row{"larger", R"({"width": 640, "height": 480})", 640, 480},
                            Row{"smaller", R"({"width": 300, "height": 240})", 300, 240}}) {
        SCOPED_TRACE(row.what);
        const auto before = witnessedFrame(window.xid);
        ASSERT_TRUE(before);
        const std::size_t answered = client->commandResults().size();
        client->write(frameBytes(RemoteScreenStreamFrameKind::resizeWindow, row.request));
        ASSERT_TRUE(client->waitForCommandResults(answered + 1));
        const auto result = client->commandResults().back();
        EXPECT_TRUE(result.succeeded) << result.message.value_or("");
        EXPECT_EQ(result.message, std::nullopt);
        std::optional<platform::Rect> after;
        EXPECT_TRUE(eventually([&] {
            after = witnessedFrame(window.xid);
            return after && after->width == row.width && after->height == row.height;
        })) << "the window manager shows "
            << (after ? after->width : 0) << "x" << (after ? after->height : 0);
        if (after) {
            EXPECT_NEAR(after->x + after->width / 2, before->x + before->width / 2, 1);
            EXPECT_NEAR(after->y + after->height / 2, before->y + before->height / 2, 1);
        }
        EXPECT_TRUE(client->waitUntil([&] {
            const auto sizes = announcedSizes(client->frames());
            return !sizes.empty() && sizes.back() == std::make_pair(static_cast<std::uint32_t>(row.width),
                                                                    static_cast<std::uint32_t>(row.height));
        }));
    }
}

}  // namespace
}  // namespace zentrabo::testing
