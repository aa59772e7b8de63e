// Display and frontmost-window streams through the built binary, short and
// small (a 640 x 360 display at scale 1, 10 frames a second, at most 3 s):
// the video decodes cleanly in both codecs, starts with its configuration
// and a key frame, has a key frame every second, and changes over time.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/stream_client.hpp"

namespace zentrabo::testing {
namespace {

using zentrabo::test::expectDecodesCleanly;
using zentrabo::test::runCommand;
using zentrabo::test::writeAnnexB;

class BinaryCaptureTest : public BinaryServerTest {
protected:
    void SetUp() override {
        const auto scenario = home.path() / ".config/zentrabo/virtual-desktop.json";
        std::filesystem::create_directories(scenario.parent_path());
        std::ofstream(scenario) << R"({
            "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 640, "height": 360}}],
            "applications": [{"name": "Notes", "bundleIdentifier": "com.example.notes", "installed": false,
                              "windows": [{"title": "Small", "frame": {"x": 40, "y": 30, "width": 201, "height": 121},
                                           "color": "#2E7D32"}]}]})";
        startProcess();
        pairDevice(device);
    }

    // The frames of a stream read for 2.5 s of real time (25 frames at 10 a second).
    std::vector<RemoteScreenStreamFrame> stream(RemoteScreenStreamMode mode, RemoteScreenStreamVideoCodec codec) {
        RemoteScreenStreamRequest options;
        options.mode = mode;
        options.framesPerSecond = 10;
        options.preferredVideoCodec = codec;
        options.capturesAudio = false;
        auto client = openStream(device, port, serverFingerprint, options);
        const auto videoFrames = [&client] {
            const auto frames = client->frames();
            return std::count_if(frames.begin(), frames.end(), [](const RemoteScreenStreamFrame& frame) {
                return frame.kind == RemoteScreenStreamFrameKind::video;
            });
        };
        client->waitUntil([&] { return client->isClosed() || videoFrames() >= 25; }, std::chrono::milliseconds(3000));
        EXPECT_FALSE(client->isClosed()) << "the stream ended";
        return client->frames();
    }

    // How many of the decoded pictures differ from one another.
    static std::size_t distinctPictures(const std::vector<RemoteScreenStreamFrame>& frames, const std::string& format) {
        const auto path =
            std::filesystem::temp_directory_path() / ("zentrabo-capture-" + std::to_string(::getpid()) + "." + format);
        writeAnnexB(frames, path);
        const auto hashes = runCommand("ffmpeg -nostdin -v error -f " + format + " -i '" + path.string() +
                                       "' -f framemd5 - | grep -v '^#' | awk '{print $NF}'");
        std::filesystem::remove(path);
        std::istringstream lines(hashes.output);
        std::set<std::string> distinct;
        for (std::string line; std::getline(lines, line);) distinct.insert(line);
        return distinct.size();
    }

    const TestDevice device;
};

TEST_F(BinaryCaptureTest, DisplayStreamsDecodeInBothCodecs) {
    struct Row {
        RemoteScreenStreamVideoCodec codec;
        std::string format, probed;
    };
    for (const auto& row : std::vector<Row>{{RemoteScreenStreamVideoCodec::h264, "h264", "h264,640,360"},
                                            {RemoteScreenStreamVideoCodec::hevc, "hevc", "hevc,640,360"}}) {
        SCOPED_TRACE(row.format);
        const auto frames = stream(RemoteScreenStreamMode::display, row.codec);
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::configuration);
        const auto& first = frames[1];
        EXPECT_EQ(first.kind, RemoteScreenStreamFrameKind::video);
        EXPECT_EQ(first.flags, RemoteScreenStreamFrame::keyFrameFlag);
        EXPECT_EQ(first.sequenceNumber, 1u);
        EXPECT_EQ(first.presentationTimeNanoseconds, 0u);
        // A key frame at least every second of capture time.
        std::uint64_t lastKeyFrame = 0;
        for (const auto& frame : frames) {
            if (frame.kind != RemoteScreenStreamFrameKind::video) continue;
            EXPECT_LE(frame.presentationTimeNanoseconds - lastKeyFrame, 1'100'000'000u) << frame.sequenceNumber;
            if (frame.flags == RemoteScreenStreamFrame::keyFrameFlag) lastKeyFrame = frame.presentationTimeNanoseconds;
        }
        expectDecodesCleanly(frames, row.format, row.probed);
        EXPECT_GT(distinctPictures(frames, row.format), 5u);
    }
}

TEST_F(BinaryCaptureTest, AFrontmostWindowStreamHasEvenSides) {
    const auto frames = stream(RemoteScreenStreamMode::frontmostWindow, RemoteScreenStreamVideoCodec::h264);
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::configuration);
    const auto configuration = decodeRecord<RemoteScreenStreamConfigurationPayload>(payloadText(frames[0]));
    EXPECT_EQ(configuration.width, 202);
    EXPECT_EQ(configuration.height, 122);
    expectDecodesCleanly(frames, "h264", "h264,202,122");
}

}  // namespace
}  // namespace zentrabo::testing
