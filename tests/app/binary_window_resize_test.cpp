// Window resizing on an application-window stream through the built binary:
// the stream goes on at the window's new size, an application's minimum
// size is reported back, and a repeated request leaves everything as it is.
#include <algorithm>
#include <string>
#include <vector>

#include "binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using Kind = RemoteScreenStreamFrameKind;

class BinaryWindowResizeTest : public BinaryServerTest {
protected:
    void SetUp() override {
        writeScenario(home, R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}}],
            "applications": [
              {"name": "Notes", "bundleIdentifier": "com.example.notes", "installed": false,
               "windows": [{"title": "Note", "frame": {"x": 100, "y": 100, "width": 300, "height": 200},
                            "color": "#2E7D32"}]},
              {"name": "Panel", "bundleIdentifier": "com.example.panel", "installed": false,
               "windows": [{"title": "Controls", "frame": {"x": 200, "y": 100, "width": 420, "height": 420},
                            "minimumSize": {"width": 400, "height": 400}}]}],
            "frontmost": "com.example.notes"})");
        startProcess();
        pairDevice(device);
    }

    std::unique_ptr<StreamClient> windowStream(const std::string& bundleIdentifier) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = bundleIdentifier;
        options.framesPerSecond = 10;
        options.capturesAudio = false;
        auto stream = openStream(device, port, serverFingerprint, options);
        EXPECT_TRUE(stream->waitUntil([&] { return configurationIndexes(*stream).size() >= 1 || stream->isClosed(); }));
        return stream;
    }

    static std::vector<std::size_t> configurationIndexes(const StreamClient& stream) {
        std::vector<std::size_t> indexes;
        const auto frames = stream.frames();
        for (std::size_t index = 0; index < frames.size(); ++index) {
            if (frames[index].kind == Kind::configuration) indexes.push_back(index);
        }
        return indexes;
    }

    const TestDevice device;
};

TEST_F(BinaryWindowResizeTest, TheStreamGoesOnAtTheNewSizeAndARepeatIsAnsweredAlike) {
    auto stream = windowStream("com.example.notes");
    const std::string resize = frameBytes(Kind::resizeWindow, R"({"width": 320, "height": 240})");
    stream->write(resize);
    ASSERT_TRUE(stream->waitForCommandResults(1));
    auto results = stream->commandResults();
    EXPECT_TRUE(results[0].succeeded);
    EXPECT_EQ(results[0].message, std::nullopt);

    // A second configuration, and a dozen frames after it.
    std::vector<RemoteScreenStreamFrame> resized;
    ASSERT_TRUE(stream->waitUntil([&] {
        const auto indexes = configurationIndexes(*stream);
        const auto frames = stream->frames();
        if (indexes.size() < 2 || frames.size() < indexes[1] + 12) return stream->isClosed();
        resized.assign(frames.begin() + static_cast<std::ptrdiff_t>(indexes[1]), frames.end());
        return true;
    }));
    ASSERT_FALSE(resized.empty());
    const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(resized.front()));
    EXPECT_EQ(std::make_pair(configuration.width, configuration.height),
              std::make_pair(std::int64_t{320}, std::int64_t{240}));
    std::erase_if(resized, [](const auto& frame) { return frame.kind == Kind::commandResult; });
    zentrabo::test::expectDecodesCleanly(resized, "h264", "h264,320,240");

    stream->write(resize);
    ASSERT_TRUE(stream->waitForCommandResults(2));
    results = stream->commandResults();
    EXPECT_TRUE(results[1].succeeded);
    EXPECT_EQ(results[1].message, std::nullopt);
    // A resize would announce its size with the key frame that follows it;
    // the frames that come in the next half second show none.
    const std::size_t framesAfterRepeat = stream->frames().size();
    ASSERT_TRUE(
        stream->waitUntil([&] { return stream->frames().size() >= framesAfterRepeat + 5 || stream->isClosed(); }));
    EXPECT_EQ(configurationIndexes(*stream).size(), 2u);
    EXPECT_FALSE(stream->isClosed());
}

TEST_F(BinaryWindowResizeTest, AnApplicationsMinimumSizeIsReportedBack) {
    auto stream = windowStream("com.example.panel");
    stream->write(frameBytes(Kind::resizeWindow, R"({"width": 200, "height": 200})"));
    ASSERT_TRUE(stream->waitForCommandResults(1));
    const auto result = stream->commandResults().front();
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.message, "Window resized to 400 x 400. The app may enforce a minimum size.");
}

}  // namespace
}  // namespace zentrabo::testing
