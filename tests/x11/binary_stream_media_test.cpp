// What the built binary's screen streams carry, the same on both desktops it
// controls: the virtual desktop of a scenario file and the tests' X11 session
// (--desktop x11). Each desktop runs two applications with a window and a
// tone each, and a third tone without a window; the streams are short and
// small, their video is decoded with ffmpeg and their PCM searched for each
// tone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/binary_harness.hpp"
#include "screenstream/video_stream_support.hpp"
#include "support/stream_audio.hpp"
#include "support/stream_client.hpp"
#include "support/x11_session.hpp"
#include "x11/installed_test_applications.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using test::decodedPictures;
using test::expectDecodesCleanly;
using test::runCommand;

enum class Desktop { virtualDesktop, x11 };

const char* nameOf(Desktop desktop) { return desktop == Desktop::x11 ? "X11" : "Virtual"; }
std::string desktopName(const ::testing::TestParamInfo<Desktop>& info) { return nameOf(info.param); }
// How test lists and failures show the desktop.
void PrintTo(Desktop desktop, std::ostream* out) { *out << nameOf(desktop); }

// The tones every desktop plays, each at 0.3 of full scale, and a frequency
// none plays.
constexpr double firstTone = 440, secondTone = 1000, windowlessTone = 2500, unplayedTone = 1700;
constexpr double playedLevel = 0.3;
// Heard is near the played level, absent near silence.
constexpr double levelTolerance = 0.06;
constexpr double absentLevel = 0.02;
constexpr double bufferSeconds = 0.01;

// The first application's window has odd sides, which an encoder cannot take.
constexpr int oddWidth = 201, oddHeight = 121;

// Radio (the first tone, in front), Organ (the second) and Chimes (the
// windowless tone) on a 640 x 360 display, whose pictures change with the
// clock.
constexpr const char* virtualScenario = R"({
    "displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 640, "height": 360}}],
    "applications": [
      {"name": "Radio", "bundleIdentifier": "com.example.radio", "installed": false,
       "tone": {"frequency": 440, "level": 0.3},
       "windows": [{"title": "Dial", "frame": {"x": 40, "y": 30, "width": 201, "height": 121}, "color": "#2E7D32"}]},
      {"name": "Organ", "bundleIdentifier": "com.example.organ", "installed": false,
       "tone": {"frequency": 1000, "level": 0.3},
       "windows": [{"title": "Keys", "frame": {"x": 300, "y": 160, "width": 160, "height": 120}}]},
      {"name": "Chimes", "bundleIdentifier": "com.example.chimes", "installed": false,
       "tone": {"frequency": 2500, "level": 0.3}}],
    "frontmost": "com.example.radio"})";

// The windowless player (tone.py) as a child of the test, ended with it.
class TonePlayer {
public:
    explicit TonePlayer(double frequency)
        : pid_(spawnProgram({"/usr/bin/python3", "-B", ZENTRABO_SOURCE_DIR "/tests/fixtures/test_application/tone.py",
                             std::to_string(frequency)})) {}
    ~TonePlayer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;

private:
    pid_t pid_ = -1;
};

// Joins the X11 session for the X11 desktop alone.
class DesktopTest : public ::testing::TestWithParam<Desktop> {
protected:
    void SetUp() override {
        if (GetParam() == Desktop::x11) joinX11Session();
    }
};

class BinaryStreamMedia : public BinaryServerTestOn<DesktopTest> {
protected:
    void SetUp() override {
        if (GetParam() == Desktop::x11) {
            serverArguments = {"--desktop", "x11"};
        } else {
            writeScenario(home, virtualScenario);
        }
        BinaryServerTestOn<DesktopTest>::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        pairDevice(phone);
        if (GetParam() == Desktop::x11) startX11Players();
    }

    void startX11Players() {
        // A window stream asks its application to reopen, which starts an
        // instance of its installed entry (silent); it goes with the test.
        installed.emplace(std::vector<std::string>{kInstalledTestApp, kInstalledTestApp2});
        first = std::make_unique<TestApplication>(
            TestApplicationOptions{{{"Radio", oddWidth, oddHeight, {{2100, 300}}, {}, {}}},
                                   std::string(kTestApplicationId),
                                   {"--tone", "440"}});
        second = std::make_unique<TestApplication>(TestApplicationOptions{
            {{"Organ", 320, 240, {{2600, 900}}, {}, {}}}, std::string(kSecondTestApplicationId), {"--tone", "1000"}});
        windowless = std::make_unique<TonePlayer>(windowlessTone);
        ASSERT_TRUE(waitForMapped(*second, "Organ"));
        radioWindow = waitForFrontWindow(*first, "Radio");
        ASSERT_TRUE(radioWindow);
        for (auto* application : {first.get(), second.get()}) {
            ASSERT_TRUE(application->reports().waitFor("tone")) << "an application's tone did not start";
        }
        // The windowless player has no report; its stream shows on the server.
        ASSERT_TRUE(eventually([] {
            const std::string inputs = witnessOutput("pactl list short sink-inputs");
            return std::count(inputs.begin(), inputs.end(), '\n') >= 3;
        })) << "the windowless player's tone did not start";
    }

    // The identifier a window stream of the first or second application asks for.
    std::string applicationID(bool firstApplication) const {
        if (GetParam() == Desktop::x11) return desktopID(firstApplication ? kInstalledTestApp : kInstalledTestApp2);
        return firstApplication ? "com.example.radio" : "com.example.organ";
    }

    // The frame of the first application's window, in front, as the desktop draws it.
    std::pair<double, double> frontFrameSize() const {
        if (GetParam() == Desktop::virtualDesktop) return {oddWidth, oddHeight};
        const auto frame = witnessedFrame(radioWindow->xid);
        return frame ? std::pair{frame->width, frame->height} : std::pair{0.0, 0.0};
    }

    // A stream that stopped reading once the condition held (or 5 s
    // passed), its frames no longer changing.
    std::unique_ptr<StreamClient> streamUntil(
        const RemoteScreenStreamRequest& options,
        const std::function<bool(const std::vector<RemoteScreenStreamFrame>&)>& enough) {
        auto client = openStream(phone, port, serverFingerprint, options);
        client->waitUntil([&] { return client->isClosed() || enough(client->frames()); }, std::chrono::seconds(5));
        EXPECT_FALSE(client->isClosed()) << "the stream ended: " << client->undecoded() << process->errorText();
        client->pauseReading();
        // A read already under way may still bring frames.
        for (std::size_t count = 0; count != client->frames().size();) {
            count = client->frames().size();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return client;
    }

    TestDevice phone;
    // The X11 desktop's players; none on the virtual desktop, whose
    // scenario plays the same tones.
    std::optional<InstalledApplicationsGuard> installed;
    std::unique_ptr<TestApplication> first, second;
    std::unique_ptr<TonePlayer> windowless;
    std::optional<MappedWindow> radioWindow;
};

TEST_P(BinaryStreamMedia, DisplayStreamsDecodeInBothCodecs) {
    struct Row {
        RemoteScreenStreamVideoCodec codec;
        std::string format;
    };
    for (const auto& row :
         {Row{RemoteScreenStreamVideoCodec::h264, "h264"}, Row{RemoteScreenStreamVideoCodec::hevc, "hevc"}}) {
        SCOPED_TRACE(row.format);
        auto options = smallStreamRequest(RemoteScreenStreamMode::display);
        options.preferredVideoCodec = row.codec;
        const auto frames = streamUntil(options, [](const auto& frames) {
                                return framesOfKind(frames, RemoteScreenStreamFrameKind::video).size() >= 20;
                            })->frames();
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(frames[0].kind, RemoteScreenStreamFrameKind::configuration);
        const auto& firstVideo = frames[1];
        EXPECT_EQ(firstVideo.kind, RemoteScreenStreamFrameKind::video);
        EXPECT_EQ(firstVideo.flags, RemoteScreenStreamFrame::keyFrameFlag);
        EXPECT_EQ(firstVideo.sequenceNumber, 1u);
        EXPECT_EQ(firstVideo.presentationTimeNanoseconds, 0u);
        // A key frame at least every second of capture time.
        std::uint64_t lastKeyFrame = 0;
        for (const auto& frame : frames) {
            if (frame.kind != RemoteScreenStreamFrameKind::video) continue;
            EXPECT_LE(frame.presentationTimeNanoseconds - lastKeyFrame, 1'100'000'000u) << frame.sequenceNumber;
            if (frame.flags == RemoteScreenStreamFrame::keyFrameFlag) lastKeyFrame = frame.presentationTimeNanoseconds;
        }
        const auto [width, height] = announcedSize(frames);
        EXPECT_EQ(std::max(width, height), 480u);
        expectDecodesCleanly(frames, row.format,
                             row.format + "," + std::to_string(width) + "," + std::to_string(height));
        const auto pictures = decodedPictures(frames, row.format, width, height);
        EXPECT_EQ(pictures.size(), framesOfKind(frames, RemoteScreenStreamFrameKind::video).size());
        // The virtual desktop's pictures change with its clock; the X11
        // session's stay as they are.
        if (GetParam() == Desktop::virtualDesktop) {
            std::set<std::size_t> distinct;
            for (const auto& picture : pictures) {
                distinct.insert(std::hash<std::string_view>{}(
                    {reinterpret_cast<const char*>(picture.pixels.data()), picture.pixels.size()}));
            }
            EXPECT_GT(distinct.size(), 5u);
        }
    }
}

TEST_P(BinaryStreamMedia, AFrontmostWindowStreamHasEvenSides) {
    const auto frames =
        streamUntil(smallStreamRequest(RemoteScreenStreamMode::frontmostWindow), [](const auto& frames) {
            return framesOfKind(frames, RemoteScreenStreamFrameKind::video).size() >= 5;
        })->frames();
    const auto [frameWidth, frameHeight] = frontFrameSize();
    const auto [width, height] = announcedSize(frames);
    EXPECT_EQ(width % 2, 0u);
    EXPECT_EQ(height % 2, 0u);
    EXPECT_NEAR(width, frameWidth, 1);
    EXPECT_NEAR(height, frameHeight, 1);
    expectDecodesCleanly(frames, "h264", "h264," + std::to_string(width) + "," + std::to_string(height));
}

TEST_P(BinaryStreamMedia, StreamsCarryTheSoundOfWhatTheyShowAsPcm) {
    struct Row {
        const char* what;
        std::optional<bool> firstApplication;  // none: the display
        std::optional<std::int64_t> requestedChannels;
        std::int64_t channels;
        std::vector<double> heard, absent;
    };
    const Row rows[] = {
        {"a display, stereo", std::nullopt, std::nullopt, 2, {firstTone, secondTone, windowlessTone}, {unplayedTone}},
        {"a display, mono", std::nullopt, 1, 1, {firstTone, secondTone, windowlessTone}, {unplayedTone}},
        {"the first application's window", true, std::nullopt, 2, {firstTone}, {secondTone, windowlessTone}},
        {"the second application's window", false, std::nullopt, 2, {secondTone}, {firstTone, windowlessTone}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto options = smallStreamRequest(RemoteScreenStreamMode::display);
        options.framesPerSecond = 5;
        options.capturesAudio = true;
        options.audioChannelCount = row.requestedChannels;
        if (row.firstApplication) {
            options.mode = RemoteScreenStreamMode::applicationWindow;
            options.applicationBundleIdentifier = applicationID(*row.firstApplication);
        }
        // A second and a half of sound; the last second is analysed.
        const auto client = streamUntil(options, [](const auto& frames) {
            return framesOfKind(frames, RemoteScreenStreamFrameKind::audio).size() >= 150;
        });
        const auto frames = client->frames();
        const auto configurations = framesOfKind(frames, RemoteScreenStreamFrameKind::audioConfiguration);
        ASSERT_FALSE(configurations.empty());
        const auto firstAudio = std::find_if(frames.begin(), frames.end(), [](const auto& frame) {
            return frame.kind == RemoteScreenStreamFrameKind::audio;
        });
        const auto firstConfiguration = std::find_if(frames.begin(), frames.end(), [](const auto& frame) {
            return frame.kind == RemoteScreenStreamFrameKind::audioConfiguration;
        });
        EXPECT_LT(firstConfiguration, firstAudio);
        const std::string configurationText = payloadText(configurations.front());
        EXPECT_NE(configurationText.find(R"("codec":"pcm16LE")"), std::string::npos) << configurationText;
        const auto configuration = decodeRecord<RemoteScreenStreamAudioConfigurationPayload>(configurationText);
        EXPECT_EQ(configuration.sampleRate, kStreamSampleRate);
        EXPECT_EQ(configuration.channelCount, row.channels);
        EXPECT_EQ(configuration.bitsPerChannel, 16);
        EXPECT_TRUE(configuration.isInterleaved);

        const auto audio = framesOfKind(frames, RemoteScreenStreamFrameKind::audio);
        ASSERT_GE(audio.size(), 150u);
        EXPECT_EQ(audio.front().presentationTimeNanoseconds, 0u);
        for (std::size_t index = 0; index < audio.size(); ++index) {
            EXPECT_EQ(audio[index].sequenceNumber, index + 1) << "a frame was lost";
        }
        // As many samples as the frames' times cover, within one buffer, and
        // another reader of raw PCM agrees.
        const double timedSeconds =
            static_cast<double>(audio.back().presentationTimeNanoseconds + audio.back().durationNanoseconds) / 1e9;
        const auto channels = static_cast<std::size_t>(row.channels);
        const auto samples = firstChannel(audio, 0, audio.size(), channels);
        EXPECT_NEAR(static_cast<double>(samples.size()) / kStreamSampleRate, timedSeconds, bufferSeconds);
        const auto path = std::filesystem::temp_directory_path() / ("zentrabo-audio-" + std::to_string(::getpid()));
        client->writeAudio(path);
        const auto probe = runCommand("ffprobe -v error -f s16le -ar 48000 -ac " + std::to_string(channels) +
                                      " -show_entries format=duration -of csv=p=0 '" + path.string() + "'");
        std::filesystem::remove(path);
        EXPECT_EQ(probe.status, 0) << probe.output;
        EXPECT_NEAR(std::atof(probe.output.c_str()), timedSeconds, bufferSeconds) << probe.output;

        const auto analysed = firstChannel(audio, 50, 150, channels);
        for (const double frequency : row.heard) {
            EXPECT_NEAR(steadyToneLevel(analysed, frequency), playedLevel, levelTolerance) << frequency << " Hz";
        }
        for (const double frequency : row.absent) {
            EXPECT_LT(steadyToneLevel(analysed, frequency), absentLevel) << frequency << " Hz";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, BinaryStreamMedia, ::testing::Values(Desktop::virtualDesktop, Desktop::x11),
                         desktopName);

}  // namespace
}  // namespace zentrabo::testing
