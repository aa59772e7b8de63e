// Streams that adapt through the built binary: a frontmost-window stream
// that follows the window the user activates, and a display stream that
// switches the display to the device's own pixels while it runs.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using zentrabo::test::runCommand;
using zentrabo::test::writeAnnexB;

class BinaryStreamAdaptationTest : public BinaryServerTest {
protected:
    void SetUp() override {
        // Notes (green) is in front of Viewer (blue); the display runs
        // 800 x 600 and also offers 1280 x 720.
        writeScenario(home, R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600},
                          "modes": [{"width": 1280, "height": 720, "pixelWidth": 1280, "pixelHeight": 720}]}],
            "applications": [
              {"name": "Notes", "bundleIdentifier": "com.example.notes", "installed": false,
               "windows": [{"title": "Note", "frame": {"x": 40, "y": 30, "width": 201, "height": 121},
                            "color": "#2E7D32"}]},
              {"name": "Viewer", "bundleIdentifier": "com.example.viewer", "installed": false,
               "windows": [{"title": "Photo", "frame": {"x": 400, "y": 300, "width": 201, "height": 121},
                            "color": "#1565C0"}]}],
            "frontmost": "com.example.notes"})");
        startProcess();
        pairDevice(device);
    }

    static std::size_t videoFrames(const std::vector<RemoteScreenStreamFrame>& frames) {
        return static_cast<std::size_t>(std::count_if(frames.begin(), frames.end(), [](const auto& frame) {
            return frame.kind == RemoteScreenStreamFrameKind::video;
        }));
    }

    // The main display's pixel size as a second connection reads it.
    std::pair<std::int64_t, std::int64_t> mainDisplayPixels() {
        const auto answer = send(device, deviceRequest("S-1", "screenshotDisplays"));
        EXPECT_TRUE(answer.ok && answer.displays) << answer.error.value_or("");
        if (!answer.displays) return {};
        return {answer.displays->front().pixelWidth, answer.displays->front().pixelHeight};
    }

    const TestDevice device;
};

TEST_F(BinaryStreamAdaptationTest, AFollowingStreamShowsTheWindowActivatedOnAnotherConnection) {
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::frontmostWindow;
    options.windowTrackingMode = RemoteScreenStreamWindowTrackingMode::followActiveWindow;
    options.framesPerSecond = 10;
    options.capturesAudio = false;
    auto client = openStream(device, port, serverFingerprint, options);
    ASSERT_TRUE(client->waitUntil([&] { return videoFrames(client->frames()) >= 3 || client->isClosed(); }));

    auto activate = deviceRequest("A-1", "activate");
    activate.bundleIdentifier = "com.example.viewer";
    const auto activated = send(device, activate);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const std::size_t before = client->frames().size();
    // A key frame after the switch, and a second of frames after it.
    std::optional<std::size_t> keyFrame;
    ASSERT_TRUE(client->waitUntil(
        [&] {
            const auto frames = client->frames();
            for (std::size_t i = before; !keyFrame && i < frames.size(); ++i) {
                if (frames[i].kind == RemoteScreenStreamFrameKind::video &&
                    frames[i].flags == RemoteScreenStreamFrame::keyFrameFlag) {
                    keyFrame = i;
                }
            }
            return client->isClosed() || (keyFrame && frames.size() >= *keyFrame + 10);
        },
        std::chrono::seconds(10)));
    ASSERT_TRUE(keyFrame) << "no key frame after the switch";
    ASSERT_FALSE(client->isClosed());
    const auto received = client->frames();
    ASSERT_EQ(received.front().kind, RemoteScreenStreamFrameKind::configuration);
    std::vector<RemoteScreenStreamFrame> fromKeyFrame{received.front()};
    fromKeyFrame.insert(fromKeyFrame.end(), received.begin() + static_cast<std::ptrdiff_t>(*keyFrame), received.end());
    client.reset();

    const auto path =
        std::filesystem::temp_directory_path() / ("zentrabo-follow-" + std::to_string(::getpid()) + ".h264");
    writeAnnexB(fromKeyFrame, path);
    const auto decoded = runCommand("ffmpeg -nostdin -v error -f h264 -i '" + path.string() +
                                    "' -f rawvideo -pix_fmt rgb24 - 2>/dev/null");
    std::filesystem::remove(path);
    const std::size_t pictureBytes = 202 * 122 * 3;
    ASSERT_GE(decoded.output.size(), pictureBytes);
    ASSERT_EQ(decoded.output.size() % pictureBytes, 0u);
    const std::string_view last = std::string_view(decoded.output).substr(decoded.output.size() - pictureBytes);
    std::uint64_t green = 0, blue = 0;
    for (std::size_t i = 0; i < last.size(); i += 3) {
        green += static_cast<std::uint8_t>(last[i + 1]);
        blue += static_cast<std::uint8_t>(last[i + 2]);
    }
    EXPECT_GT(blue, green) << "the viewer's blue window is streamed";
}

TEST_F(BinaryStreamAdaptationTest, AClientNativeStreamSwitchesTheDisplayWhileItRuns) {
    RemoteScreenStreamRequest options;
    options.mode = RemoteScreenStreamMode::display;
    options.renderSizingMode = RemoteScreenStreamRenderSizingMode::clientNative;
    options.clientRenderPixelWidth = 1280;
    options.clientRenderPixelHeight = 720;
    options.framesPerSecond = 5;
    options.capturesAudio = false;
    auto client = openStream(device, port, serverFingerprint, options);
    ASSERT_TRUE(client->waitForFrames(1));
    const auto first = client->frames().front();
    ASSERT_EQ(first.kind, RemoteScreenStreamFrameKind::configuration);
    const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(first));
    EXPECT_EQ(std::make_pair(configuration.width, configuration.height),
              std::make_pair(std::int64_t{1280}, std::int64_t{720}));
    EXPECT_EQ(mainDisplayPixels(), std::make_pair(std::int64_t{1280}, std::int64_t{720}));

    client.reset();
    // The stream notices the closed connection and puts the mode back.
    bool restored = false;
    for (int attempt = 0; attempt < 100 && !restored; ++attempt) {
        restored = mainDisplayPixels() == std::make_pair(std::int64_t{800}, std::int64_t{600});
        if (!restored) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(restored) << "the display kept the stream's mode";
}

}  // namespace
}  // namespace zentrabo::testing
