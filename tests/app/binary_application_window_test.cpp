// Application-window streams through the built binary: an installed
// application that is not running is launched and its window streamed; one
// that is not installed ends the stream with its name.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/device_request.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using zentrabo::test::expectDecodesCleanly;

constexpr const char* sketchID = "com.example.sketch";

class BinaryApplicationWindowTest : public BinaryServerTest {
protected:
    void SetUp() override {
        writeScenario(home, R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 640, "height": 360}}],
            "applications": [
              {"name": "Notes", "bundleIdentifier": "com.example.notes",
               "windows": [{"title": "Front", "frame": {"x": 0, "y": 0, "width": 640, "height": 360}}]},
              {"name": "Sketch", "bundleIdentifier": "com.example.sketch", "running": false,
               "windows": [{"title": "Canvas", "frame": {"x": 40, "y": 30, "width": 201, "height": 121},
                            "color": "#2E7D32"}]}]})");
        startProcess();
        pairDevice(device);
    }

    static RemoteScreenStreamRequest applicationWindow(std::optional<std::string> bundleIdentifier,
                                                       std::optional<std::string> name) {
        RemoteScreenStreamRequest options;
        options.mode = RemoteScreenStreamMode::applicationWindow;
        options.applicationBundleIdentifier = std::move(bundleIdentifier);
        options.applicationName = std::move(name);
        options.framesPerSecond = 10;
        options.capturesAudio = false;
        return options;
    }

    bool isRunning(const std::string& bundleIdentifier) {
        const auto listed = send(device, deviceRequest("A-1", "applications"));
        for (const auto& info : listed.applications.value_or(std::vector<RemoteApplicationInfo>{})) {
            if (info.bundleIdentifier == bundleIdentifier) return info.isRunning;
        }
        return false;
    }

    const TestDevice device;
};

TEST_F(BinaryApplicationWindowTest, AnApplicationThatIsNotRunningIsLaunchedAndItsWindowStreamed) {
    ASSERT_FALSE(isRunning(sketchID));
    auto client = openStream(device, port, serverFingerprint, applicationWindow(sketchID, " Sketch "));
    const auto videoFrames = [&client] {
        const auto frames = client->frames();
        return std::count_if(frames.begin(), frames.end(), [](const RemoteScreenStreamFrame& frame) {
            return frame.kind == RemoteScreenStreamFrameKind::video;
        });
    };
    ASSERT_TRUE(client->waitUntil([&] { return client->isClosed() || videoFrames() >= 10; }));
    ASSERT_FALSE(client->isClosed()) << "the stream ended";
    // Asked on a connection of its own while the stream runs.
    EXPECT_TRUE(isRunning(sketchID));

    const auto frames = client->frames();
    ASSERT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::configuration);
    const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(frames[0]));
    EXPECT_EQ(configuration.width, 202);
    EXPECT_EQ(configuration.height, 122);
    expectDecodesCleanly(frames, "h264", "h264,202,122");
}

TEST_F(BinaryApplicationWindowTest, AnApplicationThatIsNotInstalledEndsTheStreamWithItsTrimmedName) {
    auto client =
        openStream(device, port, serverFingerprint, applicationWindow("com.example.ghost", "\t Ghost Writer \n"));
    ASSERT_TRUE(client->waitUntil([&] { return client->isClosed(); }));
    const auto frames = client->frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::error);
    EXPECT_EQ(payloadText(frames[0]), "Ghost Writer does not have an available window for streaming.");
}

}  // namespace
}  // namespace zentrabo::testing
